// Light tables: red, green and blue intensity by normal direction, so that
// realtime shading costs one lookup per vertex.
#include <cstring>

#include "kvf3D/Math.h"
#include "kvf3D/State.h"

LightTable* kv3dCurrentLight = nullptr;

void kv3dResetLightState() { kv3dCurrentLight = nullptr; }

const int16_t kvLightRowAngles[32] = {
    3093, 3134, 3175, 3216, 3258, 3301, 3345, 3391, 3438, 3487, 3540, 3596, 3658, 3729, 3816, 3981,
    115,  280,  367,  438,  500,  556,  609,  658,  705,  751,  795,  838,  880,  921,  962,  1003};

const int16_t kvLightColumnAngles[32] = {
    115,  280,  367,  438,  500,  556,  609,  658,  705,  751,  795,  838,  880,  921,  962,  1003,
    1044, 1085, 1126, 1167, 1209, 1252, 1296, 1342, 1389, 1438, 1491, 1547, 1609, 1680, 1767, 1932};

namespace {

// The cosine between the light and each cell's direction, limited to 0..1, in
// the order cells are visited: row by row, within a column the left cell first.
// Each operation computes it and hands it to a writer of its own.
template <typename Write>
void forEachCell(int32_t a, int32_t b, Write write) {
  const Angle elevation = static_cast<Angle>(a), heading = static_cast<Angle>(b);
  const float u = kv3dSin(heading) * -kv3dCos(elevation);
  const float v = kv3dCos(heading) * -kv3dCos(elevation);
  const float w = -kv3dSin(elevation);
  const auto limit = [](float intensity) {
    if (intensity < 0.0f) return 0.0f;
    return intensity >= 1.0f ? 1.0f : intensity;
  };
  for (int row = 0; row < 32; ++row) {
    const Angle latitude = static_cast<Angle>(kvLightRowAngles[row]);
    const float p = kv3dCos(latitude) * u;
    const float q = kv3dSin(latitude) * w;
    const float r = kv3dCos(latitude) * v;
    for (int column = 0; column < 32; ++column) {
      const Angle g = static_cast<Angle>(kvLightColumnAngles[31 - column]);
      const Angle mirrored = static_cast<Angle>(4096 - g);
      const float sinP = kv3dSin(g) * p;  // rounded to single precision before the sum
      const float sinPMirrored = kv3dSin(mirrored) * p;
      write(row * 64 + column, limit(sinP + kv3dCos(g) * r + q));
      write(row * 64 + column + 32, limit(sinPMirrored + kv3dCos(mirrored) * r + q));
    }
  }
}

uint8_t clampByte(float value) {
  const int32_t whole = kv3d::truncate(value);
  return static_cast<uint8_t>(whole < 0 ? 0 : (whole > 255 ? 255 : whole));
}

}  // namespace

LightTable* kv3dCreateLight(int32_t a, int32_t b, int32_t lr, int32_t lg, int32_t lb, int32_t ar,
                            int32_t ag, int32_t ab) {
  auto* table = static_cast<LightTable*>(kvAlloc(sizeof(LightTable)));
  if (table != nullptr) kv3dInitLight(table, a, b, lr, lg, lb, ar, ag, ab);
  return table;
}

void kv3dInitLight(LightTable* table, int32_t a, int32_t b, int32_t lr, int32_t lg, int32_t lb,
                   int32_t ar, int32_t ag, int32_t ab) {
  const float light[3] = {float(lr & 255), float(lg & 255), float(lb & 255)};
  const float ambient[3] = {float(ar & 255), float(ag & 255), float(ab & 255)};
  forEachCell(a, b, [&](int cell, float intensity) {
    table->red[cell] = clampByte(light[0] * intensity + ambient[0]);
    table->green[cell] = clampByte(light[1] * intensity + ambient[1]);
    table->blue[cell] = clampByte(light[2] * intensity + ambient[2]);
  });
}

void kv3dAddLight(LightTable* table, int32_t a, int32_t b, int32_t lr, int32_t lg, int32_t lb) {
  const float light[3] = {float(lr & 255), float(lg & 255), float(lb & 255)};
  forEachCell(a, b, [&](int cell, float intensity) {
    table->red[cell] = clampByte(light[0] * intensity + table->red[cell]);
    table->green[cell] = clampByte(light[1] * intensity + table->green[cell]);
    table->blue[cell] = clampByte(light[2] * intensity + table->blue[cell]);
  });
}

void kv3dSetLight(LightTable* table) { kv3dCurrentLight = table; }

void kv3dFreeLight(LightTable* table) {
  if (table != nullptr) kvFree(table);
}

void kv3dSumLights(LightTable* out, const LightTable* a, const LightTable* b) {
  const auto* x = reinterpret_cast<const uint8_t*>(a);
  const auto* y = reinterpret_cast<const uint8_t*>(b);
  auto* o = reinterpret_cast<uint8_t*>(out);
  for (size_t i = 0; i < sizeof(LightTable); ++i) {
    const int sum = x[i] + y[i];
    o[i] = static_cast<uint8_t>(sum < 256 ? sum : 255);
  }
}

void kv3dBlendLights(LightTable* out, const LightTable* const* tables, const int32_t* weights,
                     int32_t count) {
  auto* o = reinterpret_cast<uint8_t*>(out);
  for (size_t i = 0; i < sizeof(LightTable); ++i) {
    // 64 bits so that large weights cannot overflow; negative sums give 0.
    int64_t sum = 0;
    for (int32_t k = 0; k < count; ++k)
      sum += static_cast<int64_t>(weights[k]) * reinterpret_cast<const uint8_t*>(tables[k])[i];
    const int64_t value = sum >> 8;
    o[i] = static_cast<uint8_t>(value > 255 ? 255 : (value < 0 ? 0 : value));
  }
}
