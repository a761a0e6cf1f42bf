// kvconv: a model from today's tools (glTF, OBJ, FBX, COLLADA and whatever
// else assimp reads) into a kvKIT object (.kvo) with its textures, its
// animations as motions (.mot) and, when asked, a camera path (.cam). Every
// file is written into a fresh folder first, loaded back there with the kit's
// own loaders, and only then moved beside the output name.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "kvKIT.h"
#include "kvconv/import.h"
#include "kvconv/motion.h"
#include "kvconv/object.h"
#include "kvgen/formats.h"
#include "platform/host/headless/headless.h"
#include "platform/win/codepage.h"
#include "platform/win/debug_channel.h"

namespace fs = std::filesystem;
using namespace kvconv;

namespace {

const char* const kUsage = R"(usage: kvconv [options] MODEL OUTPUT.kvo
Converts a model (glTF 2.0, OBJ with MTL, FBX, COLLADA and every other format
assimp reads) into a kvKIT object OUTPUT.kvo, its textures beside it as
OUTPUT_N.bmp (or .gif, .pcx), each animation as a motion OUTPUT.mot (several:
OUTPUT_1.mot, OUTPUT_2.mot, ...) and, with --camera, a camera path OUTPUT.cam;
kvview.txt beside them tells kvview what to open (kvview -C FOLDER).
The result is loaded back with the kit's own loaders before anything is put
in place; on any failure nothing is written and the exit status is 1.

  --scale S            multiply every length by S (default: the model's
                       largest side becomes 400 units, the demo's can)
  --shading MODE       none, realtime-gouraud (default), realtime-flat,
                       precalculated-gouraud, precalculated-flat, or 0..4
  --animation NAME|N   write only this animation (index from 0) as OUTPUT.mot
  --no-animation       write no motion
  --rate FPS           motion keys per second of animation (default 30)
  --camera NAME|N      write this camera's path as OUTPUT.cam
  --hierarchy          keep the node tree as pivots even without a motion
  --flat               one rigid object, whatever the node tree (no motion)
  --texture-format F   bmp (default), gif or pcx
  --texture-size N     largest texture side: 8, 16, 32, 64, 128 or 256 (default)
  --strict             refuse a model with degenerate faces (default: drop them
                       with a warning)
  --help               this text

Space: the kit is left-handed with y up; the source's z is mirrored
(kit = (x, y, -z) x scale), which also keeps every face's corner order.
)";

constexpr uint32_t kPoolKiB = 512 * 1024;

struct Options {
  std::string input, output;
  double scale = 0;  // 0: fit
  int32_t shading = kRealtimeGouraud;
  std::string animation;  // empty: all
  bool noAnimation = false;
  double rate = 30;
  std::string camera;
  int hierarchy = -1;  // -1: when a motion is written
  std::string textureFormat = "bmp";
  int textureSide = 256;
  bool strict = false;
};

[[noreturn]] void usageError(const std::string& message) {
  std::fprintf(stderr, "kvconv: %s\n(kvconv --help lists the options)\n", message.c_str());
  std::exit(2);
}

int32_t parseShading(const std::string& name) {
  const char* names[] = {"none", "realtime-gouraud", "realtime-flat", "precalculated-gouraud",
                         "precalculated-flat"};
  for (int32_t i = 0; i < 5; ++i)
    if (name == names[i] || name == std::to_string(i)) return i;
  usageError("unknown shading \"" + name + "\"");
}

Options parse(int argc, char** argv) {
  Options o;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) usageError(a + " needs a value");
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (a == "--scale") {
      o.scale = std::atof(value().c_str());
      if (!(o.scale > 0)) usageError("--scale needs a positive number");
    } else if (a == "--shading") {
      o.shading = parseShading(value());
    } else if (a == "--animation") {
      o.animation = value();
    } else if (a == "--no-animation") {
      o.noAnimation = true;
    } else if (a == "--rate") {
      o.rate = std::atof(value().c_str());
      if (!(o.rate > 0 && o.rate <= 1000)) usageError("--rate needs a number of frames 1..1000");
    } else if (a == "--camera") {
      o.camera = value();
    } else if (a == "--strict") {
      o.strict = true;
    } else if (a == "--hierarchy") {
      o.hierarchy = 1;
    } else if (a == "--flat") {
      o.hierarchy = 0;
    } else if (a == "--texture-format") {
      o.textureFormat = value();
      if (o.textureFormat != "bmp" && o.textureFormat != "gif" && o.textureFormat != "pcx")
        usageError("--texture-format is bmp, gif or pcx");
    } else if (a == "--texture-size") {
      o.textureSide = std::atoi(value().c_str());
      if (o.textureSide < 8 || o.textureSide > 256 || (o.textureSide & (o.textureSide - 1)) != 0)
        usageError("--texture-size is a power of two from 8 to 256");
    } else if (a.size() > 1 && a[0] == '-') {
      usageError("unknown option " + a);
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) usageError("give one model and one output .kvo");
  o.input = files[0];
  o.output = files[1];
  if (fs::path(o.output).extension() != ".kvo") usageError("the output's name must end in .kvo");
  return o;
}

