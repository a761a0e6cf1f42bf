// A kit program's main: the launcher options (the kit itself reads none), the
// host choice, the working directory, then the kit's entry point. What differs
// between programs (their data, the length of a run) comes from their facts.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "kvKIT.h"
#include "platform/d3d/device_list.h"
#include "platform/host/headless/contact_sheet.h"
#include "platform/host/headless/headless.h"
#include "platform/host/png.h"
#include "platform/launcher/launcher.h"
#include "platform/win/debug_channel.h"

namespace {

namespace fs = std::filesystem;

// The program's name in messages and help: what it was started as.
std::string programName = "kvprogram";

void printHelp(const kv::launcher::ProgramFacts& facts) {
  const char* name = programName.c_str();
  std::printf("Usage: %s [options]\n%s\n", name, facts.about != nullptr ? facts.about : "");
  std::printf(
      "Options:\n"
      "  --headless          run without a window (the default when no display can be opened)\n"
      "  -C DIR              working directory with the data files (default: the current\n"
      "                      directory, or the data/ folder beside %s when it lacks them);\n"
      "                      kvKIT.vid is written there\n"
      "  --log FILE          copy the debug log to FILE (it always goes to stderr)\n"
      "  --quiet             do not echo the debug log to stderr\n"
      "  --fps               show the frame rate: in the window's title, or headless in\n"
      "                      the log once a second\n"
      "  --gl                list the OpenGL device (\"Direct3D HAL\") even when GL draws on\n"
      "                      the CPU (llvmpipe); also KV_GL=1. A window lists it unasked on\n"
      "                      a graphics card; a headless run only when asked. A window\n"
      "                      is drawn through its own OpenGL 3.3 context, which the device\n"
      "                      then draws in; KV_WINDOW_GL=0 draws it through SDL's renderer\n"
      "                      (the device then draws beside it, and frames are copied)\n"
      "  --threads N         draw on N threads with the RGB Emulation device (default: one\n"
      "                      per processor; also KV_THREADS=N); 1 draws on the caller alone\n"
      "  -h, --help          show this help\n"
      "\n"
      "  --frames N          hold Escape from loop iteration N, in a window too (headless\n"
      "                      default %lld, one whole run)\n"
      "In a window, F12 writes the picture to kvKIT_shot_NNN.png in the folder %s was\n"
      "started from, Alt+Enter shows it over the whole screen and back, and the window\n"
      "can be resized (the picture keeps its shape).\n"
      "\n"
      "Headless only:\n"
      "  --clock virtual|real  virtual (default): waits take no time, every run is the same;\n"
      "                      real: wall-clock time, 30 updates per second\n"
      "  --keys SCRIPT       hold keys over iterations, e.g. \"J@10-40,F3@100\"\n"
      "                      (A-Z, 0-9, F1-F12, ESC, UP, DOWN, LEFT, RIGHT, KP0-KP9)\n"
      "  --capture DIR       write the presented frames to DIR as frame_NNNNN.png\n"
      "  --every K           with --capture, write every K-th frame only (default 1)\n",
      name, static_cast<long long>(facts.runIterations), name);
  if (!facts.sheetFrames.empty())
    std::printf(
        "  --sheet FILE|none   where to write the contact sheet of the run, a PNG of\n"
        "                      chosen frames labelled with their numbers (default:\n"
        "                      contact_sheet.png beside %s in its build folder, else\n"
        "                      in the current folder)\n",
        name);
  std::printf(
      "  --dialog ANSWER     answer the next dialog (give it once per dialog), e.g.\n"
      "                      \"device=Reference Rasterizer,ok\" or \"cancel\"; steps are\n"
      "                      LABEL=ENTRY (pick ENTRY in the box beside LABEL) or a button\n");
}

[[noreturn]] void usageError(const std::string& message) {
  std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", programName.c_str(), message.c_str(),
               programName.c_str());
  std::exit(2);
}

// A program's data sits in data/ beside the executable after a build, and in
// share/kvKIT/<program> beside bin/ once installed; empty when neither exists.
fs::path defaultDataFolder() {
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  if (error) return {};
  for (const fs::path& data : {exe.parent_path() / "data", exe.parent_path().parent_path() /
                                                               "share" / "kvKIT" / exe.filename()})
    if (fs::is_directory(data, error)) return data;
  return {};
}

// The contact sheet goes beside the program in the build tree (next to its
// data/ folder), else into the folder the program was started in.
fs::path defaultSheetPath() {
  const fs::path data = defaultDataFolder();
  if (!data.empty() && data.filename() == "data") return data.parent_path() / "contact_sheet.png";
  return fs::current_path() / "contact_sheet.png";
}

