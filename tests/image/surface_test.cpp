// Loaded pictures reach their Surface whole: size, format, palette, pixels in
// the loader's row order, and the current surface group.
#include <cstring>

#include "tests/image/support.h"

namespace {

using namespace imagetest;

class LoadedSurface : public LoaderTest {
 protected:
  void TearDown() override {
    for (int group = 0; group < KV_SURFACE_GROUPS; ++group) kvFreeSurfaceGroup(group);
    kvSetSurfaceGroup(0);
  }

  static Bytes pixelsOf(const Surface* surface) {
    const auto* bytes = static_cast<const uint8_t*>(surface->pixels);
    const size_t size = static_cast<size_t>(surface->width) * surface->height *
                        (surface->format == SURFACE_FORMAT_8BPP ? 1 : 2);
    return Bytes(bytes, bytes + size);
  }
};

// 64 x 32 pixels, each row k filled with k * 3 + x % 5.
Bytes rowsOf64x32() {
  Bytes rows;
  for (int k = 0; k < 32; ++k)
    for (int x = 0; x < 64; ++x) rows.push_back(static_cast<uint8_t>(k * 3 + x % 5));
  return rows;
}

Bytes flipped(const Bytes& rows, size_t rowBytes) {
  Bytes out;
  for (size_t at = rows.size(); at > 0; at -= rowBytes)
    out.insert(out.end(), rows.begin() + (at - rowBytes), rows.begin() + at);
  return out;
}

TEST_F(LoadedSurface, BitmapsKeepTheirLoadersRowOrderAndPalette) {
  const Bytes rows = rowsOf64x32();
  const std::string path = write("rows.bmp", imagefiles::makeBmp({.width = 64, .height = 32}, rows));

  Surface* top = nullptr;
  ASSERT_EQ(kvLoadBmpEx(path.c_str(), &top), 1);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->width, 64);
  EXPECT_EQ(top->height, 32);
  EXPECT_EQ(top->format, SURFACE_FORMAT_8BPP);
  EXPECT_EQ(pixelsOf(top), flipped(rows, 64));
  EXPECT_EQ(top->palette[9][0], imagefiles::bmpRed(9));
  EXPECT_EQ(top->palette[9][2], imagefiles::bmpBlue(9));

  Surface* fileOrder = kvLoadBmpVFlip(path.c_str());
  ASSERT_NE(fileOrder, nullptr);
  EXPECT_EQ(pixelsOf(fileOrder), rows);
}

TEST_F(LoadedSurface, SixteenBitBitmapsGiveSixteenBitSurfaces) {
  Bytes rows(8 * 8 * 2);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint8_t>(i * 7);
  const std::string path = write("565.bmp", imagefiles::makeBmp({.width = 8, .height = 8, .bits = 16}, rows));
  Surface* surface = kvLoadBmpVFlip(path.c_str());
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(surface->format, SURFACE_FORMAT_16BPP);
  EXPECT_EQ(pixelsOf(surface), rows);
}

TEST_F(LoadedSurface, GifAndPcxPicturesArriveWithTheirPalettes) {
  const Bytes pixels = rowsOf64x32();
  const std::string gif = write(
      "p.gif", imagefiles::makeGif(64, 32, 8, imagefiles::subBlocks(imagefiles::lzwEncode(pixels, 8))));
  const std::string pcx = write("p.pcx", imagefiles::makePcx({.xmax = 63, .ymax = 31}, imagefiles::pcxEncode(pixels)));

  Surface* fromGif = nullptr;
  ASSERT_EQ(kvLoadGifEx(gif.c_str(), &fromGif), 1);
  EXPECT_EQ(pixelsOf(fromGif), pixels);
  EXPECT_EQ(fromGif->palette[200][1], imagefiles::gifGreen(200));

  Surface* fromPcx = nullptr;
  ASSERT_EQ(kvLoadPcxEx(pcx.c_str(), &fromPcx), 1);
  EXPECT_EQ(fromPcx->width, 64);
  EXPECT_EQ(fromPcx->height, 32);
  EXPECT_EQ(pixelsOf(fromPcx), pixels);
  EXPECT_EQ(fromPcx->palette[200][0], imagefiles::pcxRed(200));
}

TEST_F(LoadedSurface, PicturesGoToTheCurrentGroupAndLeaveNothingElseInThePool) {
  const std::string path = write("g.pcx", imagefiles::makePcx({}, imagefiles::pcxEncode(Bytes(64, 1))));
  kvSetSurfaceGroup(5);
  Surface* surface = kvLoadPcx(path.c_str());
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(surface->group, 5);
  kvFreeSurfaceGroup(5);
  expectPoolWhole();
}

}  // namespace
