// The pool's block layout and its best-fit, split and merge rules.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "kvKIT.h"
#include "kvSys/Memory.h"
#include "platform/host/headless/headless.h"

namespace {

struct Block {
  int32_t offset;
  int32_t length;
  bool used;
};

int32_t headerAt(int32_t offset) {
  int32_t value;
  std::memcpy(&value, kvPoolBase + offset, sizeof value);
  return value;
}

std::vector<Block> walk() {
  std::vector<Block> blocks;
  for (int32_t offset = 0; offset < kvPoolSize;) {
    const int32_t header = headerAt(offset);
    blocks.push_back({offset, header >> 1, (header & 1) != 0});
    if ((header >> 1) <= 0) break;  // a broken chain must not loop forever
    offset += header >> 1;
  }
  return blocks;
}

int32_t offsetOf(const void* data) {
  return static_cast<int32_t>(static_cast<const uint8_t*>(data) - kvPoolBase) - 4;
}

class Pool : public ::testing::Test {
 protected:
  void SetUp() override {
    kv::headless::install();
    kvResetMemoryForTests();
    ASSERT_EQ(kvSetSystemMemory(4), 1);  // 4096 bytes: small enough to reason about
  }
  void TearDown() override { kvResetMemoryForTests(); }
};

TEST_F(Pool, FreshPoolIsOneFreeBlockAndFirstAllocationSplitsIt) {
  ASSERT_EQ(kvPoolSize, 4096);
  EXPECT_EQ(headerAt(0), 4096 * 2);
  void* p = kvAlloc(100);
  EXPECT_EQ(p, kvPoolBase + 4);
  EXPECT_EQ(headerAt(0), 104 * 2 + 1);
  EXPECT_EQ(headerAt(104), (4096 - 104) * 2);
}

TEST_F(Pool, BadRequestsAndNullFreesChangeNothing) {
  EXPECT_EQ(kvAlloc(0), nullptr);
  EXPECT_EQ(kvAlloc(-5), nullptr);
  EXPECT_EQ(kvAlloc(0x7FFFFFFF), nullptr);  // 2n+8 would overflow the header
  kvFree(nullptr);
  EXPECT_EQ(headerAt(0), 4096 * 2);
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

TEST_F(Pool, RemainderOfOneToThreeBytesIsHandedOutWhole) {
  void* a = kvAlloc(20);
  void* keep = kvAlloc(8);
  kvFree(a);  // a free block of 24 bytes
  void* b = kvAlloc(18);  // needs 22: remainder 2
  ASSERT_EQ(b, a);
  EXPECT_EQ(headerAt(offsetOf(b)), 24 * 2 + 1);
  kvFree(b);
  void* c = kvAlloc(16);  // needs 20: remainder 4 becomes an empty free block
  ASSERT_EQ(c, a);
  EXPECT_EQ(headerAt(offsetOf(c)), 20 * 2 + 1);
  EXPECT_EQ(headerAt(offsetOf(c) + 20), 4 * 2);
  (void)keep;
}

TEST_F(Pool, FreeingTheMiddleOfThreeMergesAllIntoOneBlock) {
  void* a = kvAlloc(40);
  void* b = kvAlloc(40);
  void* c = kvAlloc(40);
  void* keep = kvAlloc(8);
  kvFree(a);
  kvFree(c);
  kvFree(b);
  EXPECT_EQ(headerAt(0), 132 * 2);
  (void)keep;
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
    int32_t total = 0;
    bool previousFree = false;
    size_t used = 0;
    for (const Block& block : walk()) {
      ASSERT_GE(block.length, 4) << "step " << step;
      total += block.length;
      ASSERT_FALSE(previousFree && !block.used) << "adjacent free blocks at step " << step;
      previousFree = !block.used;
      used += block.used ? 1 : 0;
    }
    ASSERT_EQ(total, kvPoolSize) << "step " << step;
    ASSERT_EQ(used, live.size()) << "step " << step;
  }
}

TEST(PoolSetUp, SecondCallIsRefusedWithItsMessageEvenAfterRelease) {
  kv::headless::install();
  kvResetMemoryForTests();
  ASSERT_EQ(kvSetSystemMemory(4), 1);
  kvReleaseSystemMemory();
  kv::headless::clearDebugCapture();
  EXPECT_EQ(kvSetSystemMemory(4), 0);
  const std::string& log = kv::headless::debugCapture();
  // The message in its stored code page (CP949), without a line feed.
  const std::string message =
      "kvSetSystemMemory\xC7\xD4\xBC\xF6\xB0\xA1 \xB5\xCE\xB9\xF8\xC0\xCC\xBB\xF3 "
      "\xC8\xA3\xC3\xE2\xB5\xC7\xBE\xFA\xBD\xC0\xB4\xCF\xB4\xD9.";
  ASSERT_GE(log.size(), message.size());
  EXPECT_EQ(log.substr(log.size() - message.size()), message);
  EXPECT_EQ(kvPoolBase, nullptr);
  kvResetMemoryForTests();
}

}  // namespace
