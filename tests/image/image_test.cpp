// The decoders and loaders on files the tests write, hostile files, and
// pictures other tools wrote (fixtures/make_fixtures.sh made them and the
// decodes those tools give).
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "kvImage/decode.h"
#include "kvKIT.h"
#include "kvSys/Memory.h"
#include "platform/host/headless/headless.h"
#include "tests/image/image_files.h"

namespace {

using namespace imagefiles;
using kv::image::Status;

enum class Kind { Bmp, BmpFileOrder, Gif, Pcx };

struct Decoded {
  Status status = Status::Ok;
  ImageDesc desc{};
  Bytes pixels;  // exactly the picture's bytes
};

// Decodes `file` (in a buffer of its exact size) into a buffer followed by guard
// bytes, and fails the test if the decoder wrote into them.
Decoded decode(Kind kind, const Bytes& file) {
  namespace im = kv::image;
  static im::GifTables tables;
  const uint8_t* f = file.data();
  const size_t n = file.size();
  im::BmpLayout bmp{};
  im::GifLayout gif{};
  im::PcxLayout pcx{};
  im::Outcome outcome;
  Decoded r;
  r.status = kind == Kind::Gif ? im::gifInspect(f, n, &gif, &outcome)
             : kind == Kind::Pcx
                 ? im::pcxInspect(f, n, &pcx, &outcome)
                 : im::bmpInspect(f, std::min(n, im::BMP_HEAD_BYTES), n, &bmp, &outcome);
  EXPECT_EQ(outcome.status, r.status);
  if (r.status != Status::Ok) return r;
  const uint32_t size = kind == Kind::Gif   ? gif.pixelBytes
                        : kind == Kind::Pcx ? pcx.pixelBytes
                                            : bmp.pixelBytes;
  r.pixels.assign(size + 64, 0xA5);
  if (kind == Kind::Gif) r.status = im::gifDecode(f, n, gif, tables, &r.desc, r.pixels.data());
  if (kind == Kind::Pcx) r.status = im::pcxDecode(f, n, pcx, &r.desc, r.pixels.data());
  im::MemoryBytes source(f, n);
  if (kind == Kind::Bmp || kind == Kind::BmpFileOrder)
    r.status =
        im::bmpDecode(f, source, bmp, kind == Kind::Bmp ? im::Rows::TopFirst : im::Rows::FileOrder,
                      &r.desc, r.pixels.data());
  EXPECT_EQ(std::count(r.pixels.begin() + size, r.pixels.end(), 0xA5), 64)
      << "wrote past the picture";
  r.pixels.resize(size);
  return r;
}

Bytes flipped(const Bytes& rows, size_t rowBytes) {
  Bytes out;
  for (size_t at = rows.size(); at > 0; at -= rowBytes)
    out.insert(out.end(), rows.begin() + (at - rowBytes), rows.begin() + at);
  return out;
}

Bytes noise(size_t n, uint32_t seed = 1, int colours = 256) {
  std::mt19937 random(seed);
  Bytes pixels(n);
  for (auto& p : pixels) p = static_cast<uint8_t>(random() % colours);
  return pixels;
}

Bytes resized(Bytes bytes, size_t size) {
  bytes.resize(size, 0);
  return bytes;
}

Bytes patched(Bytes file, size_t at, uint32_t value, int bytes = 4) {
  put(file, at, value, bytes);
  return file;
}

// Entries as the writers in image_files.h made them, in red, green, blue order.
void expectWritersPalette(const uint8_t (*palette)[3]) {
  for (int i : {0, 77, 200, 255})
    for (int c = 0; c < 3; ++c) EXPECT_EQ(palette[i][c], paletteByte(i, c)) << i << "," << c;
}

TEST(Bmp, RowsReachThePictureInBothOrdersWhateverTheStrideOrSizeField) {
  const Bmp cases[] = {
      {.width = 16},
      {.width = 30},                        // two pad bytes per row, never pixels
      {.stride = 20},                       // a wider stride the file size implies
      {.width = 16, .height = -8},          // negative height reads like positive
      {.bits = 16},                         // 16-bit words pass as stored
      {.width = 30, .declaredSize = 0},     // no size: the standard stride
      {.width = 16, .declaredSize = 1110},  // a size giving 4-byte rows: the same
      {.width = 16, .declaredSize = 1590},  // a size past the file's end: the same
  };
  for (const Bmp& shape : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &shape - cases);
    const int rowBytes = shape.width * shape.bits / 8;
    const Bytes rows = noise(rowBytes * std::abs(shape.height)), file = makeBmp(shape, rows);
    const Decoded top = decode(Kind::Bmp, file);
    ASSERT_EQ(top.status, Status::Ok);
    EXPECT_EQ(top.desc.width, shape.width);
    EXPECT_EQ(top.desc.height, std::abs(shape.height));
    EXPECT_EQ(top.desc.format, shape.bits == 8 ? SURFACE_FORMAT_8BPP : SURFACE_FORMAT_16BPP);
    EXPECT_EQ(top.pixels, flipped(rows, rowBytes));
    EXPECT_EQ(decode(Kind::BmpFileOrder, file).pixels, rows);
    if (shape.bits == 8) expectWritersPalette(top.desc.palette);
  }
}

