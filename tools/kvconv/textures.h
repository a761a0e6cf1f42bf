// Textures the kit can load: decoded from whatever the source names (PNG,
// JPEG, BMP, TGA and the rest stb reads), resized to a size the surface system
// accepts, and quantized to 256 colours.
#pragma once

#include <string>

#include "kvconv/import.h"
#include "kvgen/formats.h"

namespace kvconv {

// The surface system's sizes: powers of two from 8 to 256, sides at most 8 to 1.
int textureSide(int source);
void fitAspect(int* width, int* height);

// The material's texture as an 8-bit picture, top row first, at most
// `maxSide` a side; false with the reason when it cannot be read.
bool makeTexture(const SourceMaterial& material, int maxSide, kvgen::Image* out,
                 std::string* error);
// A small texture in one colour, for untextured materials under realtime light.
kvgen::Image solidTexture(const std::array<double, 4>& colour);

}  // namespace kvconv
