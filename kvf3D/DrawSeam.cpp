// SEAM (device): stand-ins until the device layer lands; see DrawSeam.h.
#include "kvf3D/DrawSeam.h"

#include <cstring>

int32_t kvRenderFlags = KV_RF_COLOR;
void kvSetRenderFlags(int32_t flags) { kvRenderFlags = flags; }
int16_t kvSetScreenMode(int32_t) { return 1; }
HRESULT kvClear(int32_t, int32_t, int32_t) { return 0; }
int16_t kvBeginScene() { return 1; }
void kvEndScene() {}
void kvFlip() { kvPollCountKey(); }

namespace kv3d::seam {
std::vector<Fan>& fans() {
  static std::vector<Fan> recorded;
  return recorded;
}
HRESULT drawFan(const void* vertices, int32_t count) {
  Fan fan{kvRenderFlags, std::vector<float>(static_cast<size_t>(count) * 7)};
  std::memcpy(fan.words.data(), vertices, fan.words.size() * 4);
  fans().push_back(std::move(fan));
  return 0;
}
}  // namespace kv3d::seam
