// kvsoak: the demonstration's long runs on the headless host's virtual clock,
// each in a child process of its own (the kit starts once per process) in a
// fresh copy of the data. kUsage says what each run checks. Exit status 0 when
// every check held, 1 when one failed, 2 on a usage error.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "demo/Kvmain.h"
#include "kvSys/Memory.h"
#include "platform/ddraw/ddraw_testing.h"
#include "platform/gl/hardware_device.h"
#include "platform/host/headless/headless.h"
#include "platform/win/debug_channel.h"

namespace {

namespace fs = std::filesystem;

const char* const kUsage =
    "usage: kvsoak run [--iterations N] [--every K]\n"
    "       kvsoak f3 [--switches N] [--gl]\n"
    "Long runs of the demonstration on the headless host's virtual clock.\n"
    "  run  N loop iterations (default 100000), the resident set sampled every K\n"
    "       (default 1000); fails when it grew over the last 90% of the run.\n"
    "  f3   N device switches with F3 (default 1000) through every listed device;\n"
    "       fails unless the run ends cleanly, its kvKIT.vid is taken up by the next\n"
    "       start, and every surface, object, pool byte and reference count is back.\n"
    "       --gl lists the OpenGL device too, where a context can be made.\n";

// A fresh copy of the data (no kvKIT.vid of an earlier run), removed at exit.
class DataCopy {
 public:
  DataCopy() : dir_(fs::temp_directory_path() / ("kvsoak_" + std::to_string(::getpid()))) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (const auto& entry : fs::directory_iterator(KV_DEMO_DATA))
      if (entry.path().filename() != "kvKIT.vid")
        fs::copy_file(entry.path(), dir_ / entry.path().filename());
  }
  ~DataCopy() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  const fs::path& dir() const { return dir_; }

 private:
  fs::path dir_;
};

// Runs `body` in a child in `dir`; its exit status (128 + signal when killed).
template <class Body>
int inChild(const fs::path& dir, Body body) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(dir.c_str()) != 0) _exit(2);
    kv::win::setDebugEcho(false);
    const int status = body();
    std::fflush(nullptr);
    // exit, not _exit: the leak checker reports at exit.
    std::exit(status);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The kit's entry, as the launcher's main runs it.
bool runKit() {
  kvFramework.instance = reinterpret_cast<HINSTANCE>(1);
  if (!kvSystemInit()) return false;
  kvMain();
  kvSystemExit();
  return true;
}

long residentKiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// ---- run ------------------------------------------------------------------

int soakRun(int64_t iterations, int64_t every) {
  DataCopy data;
  return inChild(data.dir(), [&] {
    std::vector<std::pair<int64_t, long>> samples;
    samples.reserve(static_cast<size_t>(iterations / every + 2));
    kv::headless::Options options;
    options.escapeFromIteration = iterations;
    options.display.onPresent = [&](int64_t, const kv::headless::Display&) {
      const int64_t at = kv::headless::iteration();
      if (at % every == 0 && (samples.empty() || samples.back().first != at))
        samples.emplace_back(at, residentKiB());
    };
    kv::headless::install(options);
    if (!runKit() || !kv::headless::debugCapture().ends_with("kvKIT Exit\n")) {
      std::fprintf(stderr, "kvsoak run: the demo did not run to its end\n");
      return 1;
    }
    if (samples.size() < 10) {
      std::fprintf(stderr, "kvsoak run: too few samples (%zu) to judge\n", samples.size());
      return 1;
    }
    // The first tenth loads, warms the caches and plays the first script cycles.
    const size_t settled = samples.size() / 10;
    long peak = 0, low = samples[settled].second;
    for (size_t i = settled; i < samples.size(); ++i) {
      peak = std::max(peak, samples[i].second);
      low = std::min(low, samples[i].second);
    }
    std::printf("iteration  resident KiB\n");
    const size_t step = std::max<size_t>(1, samples.size() / 20);
    for (size_t i = 0; i < samples.size(); i += step)
      std::printf("%9lld  %12ld\n", static_cast<long long>(samples[i].first), samples[i].second);
    std::printf("%9lld  %12ld\n", static_cast<long long>(samples.back().first),
                samples.back().second);
    const long growth = peak - samples[settled].second;
    std::printf(
        "run: %lld iterations, %zu samples; resident at iteration %lld: %ld KiB; over the last "
        "90%%: low %ld KiB, peak %ld KiB, growth %ld KiB\n",
        static_cast<long long>(iterations), samples.size(),
        static_cast<long long>(samples[settled].first), samples[settled].second, low, peak, growth);
    // A page or two of allocator noise is not a leak; a leak of a few bytes a
    // frame is thousands of pages over the run.
    constexpr long kNoiseKiB = 256;
    if (growth > kNoiseKiB) {
      std::printf("run: FAILED, the resident set grew by %ld KiB after settling\n", growth);
      return 1;
    }
    std::printf("run: flat after settling\n");
    return 0;
  });
}

