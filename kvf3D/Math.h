// Helpers the 3D library's modules share; not part of the public header.
#pragma once

#include <cstdint>

#include "kvKIT.h"

namespace kv3d {

// Float to integer, truncating toward zero as the kit does everywhere, but
// saturating instead of overflowing (and NaN gives 0) so that a wild value
// from a file cannot reach undefined behaviour.
constexpr int32_t truncate(double value) {
  if (!(value == value)) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// Rounds a byte offset up to the alignment of the records placed there.
constexpr int64_t alignUp(int64_t offset) { return (offset + 7) & ~int64_t{7}; }

}  // namespace kv3d
