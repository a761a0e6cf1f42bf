// 8-bit PCX files into 8-bit Surfaces.
#include "kvImage/load.h"

namespace {

using kv::image::Outcome;
using kv::image::Status;

void report(const char* path, const Outcome& outcome) {
  switch (outcome.status) {
    case Status::CannotOpen:
      kvDebugPrint("kvLoadPcx: %s 파일을 열수없습니다.\n", path);
      break;
    case Status::NoFileMemory:
    case Status::NoPixelMemory:
      kvDebugPrint("kvLoadPcx: 메모리 할당에 실패했습니다.(%s)\n", path);
      break;
    case Status::UnsupportedBits:
      kvDebugPrint("kvLoadPcx: 지원하지 않는 컬러 포맷입니다.(%s):bpp=%d\n", path, outcome.bits);
      break;
    case Status::NoSurface:
      kvDebugPrint("kvLoadPcx: surface생성에 실패했습니다.(%s)\n", path);
      break;
    case Status::BadSize:
      kvDebugPrint("kvLoadPcx: 이미지 크기가 잘못되었습니다.(%s)\n", path);
      break;
    case Status::Truncated:
      kvDebugPrint("kvLoadPcx: 파일이 잘렸습니다.(%s)\n", path);
      break;
    default:  // statuses of the other formats
      break;
  }
}

}  // namespace

Surface* kvLoadPcx(const char* path) {
  Outcome outcome;
  Surface* surface = kv::image::loadPcx(path, &outcome);
  if (surface == nullptr) report(path, outcome);
  return surface;
}

int16_t kvLoadPcxEx(const char* path, Surface** out) {
  *out = kvLoadPcx(path);
  return *out != nullptr ? 1 : 0;
}
