// Start-up, shutdown, the settings block, the debug log's call-site prefix and
// line limit, and the file wrappers.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kvKIT.h"
#include "kvSys/Frame.h"
#include "kvSys/Memory.h"
#include "platform/host/headless/headless.h"
#include "tests/kit_reset.h"

namespace {

namespace fs = std::filesystem;

// Runs each test in an empty folder of its own: the kit reads and writes its
// files in the working directory.
class InTempFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    kvtest::resetKitAndPlatform();
    previous_ = fs::current_path();
    // Named after the test: ctest may run the tests side by side.
    folder_ =
        fs::path(::testing::TempDir()) /
        ("kv_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    fs::current_path(folder_);
  }
  void TearDown() override {
    kvtest::resetKitAndPlatform();
    fs::current_path(previous_);
    fs::remove_all(folder_);
  }
  fs::path previous_, folder_;
};

TEST_F(InTempFolder, BannerFirstExitLastAndShutdownRunsOnce) {
  ASSERT_EQ(kvSystemInit(), 1);
  EXPECT_EQ(kvPoolSize, 4096 * 1024);
  EXPECT_EQ(kvPacing.period, 16);  // 60 per second by default
  kvSystemExit();
  EXPECT_EQ(kvPoolBase, nullptr);

  const std::string& log = kv::headless::debugCapture();
  const std::string stars = std::string(53, '*') + "\n", blank = "*" + std::string(51, ' ') + "*\n",
                    title = "*         Kvorn KIT Release 1.0 floating            *\n";
  size_t at = 0;
  for (const std::string& line : {stars, blank, title, blank, stars}) {
    const size_t prefixEnd = log.find("): ", at);
    ASSERT_NE(prefixEnd, std::string::npos);
    // Any line number: the tag names the module, not where in it the banner sits.
    const std::string tag = "kvSys/kvSystem.cpp(";
    EXPECT_EQ(log.substr(at, tag.size()), tag);
    EXPECT_NE(log.find_first_not_of("0123456789", at + tag.size()), at + tag.size());
    EXPECT_EQ(log.substr(prefixEnd + 3, line.size()), line);
    at = prefixEnd + 3 + line.size();
  }
  EXPECT_TRUE(log.ends_with("kvKIT Exit\n")) << log;

  // The exit guard: a second shutdown does nothing and logs nothing.
  kv::headless::clearDebugCapture();
  kvSystemExit();
  EXPECT_EQ(kv::headless::debugCapture(), "");
}

TEST_F(InTempFolder, SettingsRoundTripShortFilesLoadInPartAndNoFileZeroes) {
  std::vector<uint8_t> block(37), back(37, 0);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7 + 1);
  ASSERT_EQ(kvSaveConfig(block.data(), 37), 1);
  EXPECT_EQ(fs::file_size("kvKIT.dat"), 37u);
  kvLoadConfig(back.data(), 37);
  EXPECT_EQ(back, block);

  ASSERT_EQ(kvSaveConfig(block.data(), 4), 1);
  back.assign(8, 0xEE);
  kvLoadConfig(back.data(), 8);
  EXPECT_EQ(back, (std::vector<uint8_t>{1, 8, 15, 22, 0xEE, 0xEE, 0xEE, 0xEE}));

  fs::remove("kvKIT.dat");
  kvLoadConfig(back.data(), 8);
  EXPECT_EQ(back, std::vector<uint8_t>(8, 0));

  fs::create_directory("kvKIT.dat");  // a folder in the way
  kv::headless::clearDebugCapture();
  EXPECT_EQ(kvSaveConfig(block.data(), 4), 0);
  EXPECT_NE(
      kv::headless::debugCapture().find("kvSaveConfig Error: cannot kvKIT.dat file create.\n"),
      std::string::npos);
}

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

TEST_F(InTempFolder, FileSeekInvertsTheStandardResultAndReadsCountWholeItems) {
  std::ofstream("kv_file_test.bin", std::ios::binary) << "abcdefg\nsecond line\n";
  FILE* in = kvFileOpen("kv_file_test.bin", "rb");
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(kvFileSeek(in, 2, SEEK_SET), 1);
  EXPECT_EQ(kvFileTell(in), 2);
  EXPECT_EQ(kvFileGetc(in), 'c');
  char pairs[4], line[32];
  EXPECT_EQ(kvFileRead(pairs, 2, 2, in), 2u);  // "defg"
  EXPECT_STREQ(kvFileGets(line, sizeof line, in), "\n");
  EXPECT_STREQ(kvFileGets(line, sizeof line, in), "second line\n");
  EXPECT_EQ(kvFileGets(line, sizeof line, in), nullptr);
  EXPECT_EQ(kvFileGetc(in), EOF);
  EXPECT_EQ(kvFileSeek(in, -100, SEEK_SET), 0);
  EXPECT_EQ(kvFileClose(in), 0);
  EXPECT_EQ(kvFileOpen("absent.bin", "rb"), nullptr);
}

}  // namespace
