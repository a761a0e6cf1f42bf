// Shared pieces of the 3D library's tests: a fresh host and pool per test, a
// check that the pool is whole again, and a writer for the files the loaders read.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "kvKIT.h"
#include "kvSys/Memory.h"
#include "platform/host/headless/headless.h"
#include "tests/kit_reset.h"

inline bool operator==(const Vector& a, const Vector& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}
inline std::ostream& operator<<(std::ostream& out, const Vector& v) {
  return out << '(' << v.x << ", " << v.y << ", " << v.z << ')';
}
inline void expectNear(const Vector& v, Vector want, float tolerance = 1e-5f) {
  EXPECT_TRUE(std::abs(v.x - want.x) <= tolerance && std::abs(v.y - want.y) <= tolerance &&
              std::abs(v.z - want.z) <= tolerance)
      << v << " is not near " << want;
}

inline Vector apply(const Matrix& m, Vector p) {
  Vector out;
  return *kv3dTransform(&out, &p, &m);
}

class F3dTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The files the tests write go to a folder of their own, so loader messages
    // name short relative paths and nothing lands where the tests were started.
    static const bool entered = [] {
      static const auto folder =
          std::filesystem::path(::testing::TempDir()) / ("kv_f3d_" + std::to_string(getpid()));
      std::filesystem::create_directories(folder);
      std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
      });
      return chdir(folder.c_str()) == 0;
    }();
    ASSERT_TRUE(entered);
    useFreshPool(4096);
  }
  void useFreshPool(uint32_t kib) {
    kvtest::resetKitAndPlatform();
    ASSERT_EQ(kvSetSystemMemory(kib), 1);
  }
  // True when every block was returned: the pool is one free block again.
  static bool poolIsWhole() {
    int32_t header;
    std::memcpy(&header, kvPoolBase, sizeof header);
    return header == kvPoolSize * 2;
  }
  static bool logged(const std::string& text) {
    return kv::headless::debugCapture().find(text) != std::string::npos;
  }
  // A refusal: nothing loaded, `message` logged and the pool whole again. The
  // log is cleared for the next load.
  static ::testing::AssertionResult refused(const void* loaded, const std::string& message) {
    const std::string log = kv::headless::debugCapture();
    kv::headless::clearDebugCapture();
    if (!loaded && log.find(message) != std::string::npos && poolIsWhole())
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << (loaded ? "loaded" : "refused") << ", log: " << log;
  }
};

// Little-endian file bytes, written value by value.
struct FileBytes {
  template <class T>
  FileBytes& put(T v) {
    const auto* b = reinterpret_cast<const uint8_t*>(&v);
    bytes.insert(bytes.end(), b, b + sizeof v);
    return *this;
  }
  FileBytes& i32(int32_t v) { return put(v); }
  FileBytes& vec(Vector v) { return put(v.x).put(v.y).put(v.z); }
  // A MOT/CAM key: time, position, angles in degrees (yaw, pitch, roll), scale.
  FileBytes& key(int32_t time, Vector p, Vector degrees = {}, Vector s = {1, 1, 1}) {
    return i32(time).vec(p).vec(degrees).vec(s);
  }
  // Writes the bytes, or the first `limit` of them, and returns the path.
  std::string save(const std::string& path, size_t limit = SIZE_MAX) const {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(std::min(limit, bytes.size())));
    return path;
  }
  std::vector<uint8_t> bytes;
};
