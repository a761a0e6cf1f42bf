// A small PNG writer for captured frames (8-bit RGB, no interlace).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv::host {

// Encodes width x height pixels of 0x00RRGGBB (row 0 first) as a PNG file image.
// Returns false (with a reason) for a size of 0 or one PNG cannot hold.
bool encodePng(const uint32_t* rgb, int32_t width, int32_t height, std::vector<uint8_t>& png,
               std::string& error);
bool writePng(const std::string& path, const uint32_t* rgb, int32_t width, int32_t height,
              std::string& error);

}  // namespace kv::host
