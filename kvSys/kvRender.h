// The render target last chosen with kvSetRenderTarget (1 front, else back).
#pragma once

#include <cstdint>

extern int32_t kvRenderTarget;
