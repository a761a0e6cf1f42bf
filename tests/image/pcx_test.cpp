// PCX: run bytes, raw data, the palette at the end, and data that runs short or long.
#include "tests/image/support.h"

namespace {

using namespace imagetest;
using imagefiles::makePcx;
using imagefiles::Pcx;

// An 8 x 8 picture from `data`, padded with raw zero pixels up to 64 pixels
// when `pad` is set, so that a test can look at the first few pixels alone.
Decoded small(Bytes data, size_t pad = 0) {
  data.insert(data.end(), pad, 0);
  return decodePcx(makePcx({}, data));
}

Bytes firstPixels(const Decoded& d, size_t n) { return Bytes(d.pixels.begin(), d.pixels.begin() + n); }

TEST(PcxRuns, RunBytesAndLiteralBytes) {
  // Five 7s; a literal 63; one 200, which must be written as a run.
  const Decoded d = small({0xC5, 0x07, 0x3F, 0xC1, 0xC8}, 64 - 7);
  ASSERT_EQ(d.status, Status::Ok);
  EXPECT_EQ(firstPixels(d, 8), (Bytes{7, 7, 7, 7, 7, 63, 200, 0}));
}

TEST(PcxRuns, AZeroLengthRunConsumesItsValueAndWritesNothing) {
  const Decoded d = small({0xC0, 0x09, 0x01, 0x02}, 64 - 2);
  ASSERT_EQ(d.status, Status::Ok);
  EXPECT_EQ(firstPixels(d, 3), (Bytes{1, 2, 0}));
}

TEST(PcxRuns, RunsContinueAcrossScanlines) {
  // One run of 12 covers the first row of 8 and half the second.
  const Decoded d = small({0xCC, 0x05}, 64 - 12);
  ASSERT_EQ(d.status, Status::Ok);
  EXPECT_EQ(firstPixels(d, 13), (Bytes{5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 0}));
}

TEST(PcxRuns, AnEncodedPictureDecodesToItsPixels) {
  Bytes pixels(64 * 32);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i / 70 * 37);
  const Decoded d = decodePcx(makePcx({.xmax = 63, .ymax = 31}, imagefiles::pcxEncode(pixels)));
  ASSERT_EQ(d.status, Status::Ok);
  EXPECT_EQ(d.desc.width, 64);
  EXPECT_EQ(d.desc.height, 32);
  EXPECT_EQ(d.pixels, pixels);
}

TEST(PcxRaw, PixelsFromTheHeaderOnAndThePaletteFromTheEnd) {
  Bytes pixels(256);
  for (int i = 0; i < 256; ++i) pixels[i] = static_cast<uint8_t>(255 - i);
  Bytes file = makePcx({.xmax = 15, .ymax = 15, .encoding = 0}, pixels);
  file.erase(file.begin() + 128 + 256);  // no marker byte: 128 + 256 + 768 bytes
  ASSERT_EQ(file.size(), 128u + 256u + 768u);
  const Decoded d = decodePcx(file);
  ASSERT_EQ(d.status, Status::Ok);
  EXPECT_EQ(d.pixels, pixels);
  EXPECT_EQ(d.desc.format, SURFACE_FORMAT_8BPP);
  for (int i : {0, 77, 255}) {
    EXPECT_EQ(d.desc.palette[i][0], imagefiles::pcxRed(i));
    EXPECT_EQ(d.desc.palette[i][1], imagefiles::pcxGreen(i));
    EXPECT_EQ(d.desc.palette[i][2], imagefiles::pcxBlue(i));
  }
}

TEST(PcxHeader, TheSizeComesFromTheWindowCorners) {
  const Decoded d = decodePcx(makePcx({.xmin = -10, .ymin = 100, .xmax = 53, .ymax = 131},
                                      imagefiles::pcxEncode(Bytes(64 * 32, 3))));
  ASSERT_EQ(d.status, Status::Ok);
  EXPECT_EQ(d.desc.width, 64);
  EXPECT_EQ(d.desc.height, 32);
}

// ---- data that does not fit its picture or its file

