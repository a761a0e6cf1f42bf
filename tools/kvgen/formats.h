// File writers for the formats the kit reads: KVO objects, MOT motions and
// 8-bit BMP, PCX and GIF images. Little-endian, IEEE floats.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kvgen {

using Bytes = std::vector<uint8_t>;

struct Rgb {
  uint8_t r, g, b;
};

// An 8-bit palette image, top row first.
struct Image {
  int width = 0;
  int height = 0;
  std::array<Rgb, 256> palette{};
  std::vector<uint8_t> pixels;  // width x height indices

  uint8_t& at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
};

struct Vec3 {
  float x, y, z;
};

struct FaceRec {
  int cornerCount;
  uint16_t vertex[4];
  float u[4], v[4];
};

struct MaterialRec {
  uint8_t colour[4];
  int16_t image;  // negative: untextured
  uint16_t renderFlags;
  int32_t faceCount;
};

struct PivotRec {
  Vec3 point;
  int16_t parent;  // negative: none
  int16_t boundVertexCount;
};

// Everything a KVO file holds. The shading data matches the mode: vertex
// normals for 1, face normals for 2, 12 bytes a face for 3, 4 bytes a face for 4
// (both in cornerColours).
struct ObjectRec {
  std::vector<std::string> images;
  std::vector<MaterialRec> materials;
  std::vector<Vec3> vertices;
  std::vector<FaceRec> faces;
  std::vector<PivotRec> pivots;
  int32_t shading = 0;
  std::vector<Vec3> vertexNormals;
  std::vector<Vec3> faceNormals;
  std::vector<uint8_t> cornerColours;
};

struct KeyRec {
  int32_t time;
  Vec3 position;
  float yaw, pitch, roll;  // degrees
  Vec3 scale;
};

struct MotionRec {
  int32_t header = 0;
  std::vector<std::vector<KeyRec>> tracks;
};

Bytes encodeBmp8(const Image& image);
Bytes encodePcx8(const Image& image);
Bytes encodeGif8(const Image& image);
Bytes encodeKvo(const ObjectRec& object);
Bytes encodeMot(const MotionRec& motion);

// Writes bytes to a file; false (with a message on stderr) when it cannot.
bool writeFile(const std::string& path, const Bytes& bytes);

}  // namespace kvgen