// The data maker as a user would run it: the one built beside this program
// (build/tools/NAME/NAME, the program being in build/PROGRAM/), else its name.
std::string dataMakerCommand(const char* maker) {
  const fs::path built = defaultDataFolder().parent_path().parent_path() / "tools" / maker / maker;
  std::error_code error;
  return fs::exists(built, error) ? built.string() : std::string(maker);
}

// A sheet's frames for a run cut short by --frames N (which presents frames 1
// to N - 1): up to sixteen spread evenly over them, the last among them; the
// program's own choice when they all run.
std::vector<int64_t> sheetFramesFor(std::span<const int64_t> chosen, int64_t iterations) {
  const int64_t presented = iterations - 1;
  if (chosen.empty() || iterations <= 0 || chosen.back() <= presented)
    return {chosen.begin(), chosen.end()};
  std::vector<int64_t> frames;
  const int64_t count = std::min<int64_t>(16, presented);
  for (int64_t k = 1; k <= count; ++k) frames.push_back(k * presented / count);
  return frames;
}

// A folder the program can write into, or why not.
std::string unwritable(const fs::path& folder) {
  std::error_code error;
  if (!fs::is_directory(folder, error))
    return "the folder '" + folder.string() + "' does not exist";
  if (access(folder.c_str(), W_OK) != 0)
    return "the folder '" + folder.string() + "' cannot be written: " + std::strerror(errno);
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  const kv::launcher::ProgramFacts facts = kv::launcher::programFacts();
  if (argc > 0 && argv[0][0] != '\0') programName = fs::path(argv[0]).filename().string();
  kv::launcher::Options options;
  std::string dataDir;
  std::string logPath;
  bool quiet = false;
  fs::path sheetPath;
  bool framesGiven = false;
  std::vector<std::string> headlessOnly;  // given, for a note when a window opens
  std::error_code startError;
  options.screenshotDir = fs::current_path(startError).string();
  if (!facts.sheetFrames.empty()) sheetPath = defaultSheetPath();

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* name) -> std::string {
      if (i + 1 >= argc) usageError(std::string(name) + " needs a value");
      return argv[++i];
    };
    if (arg == "-h" || arg == "--help") {
      printHelp(facts);
      return 0;
    } else if (arg == "--headless") {
      options.forceHeadless = true;
    } else if (arg == "-C") {
      dataDir = value("-C");
    } else if (arg == "--log") {
      logPath = value("--log");
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--threads") {
      // The device reads it when it is made, as it would from the environment.
      const std::string n = value("--threads");
      char* end = nullptr;
      const long threads = std::strtol(n.c_str(), &end, 10);
      if (*end != '\0' || threads < 1 || threads > 256)
        usageError("--threads takes a whole number from 1 to 256");
      setenv("KV_THREADS", n.c_str(), 1);
    } else if (arg == "--frames") {
      const std::string n = value("--frames");
      char* end = nullptr;
      const long long frames = std::strtoll(n.c_str(), &end, 10);
      if (*end != '\0' || frames < 1) usageError("--frames takes a whole number from 1");
      options.headless.escapeFromIteration = frames;
      framesGiven = true;
    } else if (arg == "--fps") {
      options.showFrameRate = true;
    } else if (arg == "--clock") {
      headlessOnly.push_back(arg);
      const std::string clock = value("--clock");
      if (clock == "virtual")
        options.headless.clock = kv::headless::Clock::Virtual;
      else if (clock == "real")
        options.headless.clock = kv::headless::Clock::Real;
      else
        usageError("--clock takes 'virtual' or 'real'");
    } else if (arg == "--keys") {
      headlessOnly.push_back(arg);
      std::string error;
      if (!kv::headless::parseKeyScript(value("--keys"), options.headless.keys, error))
        usageError("--keys: " + error);
    } else if (arg == "--capture") {
      // Absolute, because -C changes the working directory afterwards.
      const fs::path dir = fs::absolute(value("--capture"));
      std::error_code error;
      fs::create_directories(dir, error);
      if (!fs::is_directory(dir))
        usageError("cannot make the capture folder '" + dir.string() + "'");
      if (const std::string why = unwritable(dir); !why.empty()) usageError("--capture: " + why);
      options.headless.display.captureDir = dir.string();
      headlessOnly.push_back(arg);
    } else if (arg == "--every") {
      const std::string n = value("--every");
      char* end = nullptr;
      const long long every = std::strtoll(n.c_str(), &end, 10);
      if (*end != '\0' || every < 1) usageError("--every takes a whole number from 1");
      options.headless.display.captureEvery = every;
    } else if (arg == "--sheet") {
      const std::string sheet = value("--sheet");
      sheetPath = sheet == "none" ? fs::path() : fs::absolute(sheet);
      if (!sheetPath.empty())
        if (const std::string why = unwritable(sheetPath.parent_path()); !why.empty())
          usageError("--sheet: " + why);
      headlessOnly.push_back(arg);
    } else if (!kv::launcher::parseHostOption(arg, i, argc, argv, options)) {
      usageError("unknown option '" + arg + "'");
    }
  }

  if (!dataDir.empty()) {
    if (chdir(dataDir.c_str()) != 0)
      usageError("cannot enter '" + dataDir + "': " + std::strerror(errno));
  } else if (facts.dataMarker != nullptr && !fs::exists(facts.dataMarker)) {
    const fs::path data = defaultDataFolder();
    if (!data.empty() && fs::exists(data / facts.dataMarker)) fs::current_path(data);
  }
  // Without its data the kit would only log that it cannot open a file, and
  // leave a kvKIT.vid behind: the program does not start.
  if (facts.dataMarker != nullptr && !fs::exists(facts.dataMarker)) {
    const std::string marker(reinterpret_cast<const char*>(facts.dataMarker));
    const fs::path here = fs::current_path(startError);
    std::string message = "no data: " + marker + " is not in '" + here.string() + "'";
    fs::path target = here;
    if (dataDir.empty() && !defaultDataFolder().empty()) {
      target = defaultDataFolder();
      message += " nor in '" + target.string() + "'";
    }
    if (facts.dataMaker != nullptr)
      message += "; write the data with: " + dataMakerCommand(facts.dataMaker) + " '" +
                 target.string() + "'";
    std::fprintf(stderr, "%s: %s\n", programName.c_str(), message.c_str());
    return 1;
  }

  std::FILE* log = nullptr;
  if (!logPath.empty()) {
    log = std::fopen(logPath.c_str(), "w");
    if (log == nullptr)
      usageError("cannot write the log '" + logPath + "': " + std::strerror(errno));
    kv::win::setDebugLogFile(log);
  }
  kv::win::setDebugEcho(!quiet);

  // A headless run keeps chosen frames for a contact sheet, so a run on a
  // server still shows the demonstration.
  kv::headless::ContactSheet sheet(
      sheetFramesFor(facts.sheetFrames, framesGiven ? options.headless.escapeFromIteration : 0), 4,
      320, 240);
  if (!sheetPath.empty())
    options.headless.display.onPresent = [&sheet](int64_t number,
                                                  const kv::headless::Display& display) {
      if (!sheet.wants(number)) return;
      const kv::headless::Frame& f = display.lastFrame();
      sheet.offer(number, f.rgb.data(), f.width, f.height);
    };

  // A line for each device F3 (or a failed set-up) puts in place of another.
  std::string lastDevice;
  kv::d3d::setDeviceObserver([&lastDevice](const kv::d3d::DeviceMade& made) {
    const std::string now =
        made.name + (made.fullScreen
                         ? ", full screen " + std::to_string(made.width) + "x" +
                               std::to_string(made.height) + "x" + std::to_string(made.bitCount)
                         : ", in a window");
    if (!lastDevice.empty() && now != lastDevice)
      std::fprintf(stderr, "%s: device now %s\n", programName.c_str(), now.c_str());
    lastDevice = now;
  });

  const bool window = kv::launcher::startHost(options);
  if (window && !headlessOnly.empty()) {
    std::string names;
    for (const std::string& name : headlessOnly) names += (names.empty() ? "" : ", ") + name;
    std::fprintf(stderr, "%s: %s %s for headless runs only; ignored in a window (add --headless)\n",
                 programName.c_str(), names.c_str(), headlessOnly.size() > 1 ? "are" : "is");
  }
  WinMain(reinterpret_cast<HINSTANCE>(1), nullptr, nullptr, 1);
  kv::launcher::stopHost(options);
  kv::d3d::setDeviceObserver(nullptr);

  // Only a run the user or --frames ended is a good one: a program that
  // returned without Escape held gave up (its log says why).
  int status = 0;
  if (!kv::win::escapeSeenHeld()) {
    std::fprintf(stderr, "%s: the program stopped by itself before it was ended (see its log)\n",
                 programName.c_str());
    status = 1;
  }
  if (!window && kv::headless::captureFailed()) status = 1;
  if (!window && !sheetPath.empty()) {
    if (sheet.kept() == 0) {
      std::fprintf(stderr, "%s: no contact sheet: no frame was presented\n", programName.c_str());
    } else {
      const kv::headless::SheetImage image = sheet.compose();
      std::string error;
      if (kv::host::writePng(sheetPath.string(), image.rgb.data(), image.width, image.height,
                             error)) {
        std::printf("%s: contact sheet of %zu frames: %s\n", programName.c_str(), sheet.kept(),
                    sheetPath.c_str());
      } else {
        std::fprintf(stderr, "%s: cannot write the contact sheet '%s': %s\n", programName.c_str(),
                     sheetPath.c_str(), error.c_str());
        status = 1;
      }
    }
  }

  if (log != nullptr) std::fclose(log);
  return status;
}
