// Shared pieces of the 3D library's tests: a fresh host and pool per test, a
// check that the pool is whole again, and a writer for the files the loaders read.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kvKIT.h"
#include "kvSys/Memory.h"
#include "platform/host/headless/headless.h"

class F3dTest : public ::testing::Test {
 protected:
  void SetUp() override {
    useScratchFolder();
    useFreshPool(4096);
  }
  // The tests write the files they load; they do it in a folder of their own,
  // so that loader messages name short relative paths and nothing lands in
  // the folder the tests were started from.
  static void useScratchFolder() {
    static const bool entered = [] {
      static const std::filesystem::path folder =
          std::filesystem::path(::testing::TempDir()) / ("kv_f3d_" + std::to_string(getpid()));
      std::error_code error;
      std::filesystem::create_directories(folder, error);
      std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
      });
      return chdir(folder.c_str()) == 0;
    }();
    ASSERT_TRUE(entered);
  }
  void useFreshPool(uint32_t kib) {
    kv::headless::install();
    kvResetMemoryForTests();
    // The work buffers lived in the pool just released.
    kv3dWorkVertices = nullptr;
    kv3dWorkRed = kv3dWorkGreen = kv3dWorkBlue = nullptr;
    ASSERT_EQ(kvSetSystemMemory(kib), 1);
  }
  // True when every block was returned: the pool is one free block again.
  static bool poolIsWhole() {
    int32_t header;
    std::memcpy(&header, kvPoolBase, sizeof header);
    return header == kvPoolSize * 2;
  }
  static const std::string& log() { return kv::headless::debugCapture(); }
};

// Little-endian file bytes, written value by value.
class FileBytes {
 public:
  FileBytes& i32(int32_t v) { return raw(&v, 4); }
  FileBytes& i16(int16_t v) { return raw(&v, 2); }
  FileBytes& u16(uint16_t v) { return raw(&v, 2); }
  FileBytes& u8(uint8_t v) { return raw(&v, 1); }
  FileBytes& f32(float v) { return raw(&v, 4); }
  FileBytes& vec(float x, float y, float z) { return f32(x).f32(y).f32(z); }
  FileBytes& name(const std::string& text, size_t field) {
    std::string padded = text;
    padded.resize(field, '\0');
    return raw(padded.data(), field);
  }
  // A MOT/CAM key: time, position, angles in degrees (yaw, pitch, roll), scale.
  FileBytes& key(int32_t time, Vector p, Vector degrees, Vector s = {1, 1, 1}) {
    return i32(time).vec(p.x, p.y, p.z).vec(degrees.x, degrees.y, degrees.z).vec(s.x, s.y, s.z);
  }
  FileBytes& raw(const void* data, size_t size) {
    const auto* b = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), b, b + size);
    return *this;
  }
  // Writes the bytes, or the first `limit` of them, and returns the path.
  std::string save(const std::string& path, size_t limit = SIZE_MAX) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(std::min(limit, bytes.size())));
    return path;
  }
  std::vector<uint8_t> bytes;
};
