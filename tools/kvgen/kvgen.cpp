// kvgen DIR: writes the demonstration's data files into DIR, the same bytes
// on every run. File names are UTF-8 on disk.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "scene.h"

namespace {

void usage(std::FILE* out) {
  std::fprintf(out,
               "Usage: kvgen DIR\n"
               "Writes the kvKIT demonstration's data into DIR (created if missing):\n"
               "  바닥.kvo     the floor, a lit grid of two materials\n"
               "  깡통.kvo     the can: body, lid, arms and legs on pivots\n"
               "  점프.mot, 꾸기기.mot, 춤자세.mot   hop, squash and dance, 32 frames\n"
               "  map2a.bmp .. map2d.bmp   the four floor patterns\n"
               "  tile.gif, label.pcx      the floor cells and the can's label\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    usage(stdout);
    return 0;
  }
  if (argc != 2) {
    usage(stderr);
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path dir = argv[1];
  std::error_code error;
  fs::create_directories(dir, error);
  if (error) {
    std::fprintf(stderr, "kvgen: cannot create %s: %s\n", argv[1], error.message().c_str());
    return 1;
  }
  using namespace kvgen;
  auto put = [&](const char* name, const Bytes& bytes) {
    return writeFile((dir / name).string(), bytes);
  };
  const char* patterns[] = {"map2a.bmp", "map2b.bmp", "map2c.bmp", "map2d.bmp"};
  bool ok = true;
  for (int i = 0; i < 4; ++i) ok = put(patterns[i], encodeBmp8(floorPattern(i))) && ok;
  ok = put("tile.gif", encodeGif8(floorTile())) && ok;
  ok = put("label.pcx", encodePcx8(canLabel())) && ok;
  ok = put("바닥.kvo", encodeKvo(makeFloor())) && ok;
  ok = put("점프.mot", encodeMot(makeJump())) && ok;
  ok = put("꾸기기.mot", encodeMot(makeSquash())) && ok;
  ok = put("춤자세.mot", encodeMot(makeDance())) && ok;
  // Last: the launcher takes a folder holding the can as a complete data folder.
  ok = put("깡통.kvo", encodeKvo(makeCan())) && ok;
  return ok ? 0 : 1;
}
