// BMP: headers, row order and stride, palette, and files that lie about themselves.
#include "tests/image/support.h"

namespace {

using namespace imagetest;
using imagefiles::Bmp;
using imagefiles::makeBmp;
using kv::image::Rows;

// Row k of the file holds k * 16 + x at column x.
Bytes fileRows(int width, int height) {
  Bytes rows;
  for (int k = 0; k < height; ++k)
    for (int x = 0; x < width; ++x) rows.push_back(static_cast<uint8_t>(k * 16 + x));
  return rows;
}

uint8_t at(const Decoded& d, int row, int x) { return d.pixels[row * d.desc.width + x]; }

// ---- rows, order and stride

TEST(BmpRows, TopFirstPutsTheLastFileRowFirstAndFileOrderKeepsIt) {
  const Bytes file = makeBmp({.width = 64, .height = 64}, fileRows(64, 64));
  const Decoded top = decodeBmp(file, Rows::TopFirst);
  const Decoded order = decodeBmp(file, Rows::FileOrder);
  ASSERT_EQ(top.status, Status::Ok);
  ASSERT_EQ(order.status, Status::Ok);
  EXPECT_EQ(top.desc.width, 64);
  EXPECT_EQ(top.desc.height, 64);
  EXPECT_EQ(top.desc.format, SURFACE_FORMAT_8BPP);
  EXPECT_EQ(at(top, 0, 5), static_cast<uint8_t>(63 * 16 + 5));
  EXPECT_EQ(at(top, 63, 5), 5);
  EXPECT_EQ(at(order, 0, 5), 5);
  EXPECT_EQ(at(order, 63, 5), static_cast<uint8_t>(63 * 16 + 5));
}

TEST(BmpRows, PaddedRowsSkipTheirPadBytes) {
  // 30 pixels in 32-byte rows: two pad bytes after each row never reach the picture.
  const Bytes file = makeBmp({.width = 30, .height = 8}, fileRows(30, 8));
  const Decoded d = decodeBmp(file, Rows::FileOrder);
  ASSERT_EQ(d.status, Status::Ok);
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(at(d, k, 0), k * 16);
    EXPECT_EQ(at(d, k, 29), k * 16 + 29);
  }
  EXPECT_EQ(std::count(d.pixels.begin(), d.pixels.end(), imagefiles::BMP_PAD), 0);
}

TEST(BmpRows, AWiderStrideDeclaredByTheHeaderSizesIsFollowed) {
  const Bytes file = makeBmp({.width = 8, .height = 8, .stride = 20}, fileRows(8, 8));
  const Decoded d = decodeBmp(file, Rows::FileOrder);
  ASSERT_EQ(d.status, Status::Ok);
  for (int k = 0; k < 8; ++k) EXPECT_EQ(at(d, k, 7), k * 16 + 7);
}

TEST(BmpRows, ANegativeHeightReadsLikeThePositiveOne) {
  const Bytes up = makeBmp({.width = 16, .height = 8}, fileRows(16, 8));
  const Bytes down = makeBmp({.width = 16, .height = -8}, fileRows(16, 8));
  const Decoded a = decodeBmp(up);
  const Decoded b = decodeBmp(down);
  ASSERT_EQ(b.status, Status::Ok);
  EXPECT_EQ(b.desc.height, 8);
  EXPECT_EQ(a.pixels, b.pixels);
}

TEST(BmpRows, SixteenBitWordsPassAsStored) {
  Bytes rows;
  for (int k = 0; k < 8; ++k)
    for (int x = 0; x < 8; ++x) {
      const uint16_t word = static_cast<uint16_t>(0xF800 | k << 5 | x);
      rows.push_back(static_cast<uint8_t>(word));
      rows.push_back(static_cast<uint8_t>(word >> 8));
    }
  const Decoded d = decodeBmp(makeBmp({.width = 8, .height = 8, .bits = 16}, rows));
  ASSERT_EQ(d.status, Status::Ok);
  EXPECT_EQ(d.desc.format, SURFACE_FORMAT_16BPP);
  ASSERT_EQ(d.pixels.size(), 8u * 8u * 2u);
  const auto* words = reinterpret_cast<const uint16_t*>(d.pixels.data());
  EXPECT_EQ(words[0], 0xF800 | 7 << 5);       // top row = last file row
  EXPECT_EQ(words[63], 0xF800 | 0 << 5 | 7);  // bottom row = first file row
}

