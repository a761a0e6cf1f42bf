#include "kvconv/import.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <assimp/Importer.hpp>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace kvconv {

namespace {

constexpr double kMirror[3] = {1, 1, -1};  // the kit's z is the source's -z

Vec toKit(const aiVector3D& v) { return {v.x, v.y, -static_cast<double>(v.z)}; }

Quat toKit(const aiQuaternion& q) {
  return {q.w, -static_cast<double>(q.x), -static_cast<double>(q.y), q.z};
}

// Column vectors to row vectors (transpose), then the mirror on both sides.
Affine toKit(const aiMatrix4x4& a) {
  const ai_real* rows[4] = {&a.a1, &a.b1, &a.c1, &a.d1};
  Affine out;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) out.m[r][c] = kMirror[r] * kMirror[c] * rows[c][r];
  for (int c = 0; c < 3; ++c) out.m[3][c] = kMirror[c] * rows[c][3];
  return out;
}

std::vector<uint8_t> readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void readTexture(const aiScene* ai, const aiMaterial* m, const std::filesystem::path& folder,
                 SourceMaterial* out) {
  aiString name;
  if (m->GetTexture(aiTextureType_DIFFUSE, 0, &name) != AI_SUCCESS &&
      m->GetTexture(aiTextureType_BASE_COLOR, 0, &name) != AI_SUCCESS)
    return;
  out->texture = name.C_Str();
  if (const aiTexture* embedded = ai->GetEmbeddedTexture(name.C_Str())) {
    out->texturePath = "(embedded)";
    if (embedded->mHeight == 0) {
      const auto* bytes = reinterpret_cast<const uint8_t*>(embedded->pcData);
      out->textureFile.assign(bytes, bytes + embedded->mWidth);
    } else {
      out->rawWidth = static_cast<int>(embedded->mWidth);
      out->rawHeight = static_cast<int>(embedded->mHeight);
      for (unsigned i = 0; i < embedded->mWidth * embedded->mHeight; ++i) {
        const aiTexel& t = embedded->pcData[i];
        out->rawRgba.insert(out->rawRgba.end(), {t.r, t.g, t.b, t.a});
      }
    }
    return;
  }
  // Beside the model, as named or by its last component (files moved from
  // another machine often carry its folders, with either separator).
  std::string relative = out->texture;
  for (char& c : relative)
    if (c == '\\') c = '/';
  for (const std::filesystem::path& candidate :
       {folder / relative, folder / std::filesystem::path(relative).filename()}) {
    out->texturePath = candidate.string();
    out->textureFile = readFile(candidate);
    if (!out->textureFile.empty()) return;
  }
  out->texturePath = (folder / relative).string();
}

struct Reader {
  const aiScene* ai;
  SourceScene* scene;
  std::map<const aiNode*, int> nodeIndex;
  std::map<std::string, int> nodeByName;

  void addNode(const aiNode* node, int parent) {
    const int index = static_cast<int>(scene->nodes.size());
    SourceNode n;
    n.name = node->mName.C_Str();
    n.parent = parent;
    n.local = toKit(node->mTransformation);
    for (unsigned i = 0; i < node->mNumMeshes; ++i)
      n.meshes.push_back(static_cast<int>(node->mMeshes[i]));
    scene->nodes.push_back(std::move(n));
    nodeIndex[node] = index;
    nodeByName.emplace(node->mName.C_Str(), index);
    for (unsigned i = 0; i < node->mNumChildren; ++i) addNode(node->mChildren[i], index);
  }

  void addMesh(const aiMesh* m) {
    SourceMesh mesh;
    mesh.name = m->mName.C_Str();
    mesh.material = static_cast<int>(m->mMaterialIndex);
    for (unsigned i = 0; i < m->mNumVertices; ++i) {
      mesh.positions.push_back(toKit(m->mVertices[i]));
      if (m->mNormals != nullptr) mesh.normals.push_back(toKit(m->mNormals[i]));
      if (m->mTextureCoords[0] != nullptr)
        mesh.uvs.push_back({m->mTextureCoords[0][i].x, m->mTextureCoords[0][i].y});
      if (m->mColors[0] != nullptr)
        mesh.colours.push_back({m->mColors[0][i].r, m->mColors[0][i].g, m->mColors[0][i].b});
    }
    // Points and lines have no place in the kit's faces.
    for (unsigned f = 0; f < m->mNumFaces; ++f) {
      const aiFace& face = m->mFaces[f];
      if (face.mNumIndices >= 3)
        mesh.faces.emplace_back(face.mIndices, face.mIndices + face.mNumIndices);
    }
    if (m->mNumBones > 0) {
      ++scene->skinnedMeshes;
      mesh.bone.assign(m->mNumVertices, -1);
      std::vector<float> heaviest(m->mNumVertices, 0.0f);
      for (unsigned b = 0; b < m->mNumBones; ++b) {
        const aiBone* bone = m->mBones[b];
        const auto found = nodeByName.find(bone->mName.C_Str());
        if (found == nodeByName.end()) continue;
        for (unsigned w = 0; w < bone->mNumWeights; ++w) {
          const aiVertexWeight& weight = bone->mWeights[w];
          if (weight.mVertexId < m->mNumVertices && weight.mWeight > heaviest[weight.mVertexId]) {
            heaviest[weight.mVertexId] = weight.mWeight;
            mesh.bone[weight.mVertexId] = found->second;
          }
        }
      }
    }
    scene->meshes.push_back(std::move(mesh));
  }

