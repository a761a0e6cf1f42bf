// The render target last chosen with kvSetRenderTarget (1 front, else back).
#pragma once

#include <cstdint>

extern int32_t kvRenderTarget;

// Back to how the process starts: the render flags and the target.
void kvResetRenderState();