TEST(PcxHardening, TheLastRunIsCutAtThePicturesEnd) {
  // 63 + 63 pixels for a 64-pixel picture: the guard bytes after it stay untouched.
  const Decoded d = small({0xFF, 0x04, 0xFF, 0x06});
  ASSERT_EQ(d.status, Status::Ok);
  EXPECT_EQ(d.pixels[62], 4);
  EXPECT_EQ(d.pixels[63], 6);
}

TEST(PcxHardening, DataThatEndsBeforeThePictureIsRefused) {
  // The runs stop at the palette: they never read it as pixels.
  Bytes file = makePcx({}, {0xFF, 0x04});
  file.erase(file.begin() + 130);  // no marker byte
  EXPECT_EQ(decodePcx(file).status, Status::Truncated);
  // A run byte whose value byte would be the palette's.
  file = makePcx({}, {0xFF, 0x04, 0xC1});
  file.erase(file.begin() + 131);
  EXPECT_EQ(decodePcx(file).status, Status::Truncated);
  // Raw data one byte short.
  file = makePcx({.encoding = 0}, Bytes(63, 1));
  file.erase(file.begin() + 128 + 63);
  EXPECT_EQ(decodePcx(file).status, Status::Truncated);
  // A picture no run could fill from the data there is.
  EXPECT_EQ(decodePcx(makePcx({.xmax = 32000, .ymax = 32000}, {0xFF, 1})).status,
            Status::Truncated);
}

TEST(PcxHardening, ShortFilesAndInvertedCornersAreRefused) {
  EXPECT_EQ(decodePcx(Bytes(127, 0)).status, Status::Truncated);
  Bytes noPalette = makePcx({}, {0xFF, 1, 0xC1, 1});
  noPalette.resize(128 + 767);
  EXPECT_EQ(decodePcx(noPalette).status, Status::Truncated);
  EXPECT_EQ(decodePcx(makePcx({.xmin = 8, .xmax = 7}, {})).status, Status::BadSize);
  EXPECT_EQ(decodePcx(makePcx({.ymin = 5, .ymax = 0}, {})).status, Status::BadSize);
}

// ---- the loader and its messages

class PcxLoader : public LoaderTest {};

TEST_F(PcxLoader, RefusalsLogTheirMessage) {
  const std::string four = write("four.pcx", makePcx({.bits = 4}, {}));
  EXPECT_EQ(kvLoadPcx(four.c_str()), nullptr);
  expectOneLine("kvLoadPcx", "kvLoadPcx: 지원하지 않는 컬러 포맷입니다.(" + four + "):bpp=4\n");

  kv::headless::clearDebugCapture();
  const std::string inverted = write("inverted.pcx", makePcx({.xmin = 8, .xmax = 7}, {}));
  EXPECT_EQ(kvLoadPcx(inverted.c_str()), nullptr);
  expectOneLine("kvLoadPcx", "kvLoadPcx: 이미지 크기가 잘못되었습니다.(" + inverted + ")\n");

  kv::headless::clearDebugCapture();
  const std::string cut = write("cut.pcx", Bytes(500, 0x08));
  EXPECT_EQ(kvLoadPcx(cut.c_str()), nullptr);
  expectOneLine("kvLoadPcx", "kvLoadPcx: 파일이 잘렸습니다.(" + cut + ")\n");

  kv::headless::clearDebugCapture();
  Surface* out = reinterpret_cast<Surface*>(&out);
  EXPECT_EQ(kvLoadPcxEx(missing().c_str(), &out), 0);
  EXPECT_EQ(out, nullptr);
  expectOneLine("kvLoadPcx", "kvLoadPcx: " + missing() + " 파일을 열수없습니다.\n");
  expectPoolWhole();
}

TEST_F(PcxLoader, APictureTheSurfaceSystemRefusesEndsInTheSurfaceMessage) {
  const std::string path =
      write("tall.pcx", makePcx({.xmax = 7, .ymax = 511}, imagefiles::pcxEncode(Bytes(8 * 512, 9))));
  EXPECT_EQ(kvLoadPcx(path.c_str()), nullptr);
  const std::string& log = kv::headless::debugCapture();
  EXPECT_NE(log.find("kvLoadPcx: surface생성에 실패했습니다.(" + path + ")\n"), std::string::npos) << log;
  expectPoolWhole();
}

}  // namespace
