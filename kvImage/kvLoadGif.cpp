// GIF files of the kit's fixed layout into 8-bit Surfaces.
#include "kvImage/load.h"

namespace {

using kv::image::Outcome;
using kv::image::Status;

void report(const char* path, const Outcome& outcome) {
  switch (outcome.status) {
    case Status::CannotOpen:
      break;  // a missing file is the caller's to report
    case Status::NotGif:
      kvDebugPrint("kvLoadGif: Gif파일이 아닙니다.(%s)\n", path);
      break;
    case Status::NoFileMemory:
    case Status::NoPixelMemory:
    case Status::NoTableMemory:
      kvDebugPrint("kvLoadGif: 메모리 할당에 실패했습니다.(%s)\n", path);
      break;
    case Status::BadFormat:
      kvDebugPrint("kvLoadGif: Format이 이상합니다.(%s)\n", path);
      break;
    case Status::NoSurface:
      kvDebugPrint("kvLoadGif: surface생성에 실패했습니다.(%s)\n", path);
      break;
    case Status::Truncated:
      kvDebugPrint("kvLoadGif: 파일이 잘렸습니다.(%s)\n", path);
      break;
    default:  // statuses of the other formats
      break;
  }
}

}  // namespace

Surface* kvLoadGif(const char* path) {
  Outcome outcome;
  Surface* surface = kv::image::loadGif(path, &outcome);
  if (surface == nullptr) report(path, outcome);
  return surface;
}

int16_t kvLoadGifEx(const char* path, Surface** out) {
  *out = kvLoadGif(path);
  return *out != nullptr ? 1 : 0;
}
