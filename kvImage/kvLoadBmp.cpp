// Windows bitmaps into Surfaces, top row first (the picture as seen).
#include "kvImage/load.h"

namespace {

using kv::image::Outcome;
using kv::image::Status;

void report(const char* path, const Outcome& outcome) {
  switch (outcome.status) {
    case Status::CannotOpen:
      kvDebugPrint("kvLoadBmp: %s 파일을 열수없습니다.\n", path);
      break;
    case Status::NotBitmap:
      kvDebugPrint("kvLoadBmp: %s 파일이 윈도우 비트맵형식이 아닙니다.\n", path);
      break;
    case Status::Compressed:
      kvDebugPrint("kvLoadBmp: 비압축 비트맵만을 읽을수 있습니다.(%s)\n", path);
      break;
    case Status::NoPixelMemory:
      if (outcome.format == SURFACE_FORMAT_8BPP) {
        kvDebugPrint("kvLoadBmp: 메모리 할당에 실패했습니다.(%s, size(%d,%d))\n", path,
                     outcome.width, outcome.height);
        break;
      }
      [[fallthrough]];
    case Status::NoFileMemory:
      kvDebugPrint("kvLoadBmp: 메모리 할당에 실패했습니다.(%s)\n", path);
      break;
    case Status::UnsupportedBits:
      kvDebugPrint("kvLoadBmp: 지원하지 않는 컬러 포맷입니다.(%s):bpp=%d\n", path, outcome.bits);
      break;
    case Status::NoSurface:
      kvDebugPrint("kvLoadBmp: surface생성에 실패했습니다.(%s)\n", path);
      break;
    case Status::BadSize:
      kvDebugPrint("kvLoadBmp: 이미지 크기가 잘못되었습니다.(%s)\n", path);
      break;
    case Status::Truncated:
      kvDebugPrint("kvLoadBmp: 파일이 잘렸습니다.(%s)\n", path);
      break;
    default:  // statuses of the other formats
      break;
  }
}

}  // namespace

Surface* kvLoadBmp(const char* path) {
  Outcome outcome;
  Surface* surface = kv::image::loadBmp(path, kv::image::Rows::TopFirst, &outcome);
  if (surface == nullptr) report(path, outcome);
  return surface;
}

int16_t kvLoadBmpEx(const char* path, Surface** out) {
  *out = kvLoadBmp(path);
  return *out != nullptr ? 1 : 0;
}
