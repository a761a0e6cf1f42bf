// kvinfo FILE...: loads each object (.kvo), motion (.mot) or camera path (.cam)
// with the kit's own loaders on a headless host and prints its header and
// counts, or the loader's reason for refusing it. Exit status 1 when any file
// was refused.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "kvKIT.h"
#include "platform/host/headless/headless.h"
#include "platform/win/codepage.h"
#include "platform/win/debug_channel.h"

namespace {

constexpr uint32_t kPoolKiB = 512 * 1024;  // room for any file the kit could draw

const char* const kUsage =
    "usage: kvinfo [--help] FILE...\n"
    "Prints the header and counts of kvKIT object (.kvo), motion (.mot) and\n"
    "camera path (.cam) files, loading each with the kit's own loader. A file\n"
    "the kit refuses is reported with the loader's reason; the exit status is\n"
    "then 1.\n";

// The kit's log since the last call, as UTF-8 lines without the "file(line): " tags.
std::string takeLog() {
  std::string text = kv::win::kitTextToUtf8(kv::headless::debugCapture());
  kv::headless::clearDebugCapture();
  std::string lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    const size_t tag = line.find("): ");
    if (tag != std::string::npos && line.find('(') < tag) line.erase(0, tag + 3);
    lines += "  " + line + "\n";
    start = end + 1;
  }
  return lines;
}

std::string extension(const char* path) {
  const char* dot = std::strrchr(path, '.');
  std::string ext = dot != nullptr ? dot + 1 : "";
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return ext;
}

bool refused(const char* path) {
  std::printf("%s: refused\n%s", path, takeLog().c_str());
  return false;
}

// Names arrive in UTF-8; the kit takes them in its code page (and opens the
// UTF-8 name on disk). Messages print the name as given.
std::string kitName(const char* utf8) { return kv::win::utf8ToKitText(utf8); }

bool showObject(const char* path) {
  // The kit finds the object's images beside it, whichever separator its path uses.
  Model* model = kv3dLoadKVO(kitName(path).c_str());
  if (model == nullptr) return refused(path);
  // The image loaders' reasons for a texture they could not load are kept; the
  // object loader's own note ("Pivot: n") is repeated below.
  std::string reasons;
  std::istringstream lines(takeLog());
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("  Pivot: ", 0) != 0) reasons += line + "\n";
  KVOHeader header{};
  if (std::FILE* file = std::fopen(path, "rb")) {
    if (std::fread(&header, sizeof header, 1, file) != 1) header = KVOHeader{};
    std::fclose(file);
  }
  kv3dPrintKVOHeader(&header);
  std::printf("%s: object\n%s", path, takeLog().c_str());
  int32_t textured = 0;
  for (int32_t i = 0; i < model->materialCount; ++i)
    textured += model->materials[i].texture != nullptr;
  std::printf("  loaded: shading %d, %d of %d materials textured\n", model->shading, textured,
              model->materialCount);
  std::fputs(reasons.c_str(), stdout);
  for (int32_t i = 0; i < model->materialCount; ++i) {
    const Material& m = model->materials[i];
    std::printf("  material %d: %d faces, flags 0x%x, alpha %.0f\n", i, m.faceCount, m.renderFlags,
                m.colour[3]);
  }
  for (uint32_t i = 0; i < model->pivotCount; ++i) {
    const Pivot& p = model->pivots[i];
    std::printf("  pivot %u: parent %ld, %d vertices, at (%g, %g, %g)\n", i,
                p.parent != nullptr ? static_cast<long>(p.parent - model->pivots) : -1L,
                p.boundVertexCount, p.pivotPoint.x, p.pivotPoint.y, p.pivotPoint.z);
  }
  kv3dFreeKVO(model);
  // The textures' pixel copies live on the heap; the next object starts afresh.
  for (int32_t group = 0; group < KV_SURFACE_GROUPS; ++group) kvFreeSurfaceGroup(group);
  for (Surface*& slot : kvImageTable) slot = nullptr;
  return true;
}

void showKeys(const char* label, const Key* keys, int32_t count) {
  if (count <= 0) {
    std::printf("  %s: no keys\n", label);
    return;
  }
  std::printf("  %s: %d keys, frames %u to %u\n", label, count, keys[0].time, keys[count - 1].time);
}

bool showMotion(const char* path) {
  Motion* motion = kv3dLoadMOT(kitName(path).c_str());
  if (motion == nullptr) return refused(path);
  std::printf("%s: motion\n  header value: %d\n  %d tracks\n", path, kv3dMotionHeader(motion),
              motion->trackCount);
  for (int32_t i = 0; i < motion->trackCount; ++i) {
    const std::string label = "track " + std::to_string(i);
    showKeys(label.c_str(), motion->tracks[i].keys, motion->tracks[i].keyCount);
  }
  kv3dFreeMOT(motion);
  return true;
}

bool showCamera(const char* path) {
  CameraPath* camera = kv3dLoadCAM(kitName(path).c_str());
  if (camera == nullptr) return refused(path);
  std::printf("%s: camera path\n", path);
  showKeys("eye", camera->keys[0], camera->keyCount[0]);
  showKeys("carrier", camera->keys[1], camera->keyCount[1]);
  showKeys("target carrier", camera->keys[2], camera->keyCount[2]);
  const Vector& t = camera->targetOffset;
  std::printf("  target offset: (%g, %g, %g)\n", t.x, t.y, t.z);
  kv3dFreeCAM(camera);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  kv::headless::install();
  kv::win::setDebugEcho(false);  // the log is shown per file, below its name
  if (kvSetSystemMemory(kPoolKiB) != 1) {
    std::fprintf(stderr, "kvinfo: cannot reserve the kit's memory pool\n");
    return 2;
  }
  bool allLoaded = true;
  for (int i = 1; i < argc; ++i) {
    const std::string ext = extension(argv[i]);
    bool loaded;
    if (ext == "kvo") {
      loaded = showObject(argv[i]);
    } else if (ext == "mot") {
      loaded = showMotion(argv[i]);
    } else if (ext == "cam") {
      loaded = showCamera(argv[i]);
    } else {
      std::printf("%s: refused\n  not a .kvo, .mot or .cam file\n", argv[i]);
      loaded = false;
    }
    allLoaded = allLoaded && loaded;
  }
  kvReleaseSystemMemory();
  return allLoaded ? 0 : 1;
}
