#include "kvconv/textures.h"

#include <libimagequant.h>
#include <stb_image.h>
#include <stb_image_resize.h>

#include <algorithm>
#include <memory>

namespace kvconv {

namespace {

constexpr int kMinSide = 8;

uint8_t channel(double value) {
  return static_cast<uint8_t>(std::clamp(value, 0.0, 1.0) * 255.0 + 0.5);
}

}  // namespace

int textureSide(int source) {
  int side = kMinSide;
  // The nearest power of two, halves rounding up, within the surface's limits.
  while (side < 256 && side * 3 / 2 < source) side *= 2;
  return side;
}

void fitAspect(int* width, int* height) {
  while (*width > *height * 8) *width /= 2;
  while (*height > *width * 8) *height /= 2;
}

bool makeTexture(const SourceMaterial& material, int maxSide, kvgen::Image* out,
                 std::string* error) {
  int width = material.rawWidth, height = material.rawHeight;
  std::vector<uint8_t> rgba = material.rawRgba;
  if (rgba.empty()) {
    if (material.textureFile.empty()) {
      *error =
          "texture " + material.texture + " not found (looked for " + material.texturePath + ")";
      return false;
    }
    int components = 0;
    std::unique_ptr<uint8_t, void (*)(void*)> decoded(
        stbi_load_from_memory(material.textureFile.data(),
                              static_cast<int>(material.textureFile.size()), &width, &height,
                              &components, 4),
        stbi_image_free);
    if (decoded == nullptr) {
      *error =
          "texture " + material.texturePath + " cannot be decoded (" + stbi_failure_reason() + ")";
      return false;
    }
    rgba.assign(decoded.get(), decoded.get() + size_t(width) * size_t(height) * 4);
  }
  if (width <= 0 || height <= 0) {
    *error = "texture " + material.texturePath + " is empty";
    return false;
  }
  // The kit's 8-bit textures are opaque.
  for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;

  int w = std::min(textureSide(width), maxSide), h = std::min(textureSide(height), maxSide);
  fitAspect(&w, &h);
  std::vector<uint8_t> resized = rgba;  // a size the kit takes stays untouched
  if (w != width || h != height) {
    resized.assign(size_t(w) * size_t(h) * 4, 0);
    stbir_resize_uint8(rgba.data(), width, height, 0, resized.data(), w, h, 0, 4);
  }

  liq_attr* attr = liq_attr_create();
  liq_set_max_colors(attr, 256);
  liq_image* image = liq_image_create_rgba(attr, resized.data(), w, h, 0);
  liq_result* result = nullptr;
  if (image == nullptr || liq_image_quantize(image, attr, &result) != LIQ_OK) {
    if (image != nullptr) liq_image_destroy(image);
    liq_attr_destroy(attr);
    *error = "texture " + material.texturePath + " cannot be quantized";
    return false;
  }
  liq_set_dithering_level(result, 1.0f);
  out->width = w;
  out->height = h;
  out->pixels.assign(size_t(w) * size_t(h), 0);
  liq_write_remapped_image(result, image, out->pixels.data(), out->pixels.size());
  const liq_palette* palette = liq_get_palette(result);
  out->palette = {};
  for (unsigned i = 0; i < palette->count && i < 256; ++i)
    out->palette[i] = {palette->entries[i].r, palette->entries[i].g, palette->entries[i].b};
  liq_result_destroy(result);
  liq_image_destroy(image);
  liq_attr_destroy(attr);
  return true;
}

kvgen::Image solidTexture(const std::array<double, 4>& colour) {
  kvgen::Image image;
  image.width = image.height = kMinSide;
  image.palette[0] = {channel(colour[0]), channel(colour[1]), channel(colour[2])};
  image.pixels.assign(kMinSide * kMinSide, 0);
  return image;
}

}  // namespace kvconv
