// Pictures written by other tools decode to what those tools decode from them
// (fixtures/make_fixtures.sh made both).
#include <fstream>
#include <iterator>

#include "tests/image/support.h"

namespace {

using namespace imagetest;

Bytes fixture(const std::string& name) {
  std::ifstream in(std::string(KV_IMAGE_FIXTURES) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Decoded decode(const std::string& name) {
  const Bytes file = fixture(name);
  if (name.ends_with(".bmp")) return decodeBmp(file);
  if (name.ends_with(".gif")) return decodeGif(file);
  return decodePcx(file);
}

// PIL's own indices and palette.
TEST(Fixtures, PilPicturesGiveItsIndicesAndPalette) {
  for (const char* format : {"bmp", "gif", "pcx"}) {
    SCOPED_TRACE(format);
    const Decoded d = decode(std::string("pil8.") + format);
    ASSERT_EQ(d.status, Status::Ok);
    EXPECT_EQ(d.desc.width, 32);
    EXPECT_EQ(d.desc.height, 16);
    EXPECT_EQ(d.pixels, fixture(std::string("pil8_") + format + ".idx"));
    const Bytes palette = fixture(std::string("pil8_") + format + ".pal");
    EXPECT_EQ(Bytes(&d.desc.palette[0][0], &d.desc.palette[0][0] + 768), palette);
  }
}

// ImageMagick's own colours, pixel by pixel through the palette.
TEST(Fixtures, ImageMagickPicturesGiveItsColours) {
  for (const char* format : {"bmp", "gif", "pcx"}) {
    SCOPED_TRACE(format);
    const Decoded d = decode(std::string("im8.") + format);
    ASSERT_EQ(d.status, Status::Ok);
    ASSERT_EQ(d.desc.width, 64);
    ASSERT_EQ(d.desc.height, 32);
    const Bytes rgb = fixture(std::string("im8_") + format + ".rgb");
    ASSERT_EQ(rgb.size(), 64u * 32u * 3u);
    Bytes colours;
    for (uint8_t index : d.pixels) colours.insert(colours.end(), d.desc.palette[index], d.desc.palette[index] + 3);
    EXPECT_EQ(colours, rgb);
  }
}

}  // namespace
