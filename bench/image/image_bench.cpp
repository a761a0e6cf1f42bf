// Decoding a 256 x 256 8-bit picture in each format, from bytes in memory, and
// loading one from a file through the kit.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "kvImage/decode.h"
#include "kvKIT.h"
#include "platform/host/headless/headless.h"
#include "platform/win/debug_channel.h"
#include "tests/image/image_files.h"

namespace {

using imagefiles::Bytes;

constexpr int SIDE = 256;

// A texture-like picture: smooth bands with some fine detail, so that neither
// run-length nor LZW coding has it too easy.
Bytes picture() {
  Bytes pixels(SIDE * SIDE);
  for (int y = 0; y < SIDE; ++y)
    for (int x = 0; x < SIDE; ++x) {
      const double wave = 40 * std::sin(x / 9.0) + 30 * std::cos(y / 13.0) + (x * y % 7);
      pixels[y * SIDE + x] = static_cast<uint8_t>((x / 4 + y / 3 + static_cast<int>(wave)) & 0xFF);
    }
  return pixels;
}

void BM_DecodeBmp(benchmark::State& state) {
  const Bytes file = imagefiles::makeBmp({.width = SIDE, .height = SIDE}, picture());
  std::vector<uint8_t> pixels(SIDE * SIDE);
  ImageDesc desc;
  for (auto _ : state) {
    kv::image::BmpLayout layout;
    kv::image::Outcome outcome;
    kv::image::MemoryBytes source(file.data(), file.size());
    kv::image::bmpInspect(file.data(), kv::image::BMP_HEAD_BYTES, file.size(), &layout, &outcome);
    kv::image::bmpDecode(file.data(), source, layout, kv::image::Rows::TopFirst, &desc,
                         pixels.data());
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetBytesProcessed(state.iterations() * SIDE * SIDE);
}
BENCHMARK(BM_DecodeBmp);

void BM_DecodeGif(benchmark::State& state) {
  const Bytes file = imagefiles::makeGif(
      SIDE, SIDE, 8, imagefiles::subBlocks(imagefiles::lzwEncode(picture(), 8)));
  std::vector<uint8_t> pixels(SIDE * SIDE);
  auto tables = std::make_unique<kv::image::GifTables>();
  ImageDesc desc;
  for (auto _ : state) {
    kv::image::GifLayout layout;
    kv::image::Outcome outcome;
    kv::image::gifInspect(file.data(), file.size(), &layout, &outcome);
    if (kv::image::gifDecode(file.data(), file.size(), layout, *tables, &desc, pixels.data()) !=
        kv::image::Status::Ok) {
      state.SkipWithError("GIF decode failed");
      break;
    }
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetBytesProcessed(state.iterations() * SIDE * SIDE);
  state.counters["file_bytes"] = static_cast<double>(file.size());
}
BENCHMARK(BM_DecodeGif);

void BM_DecodePcx(benchmark::State& state) {
  const Bytes file =
      imagefiles::makePcx({.xmax = SIDE - 1, .ymax = SIDE - 1}, imagefiles::pcxEncode(picture()));
  std::vector<uint8_t> pixels(SIDE * SIDE);
  ImageDesc desc;
  for (auto _ : state) {
    kv::image::PcxLayout layout;
    kv::image::Outcome outcome;
    kv::image::pcxInspect(file.data(), file.size(), &layout, &outcome);
    if (kv::image::pcxDecode(file.data(), file.size(), layout, &desc, pixels.data()) !=
        kv::image::Status::Ok) {
      state.SkipWithError("PCX decode failed");
      break;
    }
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetBytesProcessed(state.iterations() * SIDE * SIDE);
  state.counters["file_bytes"] = static_cast<double>(file.size());
}
BENCHMARK(BM_DecodePcx);

// Whole loads from files through the kit: open, read (a bitmap row by row, GIF
// and PCX whole), decode and make the Surface, on the headless host.
void loadFromFile(benchmark::State& state, const Bytes& file, const char* name,
                  Surface* (*load)(const char*)) {
  static const bool ready = [] {
    kv::headless::install();
    kv::win::setDebugEcho(false);
    return kvSetSystemMemory(4096) == 1;
  }();
  const std::string path = (std::filesystem::temp_directory_path() / name).string();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  for (auto _ : state) {
    if (!ready || load(path.c_str()) == nullptr) {
      state.SkipWithError("the load failed");
      break;
    }
    kvFreeSurfaceGroup(kvSurfaceGroup);
  }
  std::filesystem::remove(path);
  state.SetBytesProcessed(state.iterations() * SIDE * SIDE);
}

void BM_LoadBmp(benchmark::State& state) {
  loadFromFile(state, imagefiles::makeBmp({.width = SIDE, .height = SIDE}, picture()),
               "kv_bench.bmp", kvLoadBmp);
}
BENCHMARK(BM_LoadBmp);

void BM_LoadPcx(benchmark::State& state) {
  loadFromFile(
      state,
      imagefiles::makePcx({.xmax = SIDE - 1, .ymax = SIDE - 1}, imagefiles::pcxEncode(picture())),
      "kv_bench.pcx", kvLoadPcx);
}
BENCHMARK(BM_LoadPcx);

}  // namespace

BENCHMARK_MAIN();