// With minimum code size 2: roots 0..3, clear 4, end 5, first free code 6;
// codes are 3 bits wide, and 4 bits from the code that defines code 7 on.
TEST(Gif, CodesClearsAndTheCodeBeingDefined) {
  constexpr int C = 4, E = 5;
  // Zeros fill the table (each code read as wide as the entry it defines), then
  // 3s that must define nothing: defining past the table would overwrite entry
  // 6's prefix, and 6 would no longer read "00".
  std::vector<std::pair<int, int>> full = {{C, 3}, {0, 3}};
  for (unsigned entry = 6; entry < 4096; ++entry) full.emplace_back(0, std::bit_width(entry));
  full.insert(full.end(), 16, {3, 12});
  full.insert(full.end(), {{6, 12}, {3, 12}, {E, 12}});
  Bytes fullHead(4091, 0);
  fullHead.insert(fullHead.end(), 16, 3);
  fullHead.insert(fullHead.end(), {0, 0, 3});
  const struct {
    std::vector<std::pair<int, int>> codes;
    Bytes head;  // the rest of the picture stays at index 0; empty: refused
  } cases[] = {
      {{{C, 3}, {2, 3}, {2, 3}, {6, 3}, {E, 4}}, {2, 2, 2, 2}},
      {{{C, 3}, {1, 3}, {6, 3}, {7, 3}, {E, 4}}, {1, 1, 1, 1, 1, 1}},  // 6, 7 before they exist
      // Repeated clears are skipped, and each resets the table and the width.
      {{{C, 3}, {C, 3}, {3, 3}, {1, 3}, {6, 3}, {C, 4}, {C, 3}, {2, 3}, {6, 3}, {E, 3}},
       {3, 1, 3, 1, 2, 2, 2}},
      {{{C, 3}, {1, 3}, {C, 3}, {E, 3}, {3, 3}}, {1}},
      // No leading clear: the first code defines nothing, so 6 is "3" + "3".
      {{{3, 3}, {3, 3}, {6, 3}, {E, 4}}, {3, 3, 3, 3}},
      {{{C, 3}, {1, 3}, {7, 3}, {E, 3}}, {}},  // a code past the one being defined
      {full, fullHead},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.codes.size() << " codes");
    const Decoded d = decode(Kind::Gif, makeGif(64, 72, 2, subBlocks(packCodes(c.codes))));
    ASSERT_EQ(d.status, c.head.empty() ? Status::BadFormat : Status::Ok);
    if (c.head.empty()) continue;
    EXPECT_EQ(d.pixels, resized(c.head, 64 * 72));
  }
}