// ---- f3 -------------------------------------------------------------------

// Bytes of the pool in use, walking its blocks.
int64_t poolBytesInUse() {
  int64_t used = 0;
  for (int32_t at = 0; at < kvPoolSize;) {
    int32_t header;
    std::memcpy(&header, kvPoolBase + at, sizeof header);
    const int32_t length = header >> 1;
    if (length <= 0) return -1;  // a broken chain: never equal to a sound count
    if (header & 1) used += length;
    at += length;
  }
  return used;
}

// A COM object's reference count, read by a matched AddRef and Release.
template <class Object>
ULONG references(Object* object) {
  if (object == nullptr) return 0;
  object->AddRef();
  return object->Release();
}

// What must be the same after every round trip through the devices.
struct Census {
  int surfaces = 0, directDraws = 0;
  int64_t poolBytes = 0;
  std::vector<ULONG> counts;  // the framework's objects, then each texture's

  static Census take() {
    Census c;
    c.surfaces = kv::ddraw::testing::liveSurfaces();
    c.directDraws = kv::ddraw::testing::liveDirectDrawObjects();
    c.poolBytes = poolBytesInUse();
    const DeviceFramework& fw = kvFramework;
    for (IUnknown* object :
         {static_cast<IUnknown*>(fw.front), static_cast<IUnknown*>(fw.back),
          static_cast<IUnknown*>(fw.renderTarget), static_cast<IUnknown*>(fw.zBuffer),
          static_cast<IUnknown*>(fw.device), static_cast<IUnknown*>(fw.viewport),
          static_cast<IUnknown*>(fw.directDraw), static_cast<IUnknown*>(fw.direct3D)})
      c.counts.push_back(references(object));
    for (Surface* surface : kvImageTable) {
      if (surface == nullptr) continue;
      c.counts.push_back(references(surface->ddSurface));
      c.counts.push_back(references(surface->texture));
    }
    return c;
  }
  bool operator==(const Census&) const = default;
  std::string describe() const {
    std::string text = std::to_string(surfaces) + " surfaces, " + std::to_string(directDraws) +
                       " DirectDraw objects, " + std::to_string(poolBytes) +
                       " pool bytes in use, references";
    for (ULONG count : counts) text += " " + std::to_string(count);
    return text;
  }
};

std::vector<std::string> deviceNames() {
  std::vector<std::string> names;
  for (DriverInfo* driver = kvGetDriverList(); driver != nullptr; driver = driver->next)
    for (DeviceInfo* device = driver->devices; device != nullptr; device = device->next)
      names.push_back(device->name);
  return names;
}

std::string selectedDeviceName() {
  DriverInfo* driver = nullptr;
  DeviceInfo* device = nullptr;
  return kvGetSelectedDriver(&driver, &device) == 0 && device != nullptr ? device->name : "";
}

constexpr int64_t kFirstSwitch = 10;  // a few frames on the first device first
constexpr int64_t kSwitchEvery = 4;   // frames on each device before the next switch

