#include "kvImage/load.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <new>

namespace kv::image {

namespace {

// A pool block that goes back to the pool when the load ends, however it ends.
class PoolBlock {
 public:
  PoolBlock() = default;
  PoolBlock(const PoolBlock&) = delete;
  PoolBlock& operator=(const PoolBlock&) = delete;
  ~PoolBlock() { release(); }

  // Pool blocks are not aligned; the LZW prefix table wants its words aligned,
  // so a block may start a few bytes in. Pixels are bytes to every reader.
  uint8_t* allocate(uint32_t bytes, size_t alignment = 1) {
    release();
    size_t space = size_t{bytes} + alignment - 1;
    if (space > INT32_MAX) return nullptr;
    data_ = kvAlloc(static_cast<int32_t>(space));
    void* start = data_;
    return data_ == nullptr ? nullptr
                            : static_cast<uint8_t*>(std::align(alignment, bytes, start, space));
  }
  void release() {
    kvFree(data_);
    data_ = nullptr;
  }

 private:
  void* data_ = nullptr;
};

// A stream from kvFileOpen, closed when the load ends however it ends.
class OpenFile {
 public:
  explicit OpenFile(const char* path) : file_(kvFileOpen(path, "rb")) {}
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  ~OpenFile() {
    if (file_ != nullptr) kvFileClose(file_);
  }
  FILE* stream() const { return file_; }
  // The whole size: kvFileTell's 32 bits would take a file of 4 GiB and a
  // little for the little. -1 when the stream cannot tell.
  int64_t size() const {
    int64_t bytes = -1;
    return GetFileSizeEx(file_, &bytes) ? bytes : -1;
  }

 private:
  FILE* file_;
};

// A bitmap's rows read where they lie, seeking only where a row does not
// follow the one before it.
class FileBytes final : public ByteSource {
 public:
  FileBytes(FILE* file, uint64_t position) : file_(file), position_(position) {}
  bool read(uint64_t offset, uint8_t* to, size_t bytes) override {
    if (offset != position_ &&
        (offset > INT64_MAX || !SetFilePointerEx(file_, static_cast<int64_t>(offset))))
      return false;
    const bool whole = kvFileRead(to, 1, bytes, file_) == bytes;
    position_ = whole ? offset + bytes : UINT64_MAX;
    return whole;
  }