TEST(Gif, EncodedPicturesRoundTrip) {
  const struct {
    int codeSize;
    size_t block;
    uint16_t width = 64, height = 32;
  } cases[] = {
      {2, 255}, {3, 17},  {4, 255},          {5, 1}, {6, 255}, {7, 255},
      {8, 255}, {9, 255}, {8, 255, 256, 128}};  // the last fills the table long before its end
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "code size " << c.codeSize << ", " << c.width << " wide");
    const Bytes pixels = noise(c.width * c.height, c.codeSize, std::min(1 << c.codeSize, 256));
    const Decoded d = decode(Kind::Gif, makeGif(c.width, c.height, static_cast<uint8_t>(c.codeSize),
                                                subBlocks(lzwEncode(pixels, c.codeSize), c.block)));
    ASSERT_EQ(d.status, Status::Ok);
    EXPECT_EQ(d.pixels, pixels);
  }
  // A stream longer than its picture is cut at the picture's end.
  const Bytes pixels = noise(64 * 64, 5, 4);
  EXPECT_EQ(decode(Kind::Gif, makeGif(16, 16, 2, subBlocks(lzwEncode(pixels, 2)))).pixels,
            resized(pixels, 256));
}

// A GIF in a general layout: a global table of `globalEntries` (0: none), a
// comment extension, an image with a local table of `localEntries` (0: none),
// its rows stored interlaced when asked.
Bytes makeGeneralGif(uint16_t width, uint16_t height, int globalEntries, int localEntries,
                     bool interlaced, const Bytes& pixels) {
  const auto tableFlags = [](int entries) {
    return entries == 0 ? 0 : 0x80 | (std::bit_width(static_cast<unsigned>(entries)) - 2);
  };
  const auto table = [](Bytes& file, int entries, int offset) {
    for (int i = 0; i < entries; ++i)
      for (int c = 0; c < 3; ++c) file.push_back(paletteByte(i + offset, c));
  };
  Bytes file = {'G', 'I', 'F', '8', '9', 'a', uint8_t(width), 0, uint8_t(height), 0};
  file.insert(file.end(), {uint8_t(tableFlags(globalEntries)), 0, 0});
  table(file, globalEntries, 100);
  const Bytes comment = {0x21, 0xFE, 3, 'a', 'b', 'c', 2, 'd', 'e', 0};
  file.insert(file.end(), comment.begin(), comment.end());
  file.insert(file.end(), {0x2C, 0, 0, 0, 0, uint8_t(width), 0, uint8_t(height), 0,
                           uint8_t(tableFlags(localEntries) | (interlaced ? 0x40 : 0))});
  table(file, localEntries, 0);
  Bytes stored;
  for (int pass = 0; pass < (interlaced ? 4 : 1); ++pass) {
    const int start = interlaced ? std::array{0, 4, 2, 1}[pass] : 0;
    const int step = interlaced ? std::array{8, 8, 4, 2}[pass] : 1;
    for (int y = start; y < height; y += step)
      stored.insert(stored.end(), pixels.begin() + y * width, pixels.begin() + (y + 1) * width);
  }
  file.push_back(4);
  const Bytes blocks = subBlocks(lzwEncode(stored, 4));
  file.insert(file.end(), blocks.begin(), blocks.end());
  file.push_back(0x3B);
  return file;
}