TEST(BmpPalette, EntriesAreReorderedToRedGreenBlue) {
  const Decoded d = decodeBmp(makeBmp({}, fileRows(8, 8)));
  ASSERT_EQ(d.status, Status::Ok);
  for (int i : {0, 10, 200, 255}) {
    EXPECT_EQ(d.desc.palette[i][0], imagefiles::bmpRed(i));
    EXPECT_EQ(d.desc.palette[i][1], imagefiles::bmpGreen(i));
    EXPECT_EQ(d.desc.palette[i][2], imagefiles::bmpBlue(i));
  }
}

// ---- headers that lie

TEST(BmpHardening, AFileSizeOfZeroFallsBackToTheStandardStride) {
  const Bytes file = makeBmp({.width = 30, .height = 8, .declaredSize = 0}, fileRows(30, 8));
  const Decoded d = decodeBmp(file, Rows::FileOrder);
  ASSERT_EQ(d.status, Status::Ok);
  for (int k = 0; k < 8; ++k) EXPECT_EQ(at(d, k, 29), k * 16 + 29);
}

TEST(BmpHardening, AStrideShorterThanARowFallsBackToTheStandardStride) {
  // The declared size gives 1078 + 8 * 4 bytes: 4-byte rows for 16-pixel rows.
  const Bytes file =
      makeBmp({.width = 16, .height = 8, .declaredSize = 1078 + 32}, fileRows(16, 8));
  const Decoded d = decodeBmp(file, Rows::FileOrder);
  ASSERT_EQ(d.status, Status::Ok);
  for (int k = 0; k < 8; ++k) EXPECT_EQ(at(d, k, 15), k * 16 + 15);
}

TEST(BmpHardening, AFileSizePastTheEndFallsBackWhenTheRowsFitTheFile) {
  const Bytes file =
      makeBmp({.width = 16, .height = 8, .declaredSize = 1078 + 8 * 64}, fileRows(16, 8));
  const Decoded d = decodeBmp(file, Rows::FileOrder);
  ASSERT_EQ(d.status, Status::Ok);
  EXPECT_EQ(at(d, 7, 15), 7 * 16 + 15);
}

TEST(BmpHardening, FilesThatCannotHoldTheirPictureAreRefused) {
  Bytes rowsCut = makeBmp({.width = 16, .height = 16}, fileRows(16, 16));
  rowsCut.resize(rowsCut.size() - 1);
  EXPECT_EQ(decodeBmp(rowsCut).status, Status::Truncated);

  Bytes paletteCut = makeBmp({}, fileRows(8, 8));
  paletteCut.resize(54 + 1000);
  EXPECT_EQ(decodeBmp(paletteCut).status, Status::Truncated);

  Bytes headerCut = makeBmp({}, fileRows(8, 8));
  headerCut.resize(40);
  EXPECT_EQ(decodeBmp(headerCut).status, Status::Truncated);

  // Pixel data offset past the file's end.
  Bytes farOffset = makeBmp({}, fileRows(8, 8));
  imagefiles::put32(farOffset, 10, 0xFFFFFFF0u);
  EXPECT_EQ(decodeBmp(farOffset).status, Status::Truncated);

  // Sizes whose products overflow 32 bits.
  Bytes huge = makeBmp({.width = 8, .height = 8, .bits = 16}, {});
  imagefiles::put32(huge, 18, 0x80000000u);
  imagefiles::put32(huge, 22, 0x7FFFFFFFu);
  EXPECT_EQ(decodeBmp(huge).status, Status::Truncated);
}

TEST(BmpHardening, AnEmptyPictureIsRefusedBeforeAnyDivision) {
  EXPECT_EQ(decodeBmp(makeBmp({.width = 8, .height = 0}, {})).status, Status::BadSize);
  EXPECT_EQ(decodeBmp(makeBmp({.width = 0, .height = 8}, {})).status, Status::BadSize);
}

// ---- the loaders and their messages

class BmpLoader : public LoaderTest {};

