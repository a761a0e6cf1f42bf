#include "kvImage/load.h"

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

  // Pool blocks are not aligned; readers of 16-bit pixels and of the LZW prefix
  // table want their words aligned, so a block may start a few bytes in.
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

// Reads the whole file in one call, as every decoder wants it. Sets `size` to
// the bytes actually read, which is what the decoder checks against.
Status readWhole(const char* path, PoolBlock& block, const uint8_t** data, size_t* size) {
  FILE* file = kvFileOpen(path, "rb");
  if (file == nullptr) return Status::CannotOpen;
  int32_t length = -1;
  if (kvFileSeek(file, 0, SEEK_END) == 1) length = kvFileTell(file);
  if (length < 0 || kvFileSeek(file, 0, SEEK_SET) != 1) {
    kvFileClose(file);
    return Status::CannotOpen;
  }
  // An empty file still gets a block; its decoder then refuses it.
  uint8_t* bytes = block.allocate(length > 0 ? static_cast<uint32_t>(length) : 1);
  if (bytes == nullptr) {
    kvFileClose(file);
    return Status::NoFileMemory;
  }
  *size = kvFileRead(bytes, 1, static_cast<size_t>(length), file);
  *data = bytes;
  kvFileClose(file);
  return Status::Ok;
}

Surface* fail(Outcome* outcome, Status status) {
  outcome->status = status;
  return nullptr;
}

// The steps every format shares around its own `inspect` (which checks the
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
  uint8_t* pixels = pixelBlock.allocate(layout.pixelBytes, alignof(uint16_t));
  if (pixels == nullptr) return fail(outcome, Status::NoPixelMemory);
  ImageDesc desc;
  if (Status decoded = decode(file, size, layout, &desc, pixels); decoded != Status::Ok) {
    return fail(outcome, decoded);
  }
  // The surface system keeps its own copy and may want the file's room for it.
  fileBlock.release();
  desc.group = kvSurfaceGroup;
  Surface* surface = kvCreateSurface(&desc);
  if (surface == nullptr) outcome->status = Status::NoSurface;
  return surface;
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
Surface* load(const char* path, const Caller& caller,
              Status (*inspect)(const uint8_t*, size_t, Layout*, Outcome*), Decode decode) {
  Outcome outcome;
  Surface* surface = decodeFile(path, inspect, decode, &outcome);
  if (surface == nullptr) report(caller, path, outcome);
  return surface;
}

}  // namespace

Surface* loadBmp(const char* path, Rows rows, const Caller& caller) {
  return load(path, caller, bmpInspect,
              [rows](const uint8_t* file, size_t, const BmpLayout& layout, ImageDesc* desc,
                     uint8_t* pixels) {
                bmpDecode(file, layout, rows, desc, pixels);
                return Status::Ok;
              });
}

Surface* loadGif(const char* path, const Caller& caller) {
  return load(path, caller, gifInspect,
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
  return load(path, caller, pcxInspect, pcxDecode);
}

}  // namespace kv::image