TEST(Gif, GeneralLayoutsTablesExtensionsAndInterlace) {
  const struct {
    uint16_t width, height;
    int global, local;
    bool interlaced;
  } cases[] = {
      {13, 19, 16, 0, false}, {13, 19, 16, 0, true}, {7, 1, 0, 16, true},
      {9, 2, 2, 16, true},    {9, 9, 4, 0, false},  // indices past a small table read black
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " global " << c.global
                                    << " local " << c.local << (c.interlaced ? " interlaced" : ""));
    const Bytes pixels = noise(c.width * c.height, c.width, 16);
    const Decoded d = decode(
        Kind::Gif, makeGeneralGif(c.width, c.height, c.global, c.local, c.interlaced, pixels));
    ASSERT_EQ(d.status, Status::Ok);
    EXPECT_EQ(d.pixels, pixels);
    const int entries = c.local != 0 ? c.local : c.global, offset = c.local != 0 ? 0 : 100;
    for (int i = 0; i < 256; ++i)
      for (int k = 0; k < 3; ++k)
        ASSERT_EQ(d.desc.palette[i][k], i < entries ? paletteByte(i + offset, k) : 0) << i;
  }
  // Blocks that do not lead to a whole image descriptor and code size.
  const Bytes good = makeGeneralGif(8, 8, 4, 4, false, Bytes(64, 1));
  const size_t comment = 13 + 12, descriptor = comment + 10;
  const struct {
    Bytes file;
    Status status;
  } refused[] = {
      {patched(good, comment, 0x3B, 1), Status::BadFormat},  // the trailer before any image
      {patched(good, descriptor, 0x00, 1), Status::BadFormat},
      {patched(good, comment + 2, 0xFF, 1), Status::Truncated},  // a sub-block past the end
      {resized(good, descriptor + 10 + 11), Status::Truncated},  // the local table cut
      {patched(good, descriptor + 10 + 12, 10, 1), Status::BadFormat},
      {patched(good, descriptor + 10 + 12, 1, 1), Status::BadFormat},
  };
  for (size_t i = 0; i < std::size(refused); ++i)
    EXPECT_EQ(decode(Kind::Gif, refused[i].file).status, refused[i].status) << "case " << i;
}

TEST(Pcx, RunsLiteralsTheirLimitsCornersAndTheRawLayout) {
  const struct {
    Bytes data, pixels;  // on an 8 x 8 picture, the rest raw zeros
  } cases[] = {
      {{0xC5, 0x07, 0x3F, 0xC1, 0xC8}, {7, 7, 7, 7, 7, 63, 200}},  // 200 must be a run
      {{0xC0, 0x09, 0x01, 0x02}, {1, 2}},                          // an empty run
      {{0xCC, 0x05}, Bytes(12, 5)},                                // runs cross rows
      {{0xFF, 0x04, 0xC2, 0x04}, Bytes(64, 4)},                    // 65: the last run is cut
  };
  for (const auto& c : cases) {
    const Bytes data = resized(c.data, c.data.size() + 64 - c.pixels.size());
    const Decoded d = decode(Kind::Pcx, makePcx({}, data));
    ASSERT_EQ(d.status, Status::Ok);
    EXPECT_EQ(d.pixels, resized(c.pixels, 64));
  }

  Bytes pixels(64 * 32);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i / 70 * 37);
  const Decoded d = decode(
      Kind::Pcx, makePcx({.xmin = -10, .ymin = 100, .xmax = 53, .ymax = 131}, pcxEncode(pixels)));
  ASSERT_EQ(d.status, Status::Ok);
  EXPECT_EQ(d.desc.width, 64);
  EXPECT_EQ(d.desc.height, 32);
  EXPECT_EQ(d.pixels, pixels);

  // Raw: pixels from the header on, the palette from the last 768 bytes.
  pixels = noise(256);
  const Decoded raw =
      decode(Kind::Pcx, makePcx({.xmax = 15, .ymax = 15, .encoding = 0, .marker = false}, pixels));
  ASSERT_EQ(raw.status, Status::Ok);
  EXPECT_EQ(raw.pixels, pixels);
  EXPECT_EQ(raw.desc.format, SURFACE_FORMAT_8BPP);
  expectWritersPalette(raw.desc.palette);
}

