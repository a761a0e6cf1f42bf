#include "tests/ui/xvfb.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <set>

namespace kv::uitest {

namespace {

bool exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

bool onPath(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

bool haveTools() { return onPath("Xvfb") && onPath("xdotool") && onPath("import"); }

void sleepMs(int milliseconds) { usleep(static_cast<useconds_t>(milliseconds) * 1000); }

int64_t nowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

Xvfb::Xvfb() {
  // Never the same number twice in one process: a late key from an earlier
  // test's helper must not reach a later test's windows.
  static int next = 90 + static_cast<int>(getpid() % 200);
  for (int n = next; n < 800; ++n) {
    const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
    if (exists(lock) || exists(socket)) continue;
    display_ = ":" + std::to_string(n);
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      execlp("Xvfb", "Xvfb", display_.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp", nullptr);
      _exit(127);
    }
    for (int waited = 0; waited < 5000; waited += 50) {
      if (exists(socket)) {
        pid_ = pid;
        next = n + 1;
        setenv("DISPLAY", display_.c_str(), 1);
        sleepMs(100);
        return;
      }
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) break;  // lost a race for the number
      sleepMs(50);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
}

Xvfb::~Xvfb() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

std::string run(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int rc = pclose(pipe);
  if (status != nullptr) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::string findWindow(const std::string& title, int timeoutMs) {
  for (int waited = 0; waited <= timeoutMs; waited += 100) {
    const std::string ids = run("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null");
    if (!ids.empty()) return ids.substr(0, ids.find('\n'));
    sleepMs(100);
  }
  return {};
}

std::string windowSize(const std::string& windowId) {
  const std::string out = run("xdotool getwindowgeometry " + windowId);
  const size_t at = out.find("Geometry: ");
  return at == std::string::npos ? out : out.substr(at + 10);
}

Picture screenshot(const std::string& windowId) {
  Picture picture;
  const std::string ppm = run("import -silent -window " + windowId + " -depth 8 ppm:- 2>/dev/null");
  // P6\n<w> <h>\n255\n<data>
  int maxValue = 0, consumed = 0;
  if (std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &picture.width, &picture.height, &maxValue, &consumed) != 3 ||
      maxValue != 255)
    return {};
  const size_t start = static_cast<size_t>(consumed) + 1;
  const size_t size = static_cast<size_t>(picture.width) * picture.height * 3;
  if (ppm.size() < start + size) return {};
  picture.rgb = ppm.substr(start, size);
  return picture;
}

int Picture::distinctColours(int limit) const {
  std::set<uint32_t> colours;
  for (size_t i = 0; i + 2 < rgb.size() && static_cast<int>(colours.size()) < limit; i += 3)
    colours.insert(static_cast<uint32_t>(static_cast<unsigned char>(rgb[i])) << 16 |
                   static_cast<uint32_t>(static_cast<unsigned char>(rgb[i + 1])) << 8 |
                   static_cast<unsigned char>(rgb[i + 2]));
  return static_cast<int>(colours.size());
}

}  // namespace kv::uitest

// Under the sanitizers: SDL's X11, D-Bus and GL libraries keep allocations until
// the process ends; the leak check belongs to the unit tests, not to these.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }
