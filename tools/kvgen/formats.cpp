#include "formats.h"

#include <cstdio>
#include <cstring>
#include <unordered_map>

namespace kvgen {

namespace {

class Writer {
 public:
  Bytes bytes;

  void u8(uint8_t v) { bytes.push_back(v); }
  void u16(uint16_t v) {
    u8(static_cast<uint8_t>(v));
    u8(static_cast<uint8_t>(v >> 8));
  }
  void u32(uint32_t v) {
    u16(static_cast<uint16_t>(v));
    u16(static_cast<uint16_t>(v >> 16));
  }
  void i16(int16_t v) { u16(static_cast<uint16_t>(v)); }
  void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
  void f32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    u32(bits);
  }
  void vec(const Vec3& v) {
    f32(v.x);
    f32(v.y);
    f32(v.z);
  }
  void zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
  void text(const char* s) { bytes.insert(bytes.end(), s, s + std::strlen(s)); }
};

// LSB-first bit packing into 255-byte GIF sub-blocks.
class GifBits {
 public:
  explicit GifBits(Writer& out) : out_(out) {}

  void put(uint32_t code, int width) {
    accumulator_ |= code << bits_;
    bits_ += width;
    while (bits_ >= 8) {
      block_.push_back(static_cast<uint8_t>(accumulator_));
      accumulator_ >>= 8;
      bits_ -= 8;
      if (block_.size() == 255) flushBlock();
    }
  }
  void finish() {
    if (bits_ > 0) block_.push_back(static_cast<uint8_t>(accumulator_));
    bits_ = 0;
    flushBlock();
    out_.u8(0);  // block terminator
  }

 private:
  void flushBlock() {
    if (block_.empty()) return;
    out_.u8(static_cast<uint8_t>(block_.size()));
    out_.bytes.insert(out_.bytes.end(), block_.begin(), block_.end());
    block_.clear();
  }

  Writer& out_;
  Bytes block_;
  uint32_t accumulator_ = 0;
  int bits_ = 0;
};

}  // namespace

Bytes encodeBmp8(const Image& image) {
  const uint32_t stride = (static_cast<uint32_t>(image.width) + 3u) & ~3u;
  const uint32_t dataOffset = 14 + 40 + 1024;
  const uint32_t fileSize = dataOffset + stride * static_cast<uint32_t>(image.height);
  Writer w;
  w.text("BM");
  w.u32(fileSize);
  w.u32(0);
  w.u32(dataOffset);
  w.u32(40);
  w.i32(image.width);
  w.i32(image.height);  // positive: bottom row first
  w.u16(1);
  w.u16(8);
  w.u32(0);  // uncompressed
  w.u32(stride * static_cast<uint32_t>(image.height));
  w.i32(2835);
  w.i32(2835);
  w.u32(256);
  w.u32(0);
  for (const Rgb& c : image.palette) {
    w.u8(c.b);
    w.u8(c.g);
    w.u8(c.r);
    w.u8(0);
  }
  for (int y = image.height - 1; y >= 0; --y) {
    const uint8_t* row = &image.pixels[static_cast<size_t>(y) * image.width];
    w.bytes.insert(w.bytes.end(), row, row + image.width);
    w.zeros(stride - static_cast<uint32_t>(image.width));
  }
  return w.bytes;
}

Bytes encodePcx8(const Image& image) {
  Writer w;
  w.u8(10);  // manufacturer
  w.u8(5);   // version with a 256-colour palette
  w.u8(1);   // run-length encoded
  w.u8(8);
  w.i16(0);
  w.i16(0);
  w.i16(static_cast<int16_t>(image.width - 1));
  w.i16(static_cast<int16_t>(image.height - 1));
  w.i16(72);
  w.i16(72);
  w.zeros(48);  // 16-colour palette, unused
  w.u8(0);
  w.u8(1);                                   // planes
  w.i16(static_cast<int16_t>(image.width));  // bytes per line (even widths only)
  w.i16(1);                                  // colour palette
  w.zeros(128 - w.bytes.size());
  for (int y = 0; y < image.height; ++y) {
    const uint8_t* row = &image.pixels[static_cast<size_t>(y) * image.width];
    for (int x = 0; x < image.width;) {
      int run = 1;
      while (x + run < image.width && run < 63 && row[x + run] == row[x]) ++run;
      if (run > 1 || row[x] >= 0xC0) w.u8(static_cast<uint8_t>(0xC0 | run));
      w.u8(row[x]);
      x += run;
    }
  }
  w.u8(12);  // palette marker
  for (const Rgb& c : image.palette) {
    w.u8(c.r);
    w.u8(c.g);
    w.u8(c.b);
  }
  return w.bytes;
}

