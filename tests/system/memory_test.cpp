// The pool's block layout and its best-fit, split and merge rules.
#include "kvSys/Memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "kvKIT.h"
#include "platform/host/headless/headless.h"
#include "tests/kit_reset.h"

namespace {

// A block's header: its length times two, plus one while it is in use.
int32_t headerAt(int32_t offset) {
  int32_t value;
  std::memcpy(&value, kvPoolBase + offset, sizeof value);
  return value;
}

int32_t headerOf(const void* data) {
  return headerAt(static_cast<int32_t>(static_cast<const uint8_t*>(data) - kvPoolBase) - 4);
}

class Pool : public ::testing::Test {
 protected:
  void SetUp() override {
    kvtest::resetKitAndPlatform();
    ASSERT_EQ(kvSetSystemMemory(4), 1);  // 4096 bytes: small enough to reason about
  }
  void TearDown() override { kvtest::resetKitAndPlatform(); }
};

TEST_F(Pool, FreshPoolIsOneFreeBlockThatBadRequestsLeaveAndAnAllocationSplits) {
  ASSERT_EQ(kvPoolSize, 4096);
  EXPECT_EQ(kvAlloc(0), nullptr);
  EXPECT_EQ(kvAlloc(-5), nullptr);
  EXPECT_EQ(kvAlloc(0x7FFFFFFF), nullptr);  // 2n+8 would overflow the header
  kvFree(nullptr);
  EXPECT_EQ(headerAt(0), 4096 * 2);
  EXPECT_EQ(kvAlloc(100), kvPoolBase + 4);
  EXPECT_EQ(headerAt(0), 104 * 2 + 1);
  EXPECT_EQ(headerAt(104), (4096 - 104) * 2);
}

// Free blocks of 204, 104, 54 and 104 bytes, kept apart by used ones.
TEST_F(Pool, ExactFitFirstThenSmallestSufficientThenFirstAmongEquals) {
  void* blocks[8];
  const int32_t sizes[8] = {200, 8, 100, 8, 50, 8, 100, 8};
  for (int i = 0; i < 8; ++i) blocks[i] = kvAlloc(sizes[i]);
  for (int i = 0; i < 8; i += 2) kvFree(blocks[i]);
  EXPECT_EQ(kvAlloc(50), blocks[4]);  // exact fit beats the earlier, larger blocks
  EXPECT_EQ(kvAlloc(90), blocks[2]);  // smallest sufficient, first of two equals
}

TEST_F(Pool, RemaindersUnderFourBytesGoWithTheBlockAndFreeNeighboursMerge) {
  void* a = kvAlloc(20);
  void* b = kvAlloc(40);
  void* c = kvAlloc(40);
  ASSERT_NE(kvAlloc(8), nullptr);  // keeps c apart from the pool's free tail
  kvFree(a);                       // a free block of 24 bytes
  ASSERT_EQ(kvAlloc(18), a);       // needs 22: the remainder of 2 goes with it
  EXPECT_EQ(headerOf(a), 24 * 2 + 1);
  kvFree(a);
  ASSERT_EQ(kvAlloc(16), a);  // needs 20: a remainder of 4 becomes an empty free block
  EXPECT_EQ(headerOf(a), 20 * 2 + 1);
  EXPECT_EQ(headerOf(static_cast<uint8_t*>(a) + 20), 4 * 2);
  kvFree(a);  // merges with the empty block after it
  kvFree(c);
  kvFree(b);  // the middle of three: one block
  EXPECT_EQ(headerAt(0), (24 + 44 + 44) * 2);
}

TEST_F(Pool, RecordsSitOnEightByteBoundariesAndGiveTheirBlockBack) {
  for (int32_t odd = 1; odd <= 9; ++odd) {
    void* skew = kvAlloc(odd);  // moves the next block off every boundary in turn
    void* record = kvAllocRecord(24);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(record) % 8, 0u);
    kvFreeRecord(record);
    kvFree(skew);
    EXPECT_EQ(headerAt(0), 4096 * 2) << odd;
  }
  EXPECT_EQ(kvAllocRecord(int64_t{1} << 32), nullptr);
}

// Random allocations and frees, checking the whole chain after every step.
TEST_F(Pool, RandomSequenceKeepsTheChainWholeAndFreeBlocksApart) {
  std::mt19937 random(1234);
  std::vector<std::pair<uint8_t*, int32_t>> live;
  for (int step = 0; step < 3000; ++step) {
    if (live.empty() || random() % 3 != 0) {
      const int32_t n = 1 + static_cast<int32_t>(random() % 120);
      if (auto* p = static_cast<uint8_t*>(kvAlloc(n))) {
        std::memset(p, 0xA5, static_cast<size_t>(n));  // writes must stay inside the block
        live.push_back({p, n});
      }
    } else {
      const size_t i = random() % live.size();
      kvFree(live[i].first);
      live.erase(live.begin() + static_cast<std::ptrdiff_t>(i));
    }
    int32_t at = 0;
    size_t used = 0;
    for (bool previousFree = false; at < kvPoolSize;) {
      const int32_t header = headerAt(at), length = header >> 1;
      ASSERT_GE(length, 4) << "step " << step;
      ASSERT_FALSE(previousFree && !(header & 1)) << "adjacent free blocks at step " << step;
      previousFree = !(header & 1);
      used += header & 1;
      at += length;
    }
    ASSERT_EQ(at, kvPoolSize) << "step " << step;
    ASSERT_EQ(used, live.size()) << "step " << step;
  }
}

TEST_F(Pool, ASecondSetUpIsRefusedWithItsMessageEvenAfterRelease) {
  kvReleaseSystemMemory();
  kv::headless::clearDebugCapture();
  EXPECT_EQ(kvSetSystemMemory(4), 0);
  EXPECT_TRUE(kv::headless::debugCapture().ends_with(
      "kvSetSystemMemory함수가 두번이상 호출되었습니다."))  // no line feed
      << kv::headless::debugCapture();
  EXPECT_EQ(kvPoolBase, nullptr);
}

TEST(PoolSize, SizesOfAGibibyteOrMoreAreRefusedRatherThanWrapped) {
  // 4 GiB + 1 KiB would wrap to a 1 KiB pool if shifted first.
  for (uint32_t kib : {0u, 1u << 20, (1u << 22) + 1, 0xFFFFFFFFu}) {
    kvtest::resetKitAndPlatform();
    EXPECT_EQ(kvSetSystemMemory(kib), 0) << kib;
    EXPECT_EQ(kvPoolBase, nullptr) << kib;
    EXPECT_EQ(kvPoolSize, 0) << kib;
  }
  kvtest::resetKitAndPlatform();
}

}  // namespace
