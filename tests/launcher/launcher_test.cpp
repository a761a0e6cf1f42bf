// kvdemo, kvinfo and kvgen as a user runs them: options, exit status, the log
// of a whole run and the files the programs find or write.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "tests/test_files.h"

namespace {

namespace fs = std::filesystem;

struct DemoRun {
  int status;
  std::string output;  // stdout and stderr
};

DemoRun runTool(const std::string& command) {
  DemoRun run{-1, {}};
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

DemoRun runDemo(const std::string& arguments) {
  return runTool(std::string(KVDEMO_PATH) + " " + arguments);
}

TEST(Launcher, HelpListsTheOptionsAndExitsZeroAndBadOptionsAreNamedAndExitTwo) {
  const DemoRun help = runDemo("--help");
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--headless", "--frames", "--clock", "--log", "-C", "--keys"})
    EXPECT_NE(help.output.find(option), std::string::npos) << option;
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

// A fresh folder under the test's temporary folder, with a copy of the demo's
// data unless `withData` is false.
fs::path freshFolder(const std::string& name, bool withData = true) {
  const fs::path dir = fs::path(::testing::TempDir()) / name;
  if (withData) return kvtest::freshDataCopy(KV_DATA_DIR, dir);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

TEST(Launcher, AShortHeadlessRunWritesTheWholeLogToItsFileAndQuietKeepsStderrClear) {
  const fs::path dir = freshFolder("kv_launcher_run");
  const fs::path log = dir / "run.log";
  const DemoRun run =
      runDemo("--headless --frames 10 --quiet -C " + dir.string() + " --log " + log.string());
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string text = kvtest::readFile(log);
  EXPECT_EQ(text.rfind("kvSys/kvSystem.cpp(", 0), 0u) << text;  // from start-up's banner on
  EXPECT_TRUE(text.ends_with("kvKIT Exit\n")) << text;
  // --quiet keeps stderr clear of the log.
  EXPECT_EQ(run.output.find("kvKIT Exit"), std::string::npos);
  fs::remove_all(dir);
}

// Without its data the demo does not start: one line says where it looked,
// what is missing and how to write the data. A data file the kit refuses ends
// the run too. Either run fails.
TEST(Launcher, MissingOrRefusedDataIsNamedAndFailsTheRun) {
  const std::string can = "\xEA\xB9\xA1\xED\x86\xB5.kvo";  // 깡통.kvo
  const fs::path dir = freshFolder("kv_launcher_nodata", false);
  const DemoRun run = runDemo("--headless -C " + quoted(dir));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
  for (const std::string& named : {dir.string(), can, std::string("kvgen")})
    EXPECT_NE(run.output.find(named), std::string::npos) << named << " in " << run.output;
  EXPECT_TRUE(fs::is_empty(dir)) << "the run left files behind";
  fs::remove_all(dir);

  const fs::path refusedDir = freshFolder("kv_launcher_refused");
  std::ofstream(refusedDir / can, std::ios::binary | std::ios::trunc) << "KVO";
  const DemoRun refused = runDemo("--headless --frames 5 --sheet none -C " + quoted(refusedDir));
  EXPECT_NE(refused.output.find("ERROR: kv3dLoad_KVO"), std::string::npos) << refused.output;
  EXPECT_EQ(refused.status, 1) << refused.output;
  fs::remove_all(refusedDir);
}

// --frames cuts a run short: the sheet shows frames of the run that was; a
// sheet or a capture that cannot be written fails the run.
TEST(Launcher, SheetsAndCapturesOfShortRunsAreWrittenOrTheRunFails) {
  const fs::path dir = freshFolder("kv_launcher_sheet");
  const fs::path sheet = dir / "short.png";
  const DemoRun shortRun =
      runDemo("--headless --quiet --frames 100 -C " + quoted(dir) + " --sheet " + quoted(sheet));
  EXPECT_EQ(shortRun.status, 0) << shortRun.output;
  EXPECT_TRUE(fs::exists(sheet)) << shortRun.output;
  EXPECT_NE(shortRun.output.find("contact sheet of 16 frames"), std::string::npos)
      << shortRun.output;

  const struct {
    std::string arguments;
    int status;
  } cases[] = {
      {"--sheet /no/such/folder/s.png", 2},        // refused before the run
      {"--sheet " + quoted(dir), 1},               // a folder: the write fails after it
      {"--capture " + quoted(dir / "frames"), 1},  // frame_00001.png is a folder
  };
  fs::create_directories(dir / "frames" / "frame_00001.png");
  for (const auto& c : cases) {
    const DemoRun run =
        runDemo("--headless --quiet --frames 3 -C " + quoted(dir) + " " + c.arguments +
                (c.arguments.starts_with("--capture") ? " --sheet none" : ""));
    EXPECT_EQ(run.status, c.status) << c.arguments << ": " << run.output;
  }
  fs::remove_all(dir);
}

// Names on the command line are UTF-8: folders and files with Korean names
// work for every option and tool that takes one, and come back as given.
TEST(Launcher, KoreanNamesWorkForEveryPathOption) {
  const fs::path dir = freshFolder("kv_launcher_\xED\x95\x9C\xEA\xB8\x80");  // 한글
  const fs::path log = dir / "\xEA\xB8\xB0\xEB\xA1\x9D.log";                 // 기록.log
  const fs::path sheet = dir / "\xEC\x8B\x9C\xED\x8A\xB8.png";               // 시트.png
  const fs::path frames = dir / "\xED\x94\x84\xEB\xA0\x88\xEC\x9E\x84";      // 프레임
  const DemoRun run =
      runDemo("--headless --quiet --frames 3 -C " + quoted(dir) + " --log " + quoted(log) +
              " --sheet " + quoted(sheet) + " --capture " + quoted(frames));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(fs::exists(log));
  EXPECT_TRUE(fs::exists(sheet));
  EXPECT_TRUE(fs::exists(frames / "frame_00001.png"));
  EXPECT_NE(run.output.find(sheet.string()), std::string::npos) << run.output;

  // kvinfo by the object's Korean name, from its folder and from outside it.
  const std::string can = "\xEA\xB9\xA1\xED\x86\xB5.kvo";  // 깡통.kvo
  const std::string inside = runTool("cd " + quoted(dir) + " && " KVINFO_PATH " " + can).output;
  EXPECT_NE(inside.find(can + ": object"), std::string::npos) << inside;
  EXPECT_EQ(inside.find("refused"), std::string::npos) << inside;
  const std::string outside = runTool(KVINFO_PATH " " + quoted(dir / can)).output;
  EXPECT_NE(outside.find((dir / can).string() + ": object"), std::string::npos) << outside;

  // kvgen into a Korean folder writes the demo's data there.
  const fs::path written = dir / "\xEB\x8D\xB0\xEC\x9D\xB4\xED\x84\xB0";  // 데이터
  runTool(KVGEN_PATH " " + quoted(written));
  EXPECT_TRUE(fs::exists(written / can));
  fs::remove_all(dir);
}

// kvinfo on an object in another folder finds its textures beside it, and
// shows a texture that cannot be loaded with the image loader's own reason.
TEST(Kvinfo, TexturesLoadBesideTheObjectOrSayWhyNot) {
  const fs::path dir = freshFolder("kv_kvinfo");
  const fs::path object = dir / "can.kvo";  // ASCII: the command line's code page is apart
  fs::copy_file(dir / "\xEA\xB9\xA1\xED\x86\xB5.kvo", object);
  const DemoRun whole = runTool(KVINFO_PATH " " + quoted(object));
  EXPECT_EQ(whole.status, 0) << whole.output;
  // "..., N of N materials textured", every one of them loaded.
  const size_t count = whole.output.find(" materials textured");
  const size_t of = whole.output.rfind(" of ", count);
  ASSERT_TRUE(count != std::string::npos && of != std::string::npos) << whole.output;
  const size_t textured = whole.output.rfind(", ", of) + 2;
  const std::string loaded = whole.output.substr(textured, of - textured);
  EXPECT_EQ(loaded, whole.output.substr(of + 4, count - of - 4)) << whole.output;
  EXPECT_NE(loaded, "0");

  fs::remove(dir / "label.pcx");
  const DemoRun missing = runTool(KVINFO_PATH " " + quoted(object));
  EXPECT_EQ(missing.status, 0) << missing.output;
  EXPECT_NE(missing.output.find("\n  kvLoadPcx: " + (dir / "label.pcx").string() + " "),
            std::string::npos)
      << missing.output;
  fs::remove_all(dir);
}

}  // namespace
