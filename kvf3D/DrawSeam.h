// SEAM (device): the render flags and the framework's device arrive with the
// device layer. Until then the polygon drawer submits through this stand-in,
// which keeps the fans it receives for tests. Delete with the device merge.
#pragma once

#include <cstdint>
#include <vector>

#include "kvKIT.h"

constexpr int32_t KV_RF_ALPHA = 0x001;
constexpr int32_t KV_RF_ZBUFFER = 0x002;
constexpr int32_t KV_RF_COLOR = 0x004;
constexpr int32_t KV_RF_TEXTURE = 0x008;
constexpr int32_t KV_RF_AUX = 0x010;
constexpr int32_t KV_RF_COLORKEY = 0x020;
constexpr int32_t KV_RF_PERSPECTIVE = 0x040;
constexpr int32_t KV_RF_FILTER = 0x080;
constexpr int32_t KV_RF_ADDITIVE = 0x100;
extern int32_t kvRenderFlags;
void kvSetRenderFlags(int32_t flags);
int16_t kvSetScreenMode(int32_t mode);
HRESULT kvClear(int32_t red, int32_t green, int32_t blue);
int16_t kvBeginScene();
void kvEndScene();
void kvFlip();

namespace kv3d::seam {
struct Fan {
  int32_t flags;
  std::vector<float> words;  // 7 per vertex
};
std::vector<Fan>& fans();
HRESULT drawFan(const void* vertices, int32_t count);
}  // namespace kv3d::seam
