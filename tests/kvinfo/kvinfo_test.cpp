// kvinfo as a user runs it: an object opened from another folder finds its
// textures beside it, and a texture that cannot be loaded is shown with the
// image loader's own reason, not only as a count.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string output;
};

Outcome kvinfo(const std::string& arguments) {
  Outcome run{-1, ""};
  FILE* pipe = ::popen((std::string(KVINFO_PATH) + " " + arguments + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[512];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) run.output.append(buffer, n);
  run.status = ::pclose(pipe);
  return run;
}

TEST(Kvinfo, TexturesLoadBesideTheObjectOrSayWhyNot) {
  // ASCII names: the command line's own code page is another matter.
  const fs::path dir = fs::path(testing::TempDir()) / "kvinfo_test" / "d1";
  fs::remove_all(dir.parent_path());
  fs::create_directories(dir);
  for (const auto& entry : fs::directory_iterator(KV_DEMO_DATA))
    if (entry.path().extension() != ".kvo" && entry.path().extension() != ".mot")
      fs::copy_file(entry.path(), dir / entry.path().filename());
  fs::copy_file(fs::path(KV_DEMO_DATA) / u8"깡통.kvo", dir / "can.kvo");
  const fs::path object = dir / "can.kvo";

  const Outcome whole = kvinfo(object.string());
  EXPECT_EQ(whole.status, 0) << whole.output;
  EXPECT_NE(whole.output.find(" of "), std::string::npos) << whole.output;
  const size_t count = whole.output.find(" materials textured");
  ASSERT_NE(count, std::string::npos) << whole.output;
  const size_t of = whole.output.rfind(" of ", count);
  const size_t textured = whole.output.rfind(", ", of) + 2;
  const std::string loaded = whole.output.substr(textured, of - textured);
  EXPECT_EQ(loaded, whole.output.substr(of + 4, count - of - 4)) << whole.output;
  EXPECT_NE(loaded, "0");

  fs::remove(dir / "label.pcx");
  const Outcome missing = kvinfo(object.string());
  EXPECT_EQ(missing.status, 0) << missing.output;
  // The loader's own line, naming the file it could not open.
  EXPECT_NE(missing.output.find("\n  kvLoadPcx: " + (dir / "label.pcx").string() + " "),
            std::string::npos)
      << missing.output;
  fs::remove_all(dir.parent_path());
}

}  // namespace
