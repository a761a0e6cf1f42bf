// Aligned records in the kit's pool (see kvf3D/Math.h).
#include <cstring>

#include "kvf3D/Math.h"

namespace kv3d {

void* allocRecord(int64_t bytes) {
  constexpr int64_t kSlack = 12;  // the shift byte plus up to 7 bytes of padding, rounded up
  if (bytes <= 0 || bytes > INT32_MAX - kSlack) return nullptr;
  auto* block = static_cast<uint8_t*>(kvAlloc(static_cast<int32_t>(bytes + kSlack)));
  if (block == nullptr) return nullptr;
  const auto address = reinterpret_cast<uintptr_t>(block);
  const uintptr_t aligned = (address + 1 + 7) & ~uintptr_t{7};
  auto* record = block + (aligned - address);
  record[-1] = static_cast<uint8_t>(aligned - address);  // 1..8, read back by freeRecord
  return record;
}

void freeRecord(void* record) {
  if (record == nullptr) return;
  auto* bytes = static_cast<uint8_t*>(record);
  kvFree(bytes - bytes[-1]);
}

}  // namespace kv3d
