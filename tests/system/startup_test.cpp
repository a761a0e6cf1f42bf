// Start-up, shutdown and the settings block.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "kvKIT.h"
#include "kvSys/Frame.h"
#include "kvSys/Memory.h"
#include "platform/host/headless/headless.h"

namespace {

namespace fs = std::filesystem;

// Runs each test in an empty folder of its own: the kit reads and writes its
// files in the working directory.
class InTempFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    kv::headless::install();
    previous_ = fs::current_path();
    folder_ = fs::path(::testing::TempDir()) /
              ("kv_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    fs::current_path(folder_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(folder_);
  }
  fs::path previous_, folder_;
};

using StartUp = InTempFolder;
using Settings = InTempFolder;

TEST_F(StartUp, BannerFirstExitLastAndShutdownRunsOnce) {
  kvResetMemoryForTests();
  ASSERT_EQ(kvSystemInit(), 1);
  EXPECT_STREQ(kvCaption, "kvKIT v1.0");
  EXPECT_EQ(kvPoolSize, 4096 * 1024);
  EXPECT_EQ(kvFramePeriod, 16);  // 60 per second by default
  EXPECT_NE(kvAlloc(1000), nullptr);
  kvSystemExit();
  EXPECT_EQ(kvPoolBase, nullptr);

  const std::string& log = kv::headless::debugCapture();
  const char* banner[] = {
      "*****************************************************\n",
      "*                                                   *\n",
      "*         Kvorn KIT Release 1.0 floating            *\n",
      "*                                                   *\n",
      "*****************************************************\n",
  };
  size_t at = 0;
  for (const char* line : banner) {
    const size_t prefixEnd = log.find("): ", at);
    ASSERT_NE(prefixEnd, std::string::npos);
    EXPECT_EQ(log.substr(at, 20), "kvSys/kvSystem.cpp(1");
    EXPECT_EQ(log.substr(prefixEnd + 3, std::strlen(line)), line);
    at = prefixEnd + 3 + std::strlen(line);
  }
  const std::string exitLine = "kvKIT Exit\n";
  ASSERT_GE(log.size(), exitLine.size());
  EXPECT_EQ(log.substr(log.size() - exitLine.size()), exitLine);

  // The exit guard: a second shutdown does nothing and logs nothing.
  kv::headless::clearDebugCapture();
  kvSystemExit();
  EXPECT_EQ(kv::headless::debugCapture(), "");
  kvResetMemoryForTests();
}

TEST_F(Settings, ABlockRoundTripsThroughTheFileExactly) {
  uint8_t block[37];
  for (size_t i = 0; i < sizeof block; ++i) block[i] = static_cast<uint8_t>(i * 7 + 1);
  ASSERT_EQ(kvSaveConfig(block, sizeof block), 1);
  EXPECT_EQ(fs::file_size("kvKIT.dat"), sizeof block);
  uint8_t back[37] = {};
  kvLoadConfig(back, sizeof back);
  EXPECT_EQ(std::memcmp(block, back, sizeof block), 0);
}

TEST_F(Settings, WithoutAFileTheBlockIsZeroed) {
  uint8_t block[16];
  std::memset(block, 0xEE, sizeof block);
  kvLoadConfig(block, sizeof block);
  for (uint8_t b : block) EXPECT_EQ(b, 0);
}

TEST_F(Settings, AShortFileLoadsWhatItHasAndLeavesTheRest) {
  uint8_t saved[4] = {1, 2, 3, 4};
  ASSERT_EQ(kvSaveConfig(saved, sizeof saved), 1);
  uint8_t block[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  kvLoadConfig(block, sizeof block);
  const uint8_t expected[8] = {1, 2, 3, 4, 9, 9, 9, 9};
  EXPECT_EQ(std::memcmp(block, expected, sizeof block), 0);
}

TEST_F(Settings, AFileThatCannotBeCreatedIsReported) {
  fs::create_directory("kvKIT.dat");  // a folder in the way
  uint8_t block[4] = {};
  kv::headless::clearDebugCapture();
  EXPECT_EQ(kvSaveConfig(block, sizeof block), 0);
  EXPECT_NE(kv::headless::debugCapture().find(
                "kvSaveConfig Error: cannot kvKIT.dat file create.\n"),
            std::string::npos);
}

}  // namespace
