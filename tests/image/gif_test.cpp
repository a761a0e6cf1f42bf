// GIF: the LZW decoder's codes, table and code widths, and streams that end or
// run on where they should not.
#include <random>

#include "tests/image/support.h"

namespace {

using namespace imagetest;
using imagefiles::lzwEncode;
using imagefiles::makeGif;
using imagefiles::packCodes;
using imagefiles::subBlocks;

// With minimum code size 2: roots 0..3, clear 4, end 5, first free code 6;
// codes are 3 bits wide, and 4 bits from the code that defines code 7 on.
constexpr int CLEAR = 4;
constexpr int END = 5;

Decoded gif2(uint16_t width, uint16_t height, const std::vector<std::pair<int, int>>& codes) {
  return decodeGif(makeGif(width, height, 2, subBlocks(packCodes(codes))));
}

Bytes firstPixels(const Decoded& d, size_t n) { return Bytes(d.pixels.begin(), d.pixels.begin() + n); }

// ---- codes

TEST(GifCodes, AClearedRunOfOneColourFillsTheFirstPixels) {
  const Decoded d = gif2(8, 8, {{CLEAR, 3}, {2, 3}, {2, 3}, {6, 3}, {END, 4}});
  ASSERT_EQ(d.status, Status::Ok);
  EXPECT_EQ(firstPixels(d, 5), (Bytes{2, 2, 2, 2, 0}));
  // An early end code leaves the rest of the picture at index 0, not at
  // whatever the buffer held.
  EXPECT_EQ(std::count(d.pixels.begin(), d.pixels.end(), 0), 64 - 4);
}

TEST(GifCodes, TheCodeBeingDefinedIsThePreviousStringPlusItsFirstByte) {
  // 1, then 6 before 6 exists: "1" + "1"; then 7 before it exists: "11" + "1".
  const Decoded d = gif2(8, 8, {{CLEAR, 3}, {1, 3}, {6, 3}, {7, 3}, {END, 4}});
  ASSERT_EQ(d.status, Status::Ok);
  EXPECT_EQ(firstPixels(d, 7), (Bytes{1, 1, 1, 1, 1, 1, 0}));
}

TEST(GifCodes, RepeatedClearsAreSkippedAndResetTheTable) {
  const Decoded d = gif2(8, 8,
                         {{CLEAR, 3}, {CLEAR, 3}, {3, 3}, {1, 3}, {6, 3},  // 3 1 31
                          {CLEAR, 4}, {CLEAR, 3}, {2, 3}, {6, 3}, {END, 3}});  // 2 22
  ASSERT_EQ(d.status, Status::Ok);
  EXPECT_EQ(firstPixels(d, 8), (Bytes{3, 1, 3, 1, 2, 2, 2, 0}));
}

TEST(GifCodes, AClearFollowedByTheEndCodeEndsThePicture) {
  const Decoded d = gif2(8, 8, {{CLEAR, 3}, {1, 3}, {CLEAR, 3}, {END, 3}, {3, 3}});
  ASSERT_EQ(d.status, Status::Ok);
  EXPECT_EQ(firstPixels(d, 2), (Bytes{1, 0}));
}

TEST(GifCodes, AStreamWithoutALeadingClearStartsAsThoughItHadOne) {
  // The first code defines nothing, so code 6 is then "3" + "3".
  const Decoded d = gif2(8, 8, {{3, 3}, {3, 3}, {6, 3}, {END, 4}});
  ASSERT_EQ(d.status, Status::Ok);
  EXPECT_EQ(firstPixels(d, 5), (Bytes{3, 3, 3, 3, 0}));
}

TEST(GifCodes, ACodeBeyondTheOneBeingDefinedIsRefused) {
  EXPECT_EQ(gif2(8, 8, {{CLEAR, 3}, {1, 3}, {7, 3}, {END, 3}}).status, Status::BadFormat);
}

// ---- whole pictures through an independent encoder

Bytes noise(size_t n, uint32_t seed, int colours) {
  std::mt19937 random(seed);
  Bytes pixels(n);
  for (auto& p : pixels) p = static_cast<uint8_t>(random() % colours);
  return pixels;
}

TEST(GifPictures, EveryMinimumCodeSizeFromTwoToNineRoundTrips) {
  for (int m = 2; m <= 9; ++m) {
    const Bytes pixels = noise(64 * 64, 7u + m, std::min(1 << m, 256));
    const Decoded d = decodeGif(makeGif(64, 64, static_cast<uint8_t>(m), subBlocks(lzwEncode(pixels, m))));
    ASSERT_EQ(d.status, Status::Ok) << "minimum code size " << m;
    EXPECT_EQ(d.pixels, pixels) << "minimum code size " << m;
  }
}

TEST(GifPictures, AFullTableWithoutAClearKeepsDecodingWithTwelveBitCodes) {
  // Noise over 256 colours defines all 4096 codes long before the end.
  const Bytes pixels = noise(256 * 128, 11, 256);
  const Decoded d = decodeGif(makeGif(256, 128, 8, subBlocks(lzwEncode(pixels, 8))));
  ASSERT_EQ(d.status, Status::Ok);
  EXPECT_EQ(d.pixels, pixels);
}

TEST(GifPictures, TheSizeAndPaletteComeFromTheFixedLayout) {
  const Bytes pixels = noise(64 * 32, 3, 16);
  const Decoded d = decodeGif(makeGif(64, 32, 4, subBlocks(lzwEncode(pixels, 4), 17)));
  ASSERT_EQ(d.status, Status::Ok);
  EXPECT_EQ(d.desc.width, 64);
  EXPECT_EQ(d.desc.height, 32);
  EXPECT_EQ(d.desc.format, SURFACE_FORMAT_8BPP);
  for (int i : {0, 1, 128, 255}) {
    EXPECT_EQ(d.desc.palette[i][0], imagefiles::gifRed(i));
    EXPECT_EQ(d.desc.palette[i][1], imagefiles::gifGreen(i));
    EXPECT_EQ(d.desc.palette[i][2], imagefiles::gifBlue(i));
  }
  EXPECT_EQ(d.pixels, pixels);
}

// ---- streams that do not fit their picture or their file

TEST(GifHardening, AStreamLongerThanThePictureIsCutAtItsEnd) {
  const Bytes pixels = noise(64 * 64, 5, 4);
  const Decoded d = decodeGif(makeGif(16, 16, 2, subBlocks(lzwEncode(pixels, 2))));
  ASSERT_EQ(d.status, Status::Ok);  // the guard bytes after 256 pixels stay untouched
  EXPECT_EQ(d.pixels, Bytes(pixels.begin(), pixels.begin() + 256));
}

TEST(GifHardening, AStreamThatEndsBeforeThePictureIsRefused) {
  const Bytes pixels = noise(64 * 64, 5, 4);
  Bytes codes = lzwEncode(pixels, 2);
  codes.resize(codes.size() / 2);  // no end code, and half the pixels
  EXPECT_EQ(decodeGif(makeGif(64, 64, 2, subBlocks(codes))).status, Status::Truncated);

  // Sub-blocks cut off by the end of the file.
  Bytes cut = makeGif(64, 64, 2, subBlocks(lzwEncode(pixels, 2)));
  cut.resize(900);
  EXPECT_EQ(decodeGif(cut).status, Status::Truncated);

  // A sub-block length past the end.
  Bytes lying = makeGif(8, 8, 2, {200, 1, 2, 3});
  lying.pop_back();  // the trailer
  EXPECT_EQ(decodeGif(lying).status, Status::Truncated);
}

TEST(GifHardening, CodeSizesOutsideTwoToNineAndShortHeadersAreRefused) {
  EXPECT_EQ(decodeGif(makeGif(8, 8, 1, subBlocks({}))).status, Status::BadFormat);
  EXPECT_EQ(decodeGif(makeGif(8, 8, 10, subBlocks({}))).status, Status::BadFormat);
  Bytes shortHeader = makeGif(8, 8, 2, {});
  shortHeader.resize(791);
  EXPECT_EQ(decodeGif(shortHeader).status, Status::Truncated);
  EXPECT_EQ(decodeGif({'G', 'I'}).status, Status::NotGif);
}

// ---- the loader and its messages

class GifLoader : public LoaderTest {};

TEST_F(GifLoader, RefusalsLogTheirDesignedMessage) {
  Bytes notGif = makeGif(8, 8, 2, subBlocks({}));
  notGif[0] = 'J';
  const std::string a = write("not.gif", notGif);
  EXPECT_EQ(kvLoadGif(a.c_str()), nullptr);
  expectOneLine("kvLoadGif", "kvLoadGif: Gif파일이 아닙니다.(" + a + ")\n");

  kv::headless::clearDebugCapture();
  const std::string b = write("m10.gif", makeGif(8, 8, 10, subBlocks({})));
  EXPECT_EQ(kvLoadGif(b.c_str()), nullptr);
  expectOneLine("kvLoadGif", "kvLoadGif: Format이 이상합니다.(" + b + ")\n");

  kv::headless::clearDebugCapture();
  Bytes cut = makeGif(64, 64, 2, subBlocks(lzwEncode(noise(64 * 64, 1, 4), 2)));
  cut.resize(cut.size() - 40);
  const std::string c = write("cut.gif", cut);
  EXPECT_EQ(kvLoadGif(c.c_str()), nullptr);
  expectOneLine("kvLoadGif", "kvLoadGif: 파일이 잘렸습니다.(" + c + ")\n");
  expectPoolWhole();
}

TEST_F(GifLoader, AMissingFileFailsSilently) {
  Surface* out = reinterpret_cast<Surface*>(&out);
  EXPECT_EQ(kvLoadGifEx(missing().c_str(), &out), 0);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(kv::headless::debugCapture(), "");
}

TEST_F(GifLoader, APictureTheSurfaceSystemRefusesEndsInTheSurfaceMessage) {
  const std::string path = write("wide.gif", makeGif(512, 8, 2, subBlocks(lzwEncode(noise(4096, 2, 4), 2))));
  EXPECT_EQ(kvLoadGif(path.c_str()), nullptr);
  const std::string& log = kv::headless::debugCapture();
  EXPECT_NE(log.find("kvLoadGif: surface생성에 실패했습니다.(" + path + ")\n"), std::string::npos) << log;
  expectPoolWhole();
}

}  // namespace