// One hostile file per rule: refused, with nothing read past the file (the
// sanitizers) or written past the picture (the guard).
TEST(Hardening, FilesThatCannotGiveAWholePictureAreRefused) {
  const Bytes codes = lzwEncode(noise(64 * 64, 5, 4), 2);
  const struct {
    Kind kind;
    Bytes file;
    Status status;
  } cases[] = {
      {Kind::Bmp, resized(makeBmp({}, {}), 54 + 1000), Status::Truncated},        // palette
      {Kind::Bmp, resized(makeBmp({}, {}), 40), Status::Truncated},               // header
      {Kind::Bmp, patched(makeBmp({}, {}), 10, 0xFFFFFFF0u), Status::Truncated},  // far offset
      // Sizes whose products overflow 32 bits.
      {Kind::Bmp, patched(patched(makeBmp({.bits = 16}, {}), 18, 1u << 31), 22, 0x7FFFFFFFu),
       Status::Truncated},
      {Kind::Bmp, makeBmp({.height = 0}, {}), Status::BadSize},
      {Kind::Bmp, makeBmp({.width = 0}, {}), Status::BadSize},
      // Half the codes and no end code; a header cut.
      {Kind::Gif, makeGif(64, 64, 2, subBlocks(resized(codes, codes.size() / 2))),
       Status::Truncated},
      {Kind::Gif, resized(makeGif(8, 8, 2, {}), 791), Status::Truncated},
      {Kind::Gif, makeGif(8, 8, 1, subBlocks({})), Status::BadFormat},
      {Kind::Gif, {'G', 'I'}, Status::NotGif},
      // Runs stopping at the palette; a run's value byte there; raw data short.
      {Kind::Pcx, makePcx({.marker = false}, {0xFF, 4}), Status::Truncated},
      {Kind::Pcx, makePcx({.marker = false}, {0xFF, 4, 0xC1}), Status::Truncated},
      {Kind::Pcx, makePcx({.encoding = 0, .marker = false}, Bytes(63, 1)), Status::Truncated},
      {Kind::Pcx, makePcx({.xmax = 32000, .ymax = 32000}, {0xFF, 1}), Status::Truncated},
      {Kind::Pcx, Bytes(127, 0), Status::Truncated},
      {Kind::Pcx, resized(makePcx({}, {0xFF, 1, 0xC1, 1}), 128 + 767), Status::Truncated},
      {Kind::Pcx, makePcx({.ymin = 5, .ymax = 0}, {}), Status::BadSize},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(decode(cases[i].kind, cases[i].file).status, cases[i].status) << "case " << i;
}

Bytes fixture(const std::string& name) {
  std::ifstream in(std::string(KV_IMAGE_FIXTURES) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// PIL's 8-bit pictures, and the GIFs of today's tools as they come by default
// (ImageMagick: a graphic control extension, a table sized to the colours;
// PIL: interlaced, a comment, an animation; pamtogif), decode to the indices
// and palette PIL gives (of an animation, its first image); ImageMagick's
// 8-bit pictures to the colours it gives.
TEST(Fixtures, OtherToolsPicturesDecodeAsThoseToolsDecodeThem) {
  const struct {
    Kind kind;
    std::string name;
    int width = 45, height = 37;
  } indexed[] = {{Kind::Bmp, "pil8_bmp", 32, 16}, {Kind::Gif, "pil8_gif", 32, 16},
                 {Kind::Pcx, "pil8_pcx", 32, 16}, {Kind::Gif, "pil_interlaced"},
                 {Kind::Gif, "pil_animation"},    {Kind::Gif, "im_gce"},
                 {Kind::Gif, "im_interlaced"},    {Kind::Gif, "pam_interlaced"},
                 {Kind::Gif, "pam_plain"}};
  for (const auto& c : indexed) {
    SCOPED_TRACE(c.name);
    const std::string picture =
        c.name.starts_with("pil8_") ? "pil8." + c.name.substr(5) : c.name + ".gif";
    const Decoded d = decode(c.kind, fixture(picture));
    ASSERT_EQ(d.status, Status::Ok);
    EXPECT_EQ(std::pair(d.desc.width, d.desc.height), std::pair(c.width, c.height));
    EXPECT_EQ(d.pixels, fixture(c.name + ".idx"));
    EXPECT_EQ(Bytes(d.desc.palette[0], d.desc.palette[0] + 768), fixture(c.name + ".pal"));
  }
  for (auto [kind, format] :
       {std::pair(Kind::Bmp, "bmp"), {Kind::Gif, "gif"}, {Kind::Pcx, "pcx"}}) {
    const Decoded im = decode(kind, fixture("im8." + std::string(format)));
    ASSERT_EQ(im.status, Status::Ok) << format;
    Bytes colours;
    for (uint8_t i : im.pixels)
      colours.insert(colours.end(), im.desc.palette[i], im.desc.palette[i] + 3);
    EXPECT_EQ(colours, fixture("im8_" + std::string(format) + ".rgb")) << format;
  }
}

// Loaders run on files in a fresh folder, with a fresh pool and the headless
// host capturing the log.
class Loader : public ::testing::Test {
 protected:
  void SetUp() override {
    kv::headless::install();
    kvResetMemoryForTests();
    ASSERT_EQ(kvSetSystemMemory(4096), 1);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    for (int group = 0; group < KV_SURFACE_GROUPS; ++group) kvFreeSurfaceGroup(group);
    kvSetSurfaceGroup(0);
  }

  std::string write(const std::string& name, const Bytes& bytes) {
    const std::string path = (folder_ / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
  }

  // The log's last line comes from the loader's source with this message; with
  // `alone`, it is the only line.
  static void expectLine(const std::string& message, bool alone = true) {
    const std::string& log = kv::headless::debugCapture();
    const size_t start = alone ? 0 : log.rfind('\n', log.size() - 2) + 1;
    const std::string tag = "kvImage/" + message.substr(0, message.find(':')) + ".cpp(";
    ASSERT_EQ(log.compare(start, tag.size(), tag), 0) << log;
    const size_t at = log.find_first_not_of("0123456789", start + tag.size());
    EXPECT_EQ(log.substr(std::min(at, log.size())), "): " + message);
  }

  // Every block a loader took from the pool went back to it.
  static void expectPoolWhole() {
    void* all = kvAlloc(kvPoolSize - 4);
    EXPECT_NE(all, nullptr) << "a loader left a pool block behind";
    kvFree(all);
  }

  const std::filesystem::path folder_ = std::filesystem::path(testing::TempDir()) / "kv_image";
};

TEST_F(Loader, RefusalsAndFailedBlocksLogOneDesignedLineNamingTheFileAndLeaveThePoolWhole) {
  const Bytes gifCodes = subBlocks(lzwEncode(noise(64 * 64, 1, 4), 2));
  const Bytes bmp16 = makeBmp({.width = 16}, {});
  const Bytes bigBmp = makeBmp({.width = 256, .height = 256}, {});
  const struct {
    int16_t (*load)(const char*, Surface**);
    Bytes file;           // empty: no such file
    std::string message;  // @ stands for the path
    bool alone = true;    // false: kvCreateSurface logs first
    int32_t room = 0;     // > 0: all the pool can give
  } cases[] = {
      {kvLoadBmpEx, patched(makeBmp({}, {}), 1, 'A', 1),
       "kvLoadBmp: @ 파일이 윈도우 비트맵형식이 아닙니다.\n"},
      {kvLoadBmpVFlipEx, patched(makeBmp({}, {}), 30, 1),
       "kvLoadBmpVFlip: 비압축 비트맵만을 읽을수 있습니다.(@)\n"},
      {kvLoadBmpEx, makeBmp({.bits = 24}, {}),
       "kvLoadBmp: 지원하지 않는 컬러 포맷입니다.(@):bpp=24\n"},
      {kvLoadBmpEx, resized(bmp16, bmp16.size() - 1), "kvLoadBmp: 파일이 잘렸습니다.(@)\n"},
      {kvLoadBmpEx, {}, "kvLoadBmp: @ 파일을 열수없습니다.\n"},
      {kvLoadBmpVFlipEx, {}, "kvLoadBmpVFlip: @ 파일을 열수없습니다.\n"},
      {kvLoadGifEx, patched(makeGif(8, 8, 2, subBlocks({})), 0, 'J', 1),
       "kvLoadGif: Gif파일이 아닙니다.(@)\n"},
      {kvLoadGifEx, makeGif(8, 8, 10, subBlocks({})), "kvLoadGif: Format이 이상합니다.(@)\n"},
      {kvLoadGifEx, resized(makeGif(64, 64, 2, gifCodes), 900),
       "kvLoadGif: 파일이 잘렸습니다.(@)\n"},
      {kvLoadGifEx, {}, ""},  // a missing GIF fails silently
      {kvLoadPcxEx, makePcx({.bits = 4}, {}),
       "kvLoadPcx: 지원하지 않는 컬러 포맷입니다.(@):bpp=4\n"},
      {kvLoadPcxEx, makePcx({.xmin = 8, .xmax = 7}, {}),
       "kvLoadPcx: 이미지 크기가 잘못되었습니다.(@)\n"},
      {kvLoadPcxEx, Bytes(500, 0x08), "kvLoadPcx: 파일이 잘렸습니다.(@)\n"},
      {kvLoadPcxEx, {}, "kvLoadPcx: @ 파일을 열수없습니다.\n"},
      // Pictures that decode, but no surface is 30 wide, 512 wide or 512 tall.
      {kvLoadBmpEx, makeBmp({.width = 30}, {}), "kvLoadBmp: surface생성에 실패했습니다.(@)\n",
       false},
      {kvLoadGifEx, makeGif(512, 8, 2, gifCodes), "kvLoadGif: surface생성에 실패했습니다.(@)\n",
       false},
      {kvLoadPcxEx, makePcx({.ymax = 511}, pcxEncode(Bytes(8 * 512, 9))),
       "kvLoadPcx: surface생성에 실패했습니다.(@)\n", false},
      // No room for the pixels (an 8-bit kvLoadBmp names the picture's size),
      // or for the LZW tables.
      {kvLoadBmpEx, bigBmp, "kvLoadBmp: 메모리 할당에 실패했습니다.(@, size(256,256))\n", true,
       60000},
      {kvLoadBmpVFlipEx, bigBmp, "kvLoadBmpVFlip: 메모리 할당에 실패했습니다.(@)\n", true, 60000},
      {kvLoadBmpEx, makeBmp({.width = 128, .height = 256, .bits = 16}, {}),
       "kvLoadBmp: 메모리 할당에 실패했습니다.(@)\n", true, 60000},
      {kvLoadGifEx, makeGif(64, 64, 2, gifCodes), "kvLoadGif: 메모리 할당에 실패했습니다.(@)\n",
       true, 10000},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const std::string path =
        c.file.empty() ? (folder_ / "none").string() : write(std::to_string(++n), c.file);
    std::string message = c.message;
    if (size_t at = message.find('@'); at != std::string::npos) message.replace(at, 1, path);
    kv::headless::clearDebugCapture();
    void* hog = c.room > 0 ? kvAlloc(kvPoolSize - 4 - c.room - 16) : nullptr;
    ASSERT_EQ(hog != nullptr, c.room > 0);
    Surface* out = reinterpret_cast<Surface*>(&out);
    EXPECT_EQ(c.load(path.c_str(), &out), 0);
    EXPECT_EQ(out, nullptr);
    if (message.empty()) {
      EXPECT_EQ(kv::headless::debugCapture(), "");
    } else {
      expectLine(message, c.alone);
    }
    kvFree(hog);
    expectPoolWhole();
  }
}

// Size, format, palette, pixels in the loader's row order, the current group.
// A bitmap is read row by row into its pixel buffer, so the pool needs room
// for the picture and its surface record only, never for the file as well.
TEST_F(Loader, PicturesReachTheirSurfaceWhole) {
  const Bytes rows = noise(256 * 256), words = noise(256 * 256, 2), small = noise(64 * 32);
  const std::string bmp = write("8.bmp", makeBmp({.width = 256, .height = 256}, rows)),
                    bmp16 =
                        write("16.bmp", makeBmp({.width = 128, .height = 256, .bits = 16}, words)),
                    gif = write("p.gif", makeGif(64, 32, 8, subBlocks(lzwEncode(small, 8)))),
                    pcx = write("p.pcx", makePcx({.xmax = 63, .ymax = 31}, pcxEncode(small)));
  const auto bmpEx = [](const char* path) {
    Surface* surface = nullptr;
    return kvLoadBmpEx(path, &surface) == 1 ? surface : nullptr;
  };
  const struct {
    Surface* (*load)(const char*);
    const std::string& path;
    int32_t width, height;
    Bytes pixels;
    bool tight = true;  // loaded with room for the pixels and 2000 bytes only
  } cases[] = {
      {bmpEx, bmp, 256, 256, flipped(rows, 256)},
      {kvLoadBmpVFlip, bmp, 256, 256, rows},
      {kvLoadBmp, bmp16, 128, 256, flipped(words, 256)},
      {kvLoadBmpVFlip, bmp16, 128, 256, words},
      {kvLoadGif, gif, 64, 32, small, false},
      {kvLoadPcx, pcx, 64, 32, small, false},
  };
  kvSetSurfaceGroup(5);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const int32_t room = static_cast<int32_t>(c.pixels.size()) + 2000;
    void* hog = c.tight ? kvAlloc(kvPoolSize - 4 - room - 16) : nullptr;
    ASSERT_EQ(hog != nullptr, c.tight);
    Surface* surface = c.load(c.path.c_str());
    kvFree(hog);
    ASSERT_NE(surface, nullptr) << kv::headless::debugCapture();
    EXPECT_EQ(std::tuple(surface->width, surface->height, surface->group),
              std::tuple(c.width, c.height, 5));
    EXPECT_EQ(surface->format, c.path == bmp16 ? SURFACE_FORMAT_16BPP : SURFACE_FORMAT_8BPP);
    const auto* bytes = static_cast<const uint8_t*>(surface->pixels);
    EXPECT_EQ(Bytes(bytes, bytes + c.pixels.size()), c.pixels);
    if (surface->format == SURFACE_FORMAT_8BPP) expectWritersPalette(surface->palette);
    kvFreeSurfaceGroup(5);
  }
  expectPoolWhole();
}

// Sizes are measured in 64 bits: a file of 4 GiB and a little is not taken
// for the little. A bitmap reads its rows wherever they are; a file the pool
// could never hold whole is refused for its size.
TEST_F(Loader, FilesPast4GiBAreMeasuredWhole) {
  constexpr uint64_t kFourGiB = uint64_t{1} << 32;
  const Bytes rows = noise(64 * 8);
  Bytes bmp = makeBmp({.width = 64}, rows);
  const uint64_t rowsAt = kFourGiB - 100;  // the rows end past 4 GiB
  put(bmp, 10, static_cast<uint32_t>(rowsAt));
  put(bmp, 2, 0);  // no file size: the standard stride
  const std::string far = write("far.bmp", resized(bmp, 54 + 1024));
  std::filesystem::resize_file(far, rowsAt);
  std::ofstream(far, std::ios::binary | std::ios::app)
      .write(reinterpret_cast<const char*>(rows.data()), std::streamsize(rows.size()));
  Surface* surface = kvLoadBmpVFlip(far.c_str());
  ASSERT_NE(surface, nullptr) << kv::headless::debugCapture();
  EXPECT_EQ(Bytes(static_cast<const uint8_t*>(surface->pixels),
                  static_cast<const uint8_t*>(surface->pixels) + rows.size()),
            rows);
  std::filesystem::remove(far);

  const std::string big = write("big.pcx", makePcx({}, Bytes(64, 1)));
  std::filesystem::resize_file(big, kFourGiB + 1000);
  kv::headless::clearDebugCapture();
  EXPECT_EQ(kvLoadPcx(big.c_str()), nullptr);
  expectLine("kvLoadPcx: 메모리 할당에 실패했습니다.(" + big + ")\n");
  std::filesystem::remove(big);
  kvFreeSurfaceGroup(0);
  expectPoolWhole();
}

}  // namespace
