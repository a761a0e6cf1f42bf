// Bounded reading for the 3D library's loaders: every count a file declares is
// checked against the bytes the file really has before anything is allocated
// or read, so a short or lying file is refused instead of trusted.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "kvKIT.h"

namespace kv3d {

class FileReader {
 public:
  // Opens path for binary reading; isOpen() tells whether that worked.
  explicit FileReader(const char* path) : file_(kvFileOpen(path, "rb")) {
    // The whole size, past kvFileTell's 32 bits: a file of 4 GiB and a little
    // is not measured as the little.
    if (file_ != nullptr && !GetFileSizeEx(file_, &remaining_)) remaining_ = 0;
  }
  ~FileReader() {
    if (file_ != nullptr) kvFileClose(file_);
  }
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  bool isOpen() const { return file_ != nullptr; }
  // Bytes left between the read position and the end of the file.
  int64_t remaining() const { return remaining_; }
  bool has(int64_t count, int64_t itemSize) const {
    return count >= 0 && itemSize > 0 && count <= remaining_ / itemSize;
  }

  bool read(void* destination, int64_t bytes) {
    if (bytes < 0 || bytes > remaining_) return false;
    if (bytes == 0) return true;
    if (kvFileRead(destination, 1, static_cast<size_t>(bytes), file_) !=
        static_cast<size_t>(bytes)) {
      remaining_ = 0;
      return false;
    }
    remaining_ -= bytes;
    return true;
  }
  template <typename T>
  bool readValue(T* value) {
    return read(value, sizeof(T));
  }

  bool seek(int64_t offset, int64_t fileSize) {
    if (offset < 0 || offset > fileSize || !SetFilePointerEx(file_, offset)) return false;
    remaining_ = fileSize - offset;
    return true;
  }

 private:
  FILE* file_;
  int64_t remaining_ = 0;
};

// The 40-byte key of the motion and camera files, converted: angles from degrees
// to the kit's units (trunc(degrees x 4096 / 360), saturating on wild values).
// False when the file ends first or a value is not a finite number.
bool readKey(FileReader& reader, Key* key, bool* finite);

// Reads a track's `count` keys for `loader` ("kv3dLoadMOT"), refusing with one
// line naming the file, the track and the key a key the spline cannot use: a
// value that is not a finite number, or a time before the previous key's (the
// spline divides by the gaps between times). Repeated times are sound.
bool readTrack(FileReader& reader, Key* keys, int32_t count, const char* loader, const char* path,
               int32_t track);

}  // namespace kv3d
