// The debug log's call-site prefix and line limit, and the file wrappers.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "kvKIT.h"
#include "platform/host/headless/headless.h"

namespace {

TEST(DebugLog, LinesCarryTheirCallSiteNoAddedLineFeedAndAreCutAtTheBuffer) {
  kv::headless::install();
  kvDebugPrint("value %d", 42);
  const int line = __LINE__ - 1;
  EXPECT_EQ(kv::headless::debugCapture(),
            std::string(__FILE__) + "(" + std::to_string(line) + "): value 42");
  kv::headless::clearDebugCapture();
  kvDebugPrint("%s", std::string(1000, 'x').c_str());
  const std::string& out = kv::headless::debugCapture();
  EXPECT_EQ(out.size(), static_cast<size_t>(KV_DEBUG_LINE_SIZE - 1));
  EXPECT_EQ(out.back(), 'x');
}

TEST(FileAccess, SeekInvertsTheStandardResultAndReadsCountWholeItems) {
  kv::headless::install();
  const std::string path = ::testing::TempDir() + "kv_file_test.bin";
  std::ofstream(path, std::ios::binary) << "abcdefg\nsecond line\n";
  FILE* in = kvFileOpen(path.c_str(), "rb");
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(kvFileSeek(in, 2, SEEK_SET), 1);
  EXPECT_EQ(kvFileTell(in), 2);
  EXPECT_EQ(kvFileGetc(in), 'c');
  char pairs[4];
  EXPECT_EQ(kvFileRead(pairs, 2, 2, in), 2u);  // "defg"
  char line[32];
  EXPECT_STREQ(kvFileGets(line, sizeof line, in), "\n");
  EXPECT_STREQ(kvFileGets(line, sizeof line, in), "second line\n");
  EXPECT_EQ(kvFileGets(line, sizeof line, in), nullptr);
  EXPECT_EQ(kvFileGetc(in), EOF);
  EXPECT_EQ(kvFileSeek(in, -100, SEEK_SET), 0);
  EXPECT_EQ(kvFileClose(in), 0);
  EXPECT_EQ(kvFileOpen((path + ".absent").c_str(), "rb"), nullptr);
}

}  // namespace
