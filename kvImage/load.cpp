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
    return data_ == nullptr
               ? nullptr
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

// Hands the decoded picture to the surface system, which keeps its own copy.
Surface* createSurface(ImageDesc& desc, Outcome* outcome) {
  desc.group = kvSurfaceGroup;
  Surface* surface = kvCreateSurface(&desc);
  if (surface == nullptr) outcome->status = Status::NoSurface;
  return surface;
}

Surface* fail(Outcome* outcome, Status status) {
  outcome->status = status;
  return nullptr;
}

}  // namespace

Surface* loadBmp(const char* path, Rows rows, Outcome* outcome) {
  PoolBlock fileBlock;
  const uint8_t* file = nullptr;
  size_t size = 0;
  if (Status read = readWhole(path, fileBlock, &file, &size); read != Status::Ok) {
    return fail(outcome, read);
  }
  BmpLayout layout;
  if (bmpInspect(file, size, &layout, outcome) != Status::Ok) return nullptr;

  PoolBlock pixelBlock;
  uint8_t* pixels = pixelBlock.allocate(layout.pixelBytes, alignof(uint16_t));
  if (pixels == nullptr) return fail(outcome, Status::NoPixelMemory);
  ImageDesc desc;
  bmpDecode(file, layout, rows, &desc, pixels);
  fileBlock.release();
  return createSurface(desc, outcome);
}

Surface* loadGif(const char* path, Outcome* outcome) {
  PoolBlock fileBlock;
  const uint8_t* file = nullptr;
  size_t size = 0;
  if (Status read = readWhole(path, fileBlock, &file, &size); read != Status::Ok) {
    return fail(outcome, read);
  }
  GifLayout layout;
  if (gifInspect(file, size, &layout, outcome) != Status::Ok) return nullptr;

  PoolBlock pixelBlock;
  uint8_t* pixels = pixelBlock.allocate(layout.pixelBytes, alignof(uint16_t));
  if (pixels == nullptr) return fail(outcome, Status::NoPixelMemory);
  PoolBlock tableBlock;
  uint8_t* tableBytes = tableBlock.allocate(sizeof(GifTables), alignof(GifTables));
  if (tableBytes == nullptr) return fail(outcome, Status::NoTableMemory);
  auto* tables = new (tableBytes) GifTables;

  ImageDesc desc;
  if (Status decoded = gifDecode(file, size, layout, *tables, &desc, pixels);
      decoded != Status::Ok) {
    return fail(outcome, decoded);
  }
  tableBlock.release();
  fileBlock.release();
  return createSurface(desc, outcome);
}

Surface* loadPcx(const char* path, Outcome* outcome) {
  PoolBlock fileBlock;
  const uint8_t* file = nullptr;
  size_t size = 0;
  if (Status read = readWhole(path, fileBlock, &file, &size); read != Status::Ok) {
    return fail(outcome, read);
  }
  PcxLayout layout;
  if (pcxInspect(file, size, &layout, outcome) != Status::Ok) return nullptr;

  PoolBlock pixelBlock;
  uint8_t* pixels = pixelBlock.allocate(layout.pixelBytes, alignof(uint16_t));
  if (pixels == nullptr) return fail(outcome, Status::NoPixelMemory);
  ImageDesc desc;
  if (Status decoded = pcxDecode(file, size, layout, &desc, pixels); decoded != Status::Ok) {
    return fail(outcome, decoded);
  }
  fileBlock.release();
  return createSurface(desc, outcome);
}

}  // namespace kv::image