// Picks by name, else by index; -1 when neither matches.
template <class T>
int pick(const std::vector<T>& list, const std::string& key) {
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].name == key) return static_cast<int>(i);
  char* end = nullptr;
  const long index = std::strtol(key.c_str(), &end, 10);
  if (!key.empty() && *end == '\0' && index >= 0 && static_cast<size_t>(index) < list.size())
    return static_cast<int>(index);
  return -1;
}

// Texture names must stay plain ASCII: the kit reads them in its own code page.
std::string asciiStem(const std::string& stem) {
  std::string out;
  for (char c : stem)
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-') out += c;
  if (out.empty()) out = "texture";
  return out.substr(0, 100);
}

std::string kitLog() {
  std::string text = kv::win::kitTextToUtf8(kv::headless::debugCapture());
  kv::headless::clearDebugCapture();
  return text;
}

// Loads what was written with the kit's loaders, from the folder it is in
// (the kit finds an object's images beside it only through backslashes, so
// it is given the bare name from inside the folder).
bool loadBack(const fs::path& folder, const std::string& object, size_t images,
              const kvgen::ObjectRec& rec, const std::vector<std::string>& motions,
              const std::string& camera, std::string* error) {
  std::error_code failed;
  const fs::path home = fs::current_path(failed);
  fs::current_path(folder, failed);
  if (failed) {
    *error = "cannot enter " + folder.string() + ": " + failed.message();
    return false;
  }
  bool ok = true;
  Model* model = kv3dLoadKVO(object.c_str());
  if (model == nullptr) {
    *error = "the kit refuses the object it was given: " + kitLog();
    ok = false;
  } else {
    for (int32_t i = 0; i < model->materialCount; ++i)
      if (rec.materials[static_cast<size_t>(i)].image >= 0 &&
          model->materials[i].texture == nullptr)
        ok = false;
    if (!ok) *error = "the kit cannot load a texture: " + kitLog();
    for (int32_t f = 0; ok && f < model->faceCount; ++f)
      for (int k = 0; k < model->faces[f].cornerCount; ++k)
        if (model->faces[f].vertexIndex[k] >= model->vertexCount) {
          *error = "a face names a vertex past the object's end";
          ok = false;
        }
    if (ok && (model->vertexCount != static_cast<int32_t>(rec.vertices.size()) ||
               model->faceCount != static_cast<int32_t>(rec.faces.size()) ||
               model->pivotCount != rec.pivots.size())) {
      *error = "the object loads with other counts than were written";
      ok = false;
    }
    (void)images;
    kv3dFreeKVO(model);
  }
  for (const std::string& name : motions) {
    if (!ok) break;
    Motion* motion = kv3dLoadMOT(name.c_str());
    if (motion == nullptr || motion->trackCount != static_cast<int32_t>(rec.pivots.size())) {
      *error = "the kit cannot load the motion " + name + ": " + kitLog();
      ok = false;
    }
    kv3dFreeMOT(motion);
  }
  if (ok && !camera.empty()) {
    CameraPath* path = kv3dLoadCAM(camera.c_str());
    if (path == nullptr) {
      *error = "the kit cannot load the camera path: " + kitLog();
      ok = false;
    }
    kv3dFreeCAM(path);
  }
  for (int group = 0; group < KV_SURFACE_GROUPS; ++group) kvFreeSurfaceGroup(group);
  fs::current_path(home, failed);
  return ok;
}

