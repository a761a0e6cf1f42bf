// Reference pictures for whole frames: a frame is halved (each pixel the mean
// of a 2 x 2 block, so files stay small and a single pixel's edge or texel
// choice weighs a quarter) and held to a stored PNG with a tolerance; on a
// mismatch the actual picture and a difference picture are written out.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kvtest {

struct Picture {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> rgb;  // 0x00RRGGBB, top row first
};

// A frame of 0x00RRGGBB little-endian pixels, halved in each direction.
Picture halve(const std::string& frame, int32_t width, int32_t height);

// Reads the PNGs the kit's writer makes and any other 8-bit RGB, non-interlaced one.
bool readPng(const std::filesystem::path& path, Picture& picture, std::string& error);
bool writePng(const std::filesystem::path& path, const Picture& picture, std::string& error);

struct PictureDifference {
  int64_t pixels = 0;         // 0 when the shapes differ
  int64_t overTolerance = 0;  // pixels with a channel off by more than the tolerance
  int maxDelta = 0;
  int worstX = -1, worstY = -1;
  Picture marked;  // the expected picture dimmed, over-tolerance pixels red, others amber
};

PictureDifference comparePictures(const Picture& actual, const Picture& expected, int tolerance);

}  // namespace kvtest