int soakF3(int switches, bool gl) {
  // Listed in the first run and in the next start alike.
  if (gl) kv::gl::registerHardwareDevice({.asked = true, .acceleratorsUnasked = false});
  DataCopy data;
  std::string lastDevice;
  const int first = inChild(data.dir(), [&] {
    kv::headless::Options options;
    for (int i = 0; i < switches; ++i) {
      const int64_t at = kFirstSwitch + i * kSwitchEvery;
      options.keys.push_back({VK_F3, at, at});
    }
    options.escapeFromIteration = kFirstSwitch + switches * kSwitchEvery + 2;
    Census before, after;
    std::vector<std::string> devices;
    int rounds = 0, differing = 0;
    // Checked on the frame before each switch; with D devices every D-th
    // switch brings the first device back, where the census must repeat.
    options.display.onPresent = [&](int64_t, const kv::headless::Display&) {
      const int64_t at = kv::headless::iteration();
      if (at < kFirstSwitch - 1 || (at - (kFirstSwitch - 1)) % kSwitchEvery != 0) return;
      const int64_t done = (at - (kFirstSwitch - 1)) / kSwitchEvery;
      if (done == 0) {
        devices = deviceNames();
        before = Census::take();
        // Each switch answers the dialog with the next device in the list.
        const std::string start = selectedDeviceName();
        auto next = std::find(devices.begin(), devices.end(), start);
        for (int i = 0; i < switches; ++i) {
          if (next == devices.end() || ++next == devices.end()) next = devices.begin();
          kv::headless::queueDialogAnswer("device=" + *next + ",ok");
        }
        return;
      }
      if (devices.empty() || done % static_cast<int64_t>(devices.size()) != 0) return;
      ++rounds;
      after = Census::take();
      if (!(after == before) && differing++ < 3)
        std::fprintf(stderr, "kvsoak f3: after %lld switches: %s\n  at the start: %s\n",
                     static_cast<long long>(done), after.describe().c_str(),
                     before.describe().c_str());
    };
    kv::headless::install(options);
    const bool ran = runKit();
    const std::string& log = kv::headless::debugCapture();
    std::ofstream("log.txt", std::ios::binary) << log;
    const int left =
        kv::ddraw::testing::liveSurfaces() + kv::ddraw::testing::liveDirectDrawObjects();
    std::printf("f3: %d switches over %zu devices (", switches, devices.size());
    for (size_t i = 0; i < devices.size(); ++i)
      std::printf("%s%s", i ? ", " : "", devices[i].c_str());
    std::printf("); %d round trips checked, %d differing\nf3: at the start: %s\n", rounds,
                differing, before.describe().c_str());
    std::printf("f3: after the run: %d surfaces and DirectDraw objects left\n", left);
    const bool exited = ran && log.ends_with("kvKIT Exit\n");
    if (!exited) std::printf("f3: FAILED, the log does not end with \"kvKIT Exit\"\n");
    return exited && rounds > 0 && differing == 0 && left == 0 ? 0 : 1;
  });

  std::error_code error;
  const auto size = fs::file_size(data.dir() / "kvKIT.vid", error);
  std::printf("f3: kvKIT.vid is %lld bytes\n", error ? -1LL : static_cast<long long>(size));
  // The next start takes the saved choice up: chosen again over another default.
  const int next = inChild(data.dir(), [] {
    kv::headless::install();
    kvFramework.instance = reinterpret_cast<HINSTANCE>(1);
    if (!kvSystemInit()) return 1;
    const std::string saved = selectedDeviceName();
    // Another default first, so the file's choice must be read to come back.
    kvSelectDefaultDriver(KVSEL_REF_DEVICE);
    if (selectedDeviceName() == saved) kvSelectDefaultDriver(0);
    const std::string other = selectedDeviceName();
    kvLoadVideoConfig();
    const bool taken = other != saved && selectedDeviceName() == saved &&
                       kv::headless::debugCapture().find("kvKIT.vid") == std::string::npos;
    std::printf("f3: the next start chose %s from kvKIT.vid%s\n", saved.c_str(),
                taken ? " again over the default" : ", but did not take the file up");
    kvSystemExit();
    return taken ? 0 : 1;
  });
  const bool sound = first == 0 && !error && size == 1344 && next == 0;
  std::printf("f3: %s\n", sound ? "every check held" : "FAILED");
  return sound ? 0 : 1;
}

int64_t number(const char* text, const char* option) {
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (end == text || *end != '\0' || value < 1) {
    std::fprintf(stderr, "kvsoak: %s takes a whole number from 1\n%s", option, kUsage);
    std::exit(2);
  }
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "-h" || mode == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  int64_t iterations = 100000, every = 1000, switches = 1000;
  bool gl = false;
  for (int i = 2; i < argc; ++i) {
    const std::string option = argv[i];
    if (mode == "f3" && option == "--gl") {
      gl = true;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "kvsoak: %s needs a value\n%s", option.c_str(), kUsage);
      return 2;
    }
    const char* value = argv[++i];
    if (mode == "run" && option == "--iterations") {
      iterations = number(value, "--iterations");
    } else if (mode == "run" && option == "--every") {
      every = number(value, "--every");
    } else if (mode == "f3" && option == "--switches") {
      switches = number(value, "--switches");
    } else {
      std::fprintf(stderr, "kvsoak: unknown option '%s'\n%s", option.c_str(), kUsage);
      return 2;
    }
  }
  if (mode == "run") return soakRun(iterations, every);
  if (mode == "f3") return soakF3(static_cast<int>(switches), gl);
  std::fputs(kUsage, stderr);
  return 2;
}