bool writeAll(const fs::path& folder,
              const std::vector<std::pair<std::string, kvgen::Bytes>>& files, std::string* error) {
  for (const auto& [name, bytes] : files) {
    std::FILE* file = std::fopen((folder / name).c_str(), "wb");
    const bool ok =
        file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file == nullptr || std::fclose(file) != 0 || !ok) {
      *error = "cannot write " + (folder / name).string() + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

int fail(const Options& o, const std::string& message) {
  std::fprintf(stderr, "kvconv: %s: %s\n", o.input.c_str(), message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = parse(argc, argv);
  SourceScene scene;
  std::string error;
  std::fprintf(stderr, "kvconv: reading %s\n", o.input.c_str());
  if (!importScene(o.input, &scene, &error)) return fail(o, "not readable as a model: " + error);
  if (scene.materials.empty()) return fail(o, "the file has no materials (and so no meshes)");

  // Animations and camera chosen before the object: a motion needs pivots.
  std::vector<int> animations;
  if (!o.noAnimation) {
    if (!o.animation.empty()) {
      const int a = pick(scene.animations, o.animation);
      if (a < 0)
        return fail(o, "no animation \"" + o.animation + "\" (it has " +
                           std::to_string(scene.animations.size()) + ")");
      animations.push_back(a);
    } else {
      for (size_t a = 0; a < scene.animations.size(); ++a)
        animations.push_back(static_cast<int>(a));
    }
  }
  int camera = -1;
  if (!o.camera.empty()) {
    camera = pick(scene.cameras, o.camera);
    if (camera < 0)
      return fail(o, "no camera \"" + o.camera + "\" (it has " +
                         std::to_string(scene.cameras.size()) + ")");
  }
  if (o.hierarchy == 0) animations.clear();

  // Without finite bounds the object builder names the fault.
  Vec low, high;
  const double extent = sceneBounds(scene, &low, &high)
                            ? std::max({high.x - low.x, high.y - low.y, high.z - low.z})
                            : 0.0;
  const double scale = o.scale > 0 ? o.scale : extent > 0 ? 400.0 / extent : 1.0;
  scaleScene(&scene, scale);

  std::error_code bad;
  const fs::path output = fs::absolute(o.output, bad);
  if (bad) return fail(o, "cannot name the output " + o.output + ": " + bad.message());
  const std::string stem = output.stem().string();
  ObjectOptions objectOptions;
  objectOptions.shading = o.shading;
  objectOptions.hierarchy = o.hierarchy == 1 || (o.hierarchy < 0 && !animations.empty());
  objectOptions.imageStem = asciiStem(stem);
  objectOptions.imageExtension = o.textureFormat;
  objectOptions.maxTextureSide = o.textureSide;
  objectOptions.strict = o.strict;
  Converted converted;
  std::fprintf(stderr, "kvconv: building the object\n");
  if (!buildObject(scene, objectOptions, &converted, &error)) return fail(o, error);
  if (scene.skinnedMeshes > 0)
    converted.warnings.push_back(std::to_string(scene.skinnedMeshes) +
                                 " skinned meshes: each vertex follows its heaviest bone rigidly");
  if (o.shading == kRealtimeFlat)
    converted.warnings.push_back("the kit draws realtime flat shading only where it implements it");

  std::vector<std::pair<std::string, kvgen::Bytes>> files;
  for (const auto& [name, image] : converted.images) {
    kvgen::Bytes bytes;
    if (o.textureFormat == "bmp") {
      // The kit reads a BMP's rows in file order, top row first.
      kvgen::Image flipped = image;
      for (int y = 0; y < image.height; ++y)
        std::copy_n(image.pixels.begin() + y * image.width, image.width,
                    flipped.pixels.begin() + (image.height - 1 - y) * image.width);
      bytes = kvgen::encodeBmp8(flipped);
    } else {
      bytes = o.textureFormat == "gif" ? kvgen::encodeGif8(image) : kvgen::encodePcx8(image);
    }
    files.emplace_back(name, bytes);
  }
  const std::string objectName = output.filename().string();
  files.emplace_back(objectName, kvgen::encodeKvo(converted.object));
  std::vector<std::string> motions;
  for (int a : animations) {
    std::fprintf(stderr, "kvconv: sampling animation %d \"%s\"\n", a,
                 scene.animations[static_cast<size_t>(a)].name.c_str());
    const std::string name =
        stem + (animations.size() > 1 ? "_" + std::to_string(motions.size() + 1) : "") + ".mot";
    files.emplace_back(
        name, kvgen::encodeMot(
                  buildMotion(scene, scene.animations[static_cast<size_t>(a)], converted, o.rate)));
    motions.push_back(name);
  }
  std::string cameraName;
  if (camera >= 0) {
    cameraName = stem + ".cam";
    const SourceAnimation* animation =
        animations.empty() ? (scene.animations.empty() ? nullptr : &scene.animations[0])
                           : &scene.animations[static_cast<size_t>(animations[0])];
    files.emplace_back(cameraName, buildCamera(scene, animation,
                                               scene.cameras[static_cast<size_t>(camera)], o.rate));
  }

  // What kvview opens when started in the output's folder, in the kit's code page.
  std::string view = "object " + objectName + "\n";
  if (!motions.empty()) view += "motion " + motions[0] + "\n";
  if (!cameraName.empty()) view += "camera " + cameraName + "\n";
  view = kv::win::utf8ToKitText(view);
  files.emplace_back("kvview.txt", kvgen::Bytes(view.begin(), view.end()));

  // A fresh folder beside the output, so the final moves are renames.
  std::string pattern = (output.parent_path() / ".kvconv-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr)
    return fail(o, "cannot make a working folder in " + output.parent_path().string() + ": " +
                       std::strerror(errno));
  const fs::path work = pattern;
  kv::headless::install();
  kv::win::setDebugEcho(false);
  bool ok = kvSetSystemMemory(kPoolKiB) == 1;
  if (!ok) error = "cannot reserve the kit's memory pool";
  ok = ok && writeAll(work, files, &error);
  ok = ok && loadBack(work, objectName, converted.images.size(), converted.object, motions,
                      cameraName, &error);
  kvReleaseSystemMemory();
  // Moves into place only once everything loaded back; a move that fails
  // stops there and says which file it was.
  for (size_t i = 0; ok && i < files.size(); ++i) {
    std::error_code failed;
    fs::rename(work / files[i].first, output.parent_path() / files[i].first, failed);
    if (failed) {
      error = "cannot put " + files[i].first + " in place: " + failed.message();
      ok = false;
    }
  }
  std::error_code ignored;
  fs::remove_all(work, ignored);
  if (!ok) return fail(o, error);

  for (const std::string& w : converted.warnings)
    std::fprintf(stderr, "kvconv: warning: %s\n", w.c_str());
  const kvgen::ObjectRec& rec = converted.object;
  std::printf(
      "%s: %zu vertices, %zu faces, %zu materials, %zu textures, %zu pivots, shading %d, scale "
      "%g\n",
      o.output.c_str(), rec.vertices.size(), rec.faces.size(), rec.materials.size(),
      rec.images.size(), rec.pivots.size(), rec.shading, scale);
  for (const std::string& m : motions) std::printf("  motion %s\n", m.c_str());
  if (!cameraName.empty()) std::printf("  camera path %s\n", cameraName.c_str());
  return 0;
}
