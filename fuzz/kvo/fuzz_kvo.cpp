// Feeds arbitrary bytes to the object loader as its file. A loaded object must
// hold only indices inside its own arrays, and every load must give back all
// the pool it took once freed.
#include <cstdlib>

#include "fuzz/f3d_common/loader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = kvfuzz::serveInput(data, size, "fuzz.kvo");
  Model* model = kv3dLoadKVO(path);
  if (model != nullptr) {
    float sum = 0.0f;
    for (int32_t f = 0; f < model->faceCount; ++f) {
      const Face& face = model->faces[f];
      if (face.cornerCount != 3 && face.cornerCount != 4) std::abort();
      for (int32_t k = 0; k < face.cornerCount; ++k) sum += model->vertices[face.vertexIndex[k]].x;
    }
    int64_t bound = 0;
    for (uint32_t i = 0; i < model->pivotCount; ++i) {
      int32_t depth = 0;
      for (const Pivot* p = &model->pivots[i]; p != nullptr; p = p->parent)
        if (++depth > static_cast<int32_t>(model->pivotCount)) std::abort();  // a cycle
      bound += model->pivots[i].boundVertexCount;
    }
    if (model->pivotCount > 0 && bound != model->vertexCount) std::abort();
    if (model->vertexNormals != nullptr)
      for (int32_t v = 0; v < model->vertexCount; ++v)
        sum += kv3dLightIndex(&model->vertexNormals[v]);
    kvfuzz::keep(sum);
    kv3dFreeKVO(model);
  }
  // An image the input names may exist beside it; its surface goes too.
  for (int32_t group = 0; group < KV_SURFACE_GROUPS; ++group) kvFreeSurfaceGroup(group);
  for (Surface*& slot : kvImageTable) slot = nullptr;
  kvfuzz::expectPoolWhole();
  return 0;
}