Bytes encodeGif8(const Image& image) {
  Writer w;
  w.text("GIF89a");
  w.u16(static_cast<uint16_t>(image.width));
  w.u16(static_cast<uint16_t>(image.height));
  w.u8(0xF7);  // global table of 256 entries
  w.u8(0);
  w.u8(0);
  for (const Rgb& c : image.palette) {
    w.u8(c.r);
    w.u8(c.g);
    w.u8(c.b);
  }
  // The image follows the colour table directly: no extension blocks.
  w.u8(0x2C);
  w.u16(0);
  w.u16(0);
  w.u16(static_cast<uint16_t>(image.width));
  w.u16(static_cast<uint16_t>(image.height));
  w.u8(0);
  constexpr int kMinCodeSize = 8;
  w.u8(kMinCodeSize);

  constexpr uint32_t kClear = 1u << kMinCodeSize;
  constexpr uint32_t kEnd = kClear + 1;
  // Restart the table well before 4096 codes so every reader stays in step.
  constexpr uint32_t kRestartAt = 4000;
  GifBits bits(w);
  std::unordered_map<uint32_t, uint32_t> table;  // (prefix << 8 | byte) -> code
  int width = kMinCodeSize + 1;
  uint32_t nextCode = kEnd + 1;
  // A reader widens its codes once the code it would define next reaches 2^width.
  auto emit = [&](uint32_t code) {
    bits.put(code, width);
    if (nextCode >= (1u << width) && width < 12) ++width;
  };
  auto restart = [&]() {
    bits.put(kClear, width);
    table.clear();
    width = kMinCodeSize + 1;
    nextCode = kEnd + 1;
  };
  restart();
  uint32_t current = image.pixels.empty() ? 0 : image.pixels[0];
  for (size_t i = 1; i < image.pixels.size(); ++i) {
    const uint8_t byte = image.pixels[i];
    const uint32_t key = current << 8 | byte;
    if (auto found = table.find(key); found != table.end()) {
      current = found->second;
      continue;
    }
    emit(current);
    table.emplace(key, nextCode++);
    if (nextCode >= kRestartAt) restart();
    current = byte;
  }
  if (!image.pixels.empty()) emit(current);
  bits.put(kEnd, width);
  bits.finish();
  w.u8(0x3B);
  return w.bytes;
}

Bytes encodeKvo(const ObjectRec& o) {
  Writer w;
  w.i32(16);  // version 1.0
  w.i32(static_cast<int32_t>(o.images.size()));
  w.i32(static_cast<int32_t>(o.materials.size()));
  w.i32(static_cast<int32_t>(o.vertices.size()));
  w.i32(static_cast<int32_t>(o.faces.size()));
  w.i32(static_cast<int32_t>(o.pivots.size()));
  w.i32(o.shading);
  for (const std::string& name : o.images) {
    char field[128] = {};
    std::snprintf(field, sizeof field, "%s", name.c_str());
    w.bytes.insert(w.bytes.end(), field, field + sizeof field);
  }
  for (const MaterialRec& m : o.materials) {
    for (uint8_t c : m.colour) w.u8(c);
    w.i16(m.image);
    w.u16(m.renderFlags);
    w.i32(m.faceCount);
  }
  for (const Vec3& v : o.vertices) w.vec(v);
  for (const FaceRec& f : o.faces) {
    w.i32(f.cornerCount);
    for (uint16_t index : f.vertex) w.u16(index);
    for (float u : f.u) w.f32(u);
    for (float v : f.v) w.f32(v);
  }
  for (const PivotRec& p : o.pivots) {
    w.vec(p.point);
    w.i16(p.parent);
    w.i16(p.boundVertexCount);
  }
  if (o.shading == 1)
    for (const Vec3& n : o.vertexNormals) w.vec(n);
  if (o.shading == 2)
    for (const Vec3& n : o.faceNormals) w.vec(n);
  if (o.shading == 3 || o.shading == 4)
    w.bytes.insert(w.bytes.end(), o.cornerColours.begin(), o.cornerColours.end());
  return w.bytes;
}

Bytes encodeMot(const MotionRec& motion) {
  Writer w;
  w.i32(motion.header);
  w.i32(static_cast<int32_t>(motion.tracks.size()));
  for (const auto& track : motion.tracks) {
    w.i32(static_cast<int32_t>(track.size()));
    for (const KeyRec& k : track) {
      w.i32(k.time);
      w.vec(k.position);
      w.f32(k.yaw);
      w.f32(k.pitch);
      w.f32(k.roll);
      w.vec(k.scale);
    }
  }
  return w.bytes;
}

bool writeFile(const std::string& path, const Bytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::perror(path.c_str());
    return false;
  }
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0 || !ok) {
    std::fprintf(stderr, "kvgen: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

}  // namespace kvgen