TEST_F(BmpLoader, RefusalsLogTheirDesignedMessage) {
  Bmp ba;
  ba.magic[1] = 'A';
  const std::string notBitmap = write("ba.bmp", makeBmp(ba, fileRows(8, 8)));
  EXPECT_EQ(kvLoadBmp(notBitmap.c_str()), nullptr);
  expectOneLine("kvLoadBmp", "kvLoadBmp: " + notBitmap + " 파일이 윈도우 비트맵형식이 아닙니다.\n");

  kv::headless::clearDebugCapture();
  const std::string rle = write("rle.bmp", makeBmp({.compression = 1}, fileRows(8, 8)));
  EXPECT_EQ(kvLoadBmpVFlip(rle.c_str()), nullptr);
  expectOneLine("kvLoadBmpVFlip", "kvLoadBmpVFlip: 비압축 비트맵만을 읽을수 있습니다.(" + rle + ")\n");

  kv::headless::clearDebugCapture();
  const std::string deep = write("24.bmp", makeBmp({.bits = 24}, {}));
  EXPECT_EQ(kvLoadBmp(deep.c_str()), nullptr);
  expectOneLine("kvLoadBmp", "kvLoadBmp: 지원하지 않는 컬러 포맷입니다.(" + deep + "):bpp=24\n");

  kv::headless::clearDebugCapture();
  Bytes cut = makeBmp({.width = 16, .height = 16}, fileRows(16, 16));
  cut.resize(cut.size() - 16);
  const std::string truncated = write("cut.bmp", cut);
  EXPECT_EQ(kvLoadBmp(truncated.c_str()), nullptr);
  expectOneLine("kvLoadBmp", "kvLoadBmp: 파일이 잘렸습니다.(" + truncated + ")\n");
  expectPoolWhole();
}

TEST_F(BmpLoader, AMissingFileFailsBothFormsAndNamesTheLoader) {
  const std::string path = missing();
  Surface* out = reinterpret_cast<Surface*>(&out);
  EXPECT_EQ(kvLoadBmpEx(path.c_str(), &out), 0);
  EXPECT_EQ(out, nullptr);
  expectOneLine("kvLoadBmp", "kvLoadBmp: " + path + " 파일을 열수없습니다.\n");

  kv::headless::clearDebugCapture();
  out = reinterpret_cast<Surface*>(&out);
  EXPECT_EQ(kvLoadBmpVFlipEx(path.c_str(), &out), 0);
  EXPECT_EQ(out, nullptr);
  expectOneLine("kvLoadBmpVFlip", "kvLoadBmpVFlip: " + path + " 파일을 열수없습니다.\n");
}

TEST_F(BmpLoader, APictureTheSurfaceSystemRefusesEndsInTheSurfaceMessage) {
  // 30 pixels wide decodes well, but no surface is 30 wide.
  const std::string path = write("30.bmp", makeBmp({.width = 30, .height = 8}, fileRows(30, 8)));
  EXPECT_EQ(kvLoadBmp(path.c_str()), nullptr);
  const std::string& log = kv::headless::debugCapture();
  EXPECT_NE(log.find("kvLoadBmp: surface생성에 실패했습니다.(" + path + ")\n"), std::string::npos)
      << log;
  expectPoolWhole();
}

TEST_F(BmpLoader, APixelBufferThePoolCannotGiveIsReportedWithTheSize) {
  const std::string path = write("big.bmp", makeBmp({.width = 256, .height = 256}, {}));
  // Leave the pool too little room for a second copy of the picture.
  void* hog = kvAlloc(kvPoolSize - 4 - 70000 - 16);
  ASSERT_NE(hog, nullptr);
  EXPECT_EQ(kvLoadBmp(path.c_str()), nullptr);
  expectOneLine("kvLoadBmp", "kvLoadBmp: 메모리 할당에 실패했습니다.(" + path + ", size(256,256))\n");
  kv::headless::clearDebugCapture();
  EXPECT_EQ(kvLoadBmpVFlip(path.c_str()), nullptr);
  expectOneLine("kvLoadBmpVFlip", "kvLoadBmpVFlip: 메모리 할당에 실패했습니다.(" + path + ")\n");
  kvFree(hog);
  expectPoolWhole();
}

}  // namespace