  void addMaterial(const aiMaterial* m, const std::filesystem::path& folder) {
    SourceMaterial material;
    aiString name;
    if (m->Get(AI_MATKEY_NAME, name) == AI_SUCCESS) material.name = name.C_Str();
    aiColor4D colour;
    if (m->Get(AI_MATKEY_BASE_COLOR, colour) == AI_SUCCESS ||
        m->Get(AI_MATKEY_COLOR_DIFFUSE, colour) == AI_SUCCESS)
      material.colour = {colour.r, colour.g, colour.b, colour.a};
    float opacity = 1.0f;
    if (m->Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS) material.colour[3] *= opacity;
    readTexture(ai, m, folder, &material);
    scene->materials.push_back(std::move(material));
  }

  void addAnimation(const aiAnimation* a) {
    SourceAnimation animation;
    animation.name = a->mName.C_Str();
    const double ticks = a->mTicksPerSecond > 0 ? a->mTicksPerSecond : 25.0;
    animation.duration = a->mDuration / ticks;
    for (unsigned c = 0; c < a->mNumChannels; ++c) {
      const aiNodeAnim* in = a->mChannels[c];
      const auto found = nodeByName.find(in->mNodeName.C_Str());
      if (found == nodeByName.end()) continue;
      Channel channel;
      channel.node = found->second;
      for (unsigned k = 0; k < in->mNumPositionKeys; ++k)
        channel.positions.push_back(
            {in->mPositionKeys[k].mTime / ticks, toKit(in->mPositionKeys[k].mValue)});
      for (unsigned k = 0; k < in->mNumRotationKeys; ++k)
        channel.rotations.push_back(
            {in->mRotationKeys[k].mTime / ticks, toKit(in->mRotationKeys[k].mValue)});
      for (unsigned k = 0; k < in->mNumScalingKeys; ++k) {
        const aiVector3D& s = in->mScalingKeys[k].mValue;
        channel.scales.push_back({in->mScalingKeys[k].mTime / ticks, {s.x, s.y, s.z}});
      }
      animation.channels.push_back(std::move(channel));
    }
    scene->animations.push_back(std::move(animation));
  }

  void addCamera(const aiCamera* c) {
    SourceCamera camera;
    camera.name = c->mName.C_Str();
    const auto found = nodeByName.find(camera.name);
    camera.node = found != nodeByName.end() ? found->second : 0;
    camera.position = toKit(c->mPosition);
    // The camera's position is relative to its node, but assimp's glTF 2
    // reader repeats the node's own translation there: not twice.
    const Vec t = scene->nodes[static_cast<size_t>(camera.node)].local.translation();
    if (std::abs(t.x - camera.position.x) + std::abs(t.y - camera.position.y) +
            std::abs(t.z - camera.position.z) <
        1e-6)
      camera.position = {};
    camera.lookAt = toKit(c->mLookAt);
    camera.up = toKit(c->mUp);
    scene->cameras.push_back(camera);
  }
};

template <class T>
T lerp(const T& a, const T& b, double s) {
  return {a.x + (b.x - a.x) * s, a.y + (b.y - a.y) * s, a.z + (b.z - a.z) * s};
}

Quat lerp(const Quat& a, Quat b, double s) {
  double dot = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
  if (dot < 0) {
    b = {-b.w, -b.x, -b.y, -b.z};
    dot = -dot;
  }
  double ka = 1 - s, kb = s;
  if (dot < 0.9995) {
    const double theta = std::acos(dot);
    ka = std::sin(ka * theta) / std::sin(theta);
    kb = std::sin(kb * theta) / std::sin(theta);
  }
  Quat q{a.w * ka + b.w * kb, a.x * ka + b.x * kb, a.y * ka + b.y * kb, a.z * ka + b.z * kb};
  const double n = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
  return {q.w / n, q.x / n, q.y / n, q.z / n};
}

