// kvdemo as a user runs it: options, exit status and the log of a whole run.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

namespace {

namespace fs = std::filesystem;

struct DemoRun {
  int status;
  std::string output;  // stdout and stderr
};

DemoRun runDemo(const std::string& arguments) {
  const std::string command = std::string(KVDEMO_PATH) + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  DemoRun run{-1, {}};
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

TEST(Launcher, HelpListsTheOptionsAndExitsZero) {
  const DemoRun run = runDemo("--help");
  EXPECT_EQ(run.status, 0);
  for (const char* option : {"--headless", "--frames", "--clock", "--log", "-C", "--keys"})
    EXPECT_NE(run.output.find(option), std::string::npos) << option;
}

TEST(Launcher, BadOptionsAreNamedAndExitTwo) {
  const std::pair<const char*, const char*> cases[] = {
      // arguments, what the message names
      {"--no-such-option", "--no-such-option"},
      {"--frames zero", "--frames takes"},
      {"--keys WAT@1", "'WAT'"},
      {"-C /no/such/folder", "/no/such/folder"},
  };
  for (const auto& [arguments, named] : cases) {
    const DemoRun run = runDemo(arguments);
    EXPECT_EQ(run.status, 2) << arguments;
    EXPECT_NE(run.output.find(named), std::string::npos) << run.output;
  }
}

TEST(Launcher, AShortHeadlessRunWritesTheWholeLogToItsFileAndQuietKeepsStderrClear) {
  const fs::path dir = fs::path(::testing::TempDir()) / "kv_launcher_run";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path log = dir / "run.log";
  const DemoRun run =
      runDemo("--headless --frames 10 --quiet -C " + dir.string() + " --log " + log.string());
  ASSERT_EQ(run.status, 0) << run.output;
  std::ifstream in(log, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  EXPECT_EQ(text.rfind("kvSys/kvSystem.cpp(", 0), 0u) << text;  // from start-up's banner on
  EXPECT_TRUE(text.ends_with("kvKIT Exit\n")) << text;
  // --quiet keeps stderr clear of the log.
  EXPECT_EQ(run.output.find("kvKIT Exit"), std::string::npos);
  fs::remove_all(dir);
}

}  // namespace
