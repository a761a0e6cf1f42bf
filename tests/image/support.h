// Shared by the loaders' tests: decoding into guarded buffers, and running the
// loaders on files in a temporary folder with the debug log captured.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>

#include "kvImage/decode.h"
#include "kvKIT.h"
#include "kvSys/Memory.h"
#include "platform/host/headless/headless.h"
#include "tests/image/image_files.h"

namespace imagetest {

using imagefiles::Bytes;
using kv::image::Status;

constexpr uint8_t GUARD = 0xA5;
constexpr size_t GUARD_BYTES = 64;

// A decode's result; `pixels` holds exactly the picture's bytes.
struct Decoded {
  Status status = Status::Ok;
  ImageDesc desc{};
  Bytes pixels;
};

// Decodes into a buffer with guard bytes after the picture and fails the test
// if the decoder wrote into them. The file lives in a buffer of its exact size.
template <typename Layout, typename Inspect, typename Decode>
Decoded decodeGuarded(const Bytes& file, Inspect inspect, Decode decode) {
  Decoded result;
  Layout layout{};
  kv::image::Outcome outcome;
  result.status = inspect(file.data(), file.size(), &layout, &outcome);
  if (result.status != Status::Ok) {
    EXPECT_EQ(outcome.status, result.status);
    return result;
  }
  Bytes buffer(layout.pixelBytes + GUARD_BYTES, GUARD);
  result.status = decode(file, layout, &result.desc, buffer.data());
  for (size_t i = layout.pixelBytes; i < buffer.size(); ++i) {
    if (buffer[i] != GUARD) {
      ADD_FAILURE() << "decoder wrote past the picture at byte " << i;
      break;
    }
  }
  buffer.resize(layout.pixelBytes);
  result.pixels = std::move(buffer);
  return result;
}

inline Decoded decodeBmp(const Bytes& file, kv::image::Rows rows = kv::image::Rows::TopFirst) {
  return decodeGuarded<kv::image::BmpLayout>(
      file, kv::image::bmpInspect,
      [rows](const Bytes& f, const kv::image::BmpLayout& layout, ImageDesc* desc, uint8_t* out) {
        kv::image::bmpDecode(f.data(), layout, rows, desc, out);
        return Status::Ok;
      });
}

inline Decoded decodeGif(const Bytes& file) {
  static kv::image::GifTables tables;
  return decodeGuarded<kv::image::GifLayout>(
      file, kv::image::gifInspect,
      [](const Bytes& f, const kv::image::GifLayout& layout, ImageDesc* desc, uint8_t* out) {
        return kv::image::gifDecode(f.data(), f.size(), layout, tables, desc, out);
      });
}

inline Decoded decodePcx(const Bytes& file) {
  return decodeGuarded<kv::image::PcxLayout>(
      file, kv::image::pcxInspect,
      [](const Bytes& f, const kv::image::PcxLayout& layout, ImageDesc* desc, uint8_t* out) {
        return kv::image::pcxDecode(f.data(), f.size(), layout, desc, out);
      });
}

// Runs loaders on files written to a fresh folder, with a fresh pool and the
// headless host capturing the log.
class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kv::headless::install();
    kvResetMemoryForTests();
    ASSERT_EQ(kvSetSystemMemory(4096), 1);
    folder_ = std::filesystem::path(::testing::TempDir()) / "kv_image_loaders";
    std::filesystem::create_directories(folder_);
  }

  std::string write(const std::string& name, const Bytes& bytes) {
    const std::string path = (folder_ / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  std::string missing() const { return (folder_ / "no_such_picture").string(); }

  // The log holds exactly one line, from `module`'s source, with this message.
  static void expectOneLine(const std::string& module, const std::string& message) {
    const std::string& log = kv::headless::debugCapture();
    const std::string tag = "kvImage/" + module + ".cpp(";
    ASSERT_EQ(log.compare(0, tag.size(), tag), 0) << log;
    size_t at = tag.size();
    while (at < log.size() && std::isdigit(static_cast<unsigned char>(log[at]))) ++at;
    EXPECT_EQ(log.substr(at), "): " + message);
  }

  // Every block the loader took from the pool went back to it.
  static void expectPoolWhole() {
    void* all = kvAlloc(kvPoolSize - 4);
    EXPECT_NE(all, nullptr) << "a loader left a pool block behind";
    kvFree(all);
  }

 private:
  std::filesystem::path folder_;
};

}  // namespace imagetest
