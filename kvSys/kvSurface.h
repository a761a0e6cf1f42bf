// The texel rules of the upload and the current texture, for the render
// operations and tests.
#pragma once

#include "kvKIT.h"

// Bit length of a colour mask: the smallest s with 2^s > mask.
uint32_t kvMaskShift(uint32_t mask);
// 8-bit red, green, blue to a 16-bit texel of the format, keeping the top bits.
uint16_t kvTexelFromRGB(const DDPIXELFORMAT& format, uint32_t red, uint32_t green, uint32_t blue);
// An RGB565 pixel to a 16-bit texel of the format, keeping the top bits.
uint16_t kvTexelFrom565(const DDPIXELFORMAT& format, uint16_t pixel);
// The Surface last given to kvSetTexture, or null.
Surface* kvGetCurrentTexture();
// Back to how the process starts: no groups, no texture, no key colour. Free
// the groups first: this forgets them.
void kvResetSurfaceState();