 private:
  FILE* file_;
  uint64_t position_;
};

Surface* fail(Outcome* outcome, Status status) {
  outcome->status = status;
  return nullptr;
}

// The last step of every load: the surface system keeps its own copy of the
// pixels, so the caller frees its buffer whatever happens.
Surface* makeSurface(ImageDesc* desc, Outcome* outcome) {
  desc->group = kvSurfaceGroup;
  Surface* surface = kvCreateSurface(desc);
  if (surface == nullptr) outcome->status = Status::NoSurface;
  return surface;
}

// GIF and PCX files are read whole into a pool block, as their designs read
// them; sets `size` to the bytes actually read, which the decoder checks against.
Status readWhole(const char* path, PoolBlock& block, const uint8_t** data, size_t* size) {
  OpenFile file(path);
  if (file.stream() == nullptr) return Status::CannotOpen;
  const int64_t length = file.size();
  if (length < 0) return Status::CannotOpen;
  // A file past the pool's 32-bit sizes is refused as the pool would refuse it.
  if (length > INT32_MAX) return Status::NoFileMemory;
  // An empty file still gets a block; its decoder then refuses it.
  uint8_t* bytes = block.allocate(length > 0 ? static_cast<uint32_t>(length) : 1);
  if (bytes == nullptr) return Status::NoFileMemory;
  *size = kvFileRead(bytes, 1, static_cast<size_t>(length), file.stream());
  *data = bytes;
  return Status::Ok;
}

// The steps GIF and PCX share around their own `inspect` (which checks the
// file and sizes the picture) and `decode` (which fills `desc` and the pixels).
template <class Layout, class Decode>
Surface* decodeFile(const char* path, Status (*inspect)(const uint8_t*, size_t, Layout*, Outcome*),
                    Decode decode, Outcome* outcome) {
  PoolBlock fileBlock;
  const uint8_t* file = nullptr;
  size_t size = 0;
  if (Status read = readWhole(path, fileBlock, &file, &size); read != Status::Ok) {
    return fail(outcome, read);
  }
  Layout layout;
  if (inspect(file, size, &layout, outcome) != Status::Ok) return nullptr;

  PoolBlock pixelBlock;
  uint8_t* pixels = pixelBlock.allocate(layout.pixelBytes);
  if (pixels == nullptr) return fail(outcome, Status::NoPixelMemory);
  ImageDesc desc;
  if (Status decoded = decode(file, size, layout, &desc, pixels); decoded != Status::Ok) {
    return fail(outcome, decoded);
  }
  // The surface system may want the file's room for its record.
  fileBlock.release();
  return makeSurface(&desc, outcome);
}

// A bitmap holds only its head in hand and reads its rows into the pixel
// buffer, the one pool block it takes.
Surface* decodeBmp(const char* path, Rows rows, Outcome* outcome) {
  OpenFile file(path);
  if (file.stream() == nullptr) return fail(outcome, Status::CannotOpen);
  const int64_t size = file.size();
  if (size < 0) return fail(outcome, Status::CannotOpen);
  uint8_t head[BMP_HEAD_BYTES];
  const size_t headSize =
      kvFileRead(head, 1, static_cast<size_t>(std::min<int64_t>(size, sizeof head)), file.stream());
  BmpLayout layout;
  if (bmpInspect(head, headSize, static_cast<uint64_t>(size), &layout, outcome) != Status::Ok)
    return nullptr;

  PoolBlock pixelBlock;
  uint8_t* pixels = pixelBlock.allocate(layout.pixelBytes);
  if (pixels == nullptr) return fail(outcome, Status::NoPixelMemory);
  FileBytes source(file.stream(), headSize);
  ImageDesc desc;
  if (Status decoded = bmpDecode(head, source, layout, rows, &desc, pixels); decoded != Status::Ok)
    return fail(outcome, decoded);
  return makeSurface(&desc, outcome);
}

// Logs as the entry point's module would; a macro so the format stays checked.
#define KV_LOG_AS(caller, ...) \
  (kvDebugFile = (caller).file, kvDebugLine = (caller).line, kvDebugPrintLine(__VA_ARGS__))

// One line per refusal, worded alike for every format; a format never meets
// another's statuses.
void report(const Caller& caller, const char* path, const Outcome& outcome) {
  const char* name = caller.name;
  switch (outcome.status) {
    case Status::Ok:
      break;
    case Status::CannotOpen:
      if (!caller.silentIfMissing) KV_LOG_AS(caller, "%s: %s 파일을 열수없습니다.\n", name, path);
      break;
    case Status::NotBitmap:
      KV_LOG_AS(caller, "%s: %s 파일이 윈도우 비트맵형식이 아닙니다.\n", name, path);
      break;
    case Status::Compressed:
      KV_LOG_AS(caller, "%s: 비압축 비트맵만을 읽을수 있습니다.(%s)\n", name, path);
      break;
    case Status::NoPixelMemory:
      if (caller.pixelMemoryWithSize && outcome.format == SURFACE_FORMAT_8BPP) {
        KV_LOG_AS(caller, "%s: 메모리 할당에 실패했습니다.(%s, size(%d,%d))\n", name, path,
                  outcome.width, outcome.height);
        break;
      }
      [[fallthrough]];
    case Status::NoFileMemory:
    case Status::NoTableMemory:
      KV_LOG_AS(caller, "%s: 메모리 할당에 실패했습니다.(%s)\n", name, path);
      break;
    case Status::UnsupportedBits:
      KV_LOG_AS(caller, "%s: 지원하지 않는 컬러 포맷입니다.(%s):bpp=%d\n", name, path,
                outcome.bits);
      break;
    case Status::NotGif:
      KV_LOG_AS(caller, "%s: Gif파일이 아닙니다.(%s)\n", name, path);
      break;
    case Status::BadFormat:
      KV_LOG_AS(caller, "%s: Format이 이상합니다.(%s)\n", name, path);
      break;
    case Status::NoSurface:
      KV_LOG_AS(caller, "%s: surface생성에 실패했습니다.(%s)\n", name, path);
      break;
    case Status::BadSize:
      KV_LOG_AS(caller, "%s: 이미지 크기가 잘못되었습니다.(%s)\n", name, path);
      break;
    case Status::Truncated:
      KV_LOG_AS(caller, "%s: 파일이 잘렸습니다.(%s)\n", name, path);
      break;
  }
}

template <class Layout, class Decode>
Surface* loadWhole(const char* path, const Caller& caller,
                   Status (*inspect)(const uint8_t*, size_t, Layout*, Outcome*), Decode decode) {
  Outcome outcome;
  Surface* surface = decodeFile(path, inspect, decode, &outcome);
  if (surface == nullptr) report(caller, path, outcome);
  return surface;
}

}  // namespace

Surface* loadBmp(const char* path, Rows rows, const Caller& caller) {
  Outcome outcome;
  Surface* surface = decodeBmp(path, rows, &outcome);
  if (surface == nullptr) report(caller, path, outcome);
  return surface;
}

Surface* loadGif(const char* path, const Caller& caller) {
  return loadWhole(path, caller, gifInspect,
                   [](const uint8_t* file, size_t size, const GifLayout& layout, ImageDesc* desc,
                      uint8_t* pixels) {
                     // Only the decode needs the tables; their room is free again for the surface.
                     PoolBlock tableBlock;
                     uint8_t* tables = tableBlock.allocate(sizeof(GifTables), alignof(GifTables));
                     if (tables == nullptr) return Status::NoTableMemory;
                     return gifDecode(file, size, layout, *new (tables) GifTables, desc, pixels);
                   });
}

Surface* loadPcx(const char* path, const Caller& caller) {
  return loadWhole(path, caller, pcxInspect, pcxDecode);
}

}  // namespace kv::image
