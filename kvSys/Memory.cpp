// The kit's memory pool: one heap block carved into blocks laid end to end.
// Each block starts with a 4-byte header holding twice its length, plus 1 when
// in use; there is no alignment and no rounding, exactly as stored records expect.
#include "kvSys/Memory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kvKIT.h"

uint8_t* kvPoolBase = nullptr;
int32_t kvPoolSize = 0;
static int32_t poolSetUp = 0;

namespace {

// Headers may sit at any byte address, so they are read and written bytewise.
int32_t readHeader(const uint8_t* at) {
  int32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

void writeHeader(uint8_t* at, int32_t value) { std::memcpy(at, &value, sizeof value); }

int32_t blockLength(int32_t header) { return header >> 1; }
bool inUse(int32_t header) { return (header & 1) != 0; }
bool insidePool(const uint8_t* at) { return at < kvPoolBase + kvPoolSize; }

}  // namespace

int16_t kvSetSystemMemory(uint32_t sizeKiB) {
  if (poolSetUp == 1) {
    kvDebugPrint("kvSetSystemMemory함수가 두번이상 호출되었습니다.");
    return 0;
  }
  poolSetUp = 1;
  kvReleaseSystemMemory();
  // Sizes are checked in KiB, before the shift, which would wrap at 4 GiB and
  // hand back a tiny pool as a success.
  constexpr uint32_t kMaxKiB = (1u << 20) - 1;  // under 1 GiB, so headers hold twice it
  if (kvPoolBase != nullptr || sizeKiB == 0 || sizeKiB > kMaxKiB) return 0;
  const auto bytes = static_cast<int32_t>(sizeKiB << 10);
  kvPoolBase = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bytes)));
  if (kvPoolBase == nullptr) return 0;
  kvPoolSize = bytes;
  writeHeader(kvPoolBase, bytes * 2);
  return 1;
}

void* kvAlloc(int32_t bytes) {
  if (bytes <= 0 || kvPoolBase == nullptr || bytes > kvPoolSize) return nullptr;
  const int32_t wanted = 2 * bytes + 8;
  uint8_t* candidate = nullptr;
  int32_t candidateHeader = 0;
  for (uint8_t* block = kvPoolBase; insidePool(block);) {
    const int32_t header = readHeader(block);
    if (!inUse(header)) {
      if (header == wanted) {
        writeHeader(block, header | 1);
        return block + 4;
      }
      if (header > wanted && (candidate == nullptr || candidateHeader > header)) {
        candidate = block;
        candidateHeader = header;
      }
    }
    block += blockLength(header);
  }
  if (candidate == nullptr) return nullptr;

  const int32_t remainder = (candidateHeader - wanted) >> 1;
  uint8_t* split = candidate + bytes + 4;
  if (remainder >= 4 && insidePool(split)) {
    writeHeader(split, candidateHeader - wanted);
    candidateHeader = wanted;
  }
  writeHeader(candidate, candidateHeader | 1);
  return candidate + 4;
}

void kvFree(void* data) {
  // Outside the designed contract, but a null free is common enough to forgive.
  if (data == nullptr) return;
  uint8_t* block = static_cast<uint8_t*>(data) - 4;
  int32_t header = readHeader(block) & ~1;
  writeHeader(block, header);

  uint8_t* next = block + blockLength(header);
  if (insidePool(next) && !inUse(readHeader(next))) {
    header += readHeader(next);
    writeHeader(block, header);
  }

  uint8_t* previous = nullptr;
  for (uint8_t* walk = kvPoolBase; walk != block && insidePool(walk);
       walk += blockLength(readHeader(walk)))
    previous = walk;
  if (previous == nullptr || inUse(readHeader(previous))) return;
  writeHeader(previous, readHeader(previous) + header);
}

void* kvAllocRecord(int64_t bytes) {
  constexpr int64_t kSlack = 8;  // up to 8 bytes to the next boundary, one of them the offset
  if (bytes <= 0 || bytes > INT32_MAX - kSlack) return nullptr;
  auto* block = static_cast<uint8_t*>(kvAlloc(static_cast<int32_t>(bytes + kSlack)));
  if (block == nullptr) return nullptr;
  const auto address = reinterpret_cast<uintptr_t>(block);
  const uintptr_t aligned = (address + 1 + 7) & ~uintptr_t{7};
  uint8_t* record = block + (aligned - address);
  record[-1] = static_cast<uint8_t>(aligned - address);  // 1..8
  return record;
}

void kvFreeRecord(void* record) {
  if (record == nullptr) return;
  auto* bytes = static_cast<uint8_t*>(record);
  kvFree(bytes - bytes[-1]);
}

void kvReleaseSystemMemory() {
  std::free(kvPoolBase);
  kvPoolBase = nullptr;
  kvPoolSize = 0;
}

void kvResetMemoryForTests() {
  kvReleaseSystemMemory();
  poolSetUp = 0;
}