// A channel's value at `seconds`: held before the first key and after the
// last, linear (spherical for rotations) between.
template <class T>
T sample(const std::vector<TimedKey<T>>& keys, double seconds, const T& rest) {
  if (keys.empty()) return rest;
  if (seconds <= keys.front().time) return keys.front().value;
  for (size_t k = 1; k < keys.size(); ++k) {
    if (seconds <= keys[k].time) {
      const double span = keys[k].time - keys[k - 1].time;
      return lerp(keys[k - 1].value, keys[k].value,
                  span > 0 ? (seconds - keys[k - 1].time) / span : 1);
    }
  }
  return keys.back().value;
}

}  // namespace

Affine rotationOf(const Quat& q) {
  // The column-vector matrix of q, transposed.
  const double w = q.w, x = q.x, y = q.y, z = q.z;
  Affine r;
  r.m[0] = {1 - 2 * (y * y + z * z), 2 * (x * y + w * z), 2 * (x * z - w * y)};
  r.m[1] = {2 * (x * y - w * z), 1 - 2 * (x * x + z * z), 2 * (y * z + w * x)};
  r.m[2] = {2 * (x * z + w * y), 2 * (y * z - w * x), 1 - 2 * (x * x + y * y)};
  return r;
}

bool importScene(const std::string& path, SourceScene* scene, std::string* error) {
  Assimp::Importer importer;
  // Lines and points are dropped; polygons stay whole, so quads stay quads.
  importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE,
                              aiPrimitiveType_POINT | aiPrimitiveType_LINE);
  const aiScene* ai = importer.ReadFile(
      path, aiProcess_JoinIdenticalVertices | aiProcess_SortByPType | aiProcess_FlipUVs |
                aiProcess_ValidateDataStructure | aiProcess_GenSmoothNormals);
  if (ai == nullptr) {
    *error = importer.GetErrorString();
    return false;
  }
  if ((ai->mFlags & AI_SCENE_FLAGS_INCOMPLETE) != 0 || ai->mRootNode == nullptr) {
    *error = "the file holds no complete scene";
    return false;
  }
  Reader reader{ai, scene, {}, {}};
  reader.addNode(ai->mRootNode, -1);
  for (unsigned i = 0; i < ai->mNumMeshes; ++i) reader.addMesh(ai->mMeshes[i]);
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  for (unsigned i = 0; i < ai->mNumMaterials; ++i) reader.addMaterial(ai->mMaterials[i], folder);
  for (unsigned i = 0; i < ai->mNumAnimations; ++i) reader.addAnimation(ai->mAnimations[i]);
  for (unsigned i = 0; i < ai->mNumCameras; ++i) reader.addCamera(ai->mCameras[i]);
  return true;
}

void scaleScene(SourceScene* scene, double factor) {
  const auto scale = [factor](Vec& v) { v = {v.x * factor, v.y * factor, v.z * factor}; };
  for (SourceNode& node : scene->nodes)
    for (double& t : node.local.m[3]) t *= factor;
  for (SourceMesh& mesh : scene->meshes)
    for (Vec& p : mesh.positions) scale(p);
  for (SourceAnimation& animation : scene->animations)
    for (Channel& channel : animation.channels)
      for (auto& key : channel.positions) scale(key.value);
  for (SourceCamera& camera : scene->cameras) scale(camera.position);
}

Affine localAt(const SourceScene& scene, const SourceAnimation* animation, int node,
               double seconds) {
  const Affine& rest = scene.nodes[static_cast<size_t>(node)].local;
  if (animation == nullptr) return rest;
  for (const Channel& channel : animation->channels) {
    if (channel.node != node) continue;
    // The rest matrix's parts stand in for channels without keys.
    const PivotPose parts = poseOf(rest, {}, {});
    const Vec position = sample(channel.positions, seconds, parts.position);
    const Vec scale = sample(channel.scales, seconds, parts.scale);
    Affine rotation = channel.rotations.empty()
                          ? rotationMatrix(parts.angles)
                          : rotationOf(sample(channel.rotations, seconds, Quat{}));
    Affine out;
    for (int r = 0; r < 3; ++r) {
      const double s = r == 0 ? scale.x : r == 1 ? scale.y : scale.z;
      for (int c = 0; c < 3; ++c) out.m[r][c] = rotation.m[r][c] * s;
    }
    out.m[3] = {position.x, position.y, position.z};
    return out;
  }
  return rest;
}

std::vector<Affine> globalsAt(const SourceScene& scene, const SourceAnimation* animation,
                              double seconds) {
  std::vector<Affine> globals(scene.nodes.size());
  for (size_t i = 0; i < scene.nodes.size(); ++i) {
    const Affine local = localAt(scene, animation, static_cast<int>(i), seconds);
    const int parent = scene.nodes[i].parent;
    globals[i] = parent < 0 ? local : local * globals[static_cast<size_t>(parent)];
  }
  return globals;
}

}  // namespace kvconv
