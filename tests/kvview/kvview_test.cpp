// kvview headless on an object kvconv made: the captured frames show the
// model in the middle of the picture and the clear colour around it.
#include <gtest/gtest.h>
#include <stb_image.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace {

int run(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Kvview, HeadlessCaptureShowsTheConvertedModelWhereItShouldBe) {
  // Other checkouts may run this test at the same time: a folder per process.
  const fs::path folder =
      fs::path(testing::TempDir()) / ("kvview_capture_" + std::to_string(getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder / "frames");
  // A red cube, untextured: under realtime light its colour comes as a texture.
  std::ofstream(folder / "m.mtl") << "newmtl red\nKd 0.9 0.1 0.1\n";
  std::ofstream(folder / "cube.obj")
      << "mtllib m.mtl\nusemtl red\n"
         "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n"
         "f 1 4 3 2\nf 5 6 7 8\nf 1 2 6 5\nf 4 8 7 3\nf 1 5 8 4\nf 2 3 7 6\n";
  const std::string in = "cd '" + folder.string() + "' && ";
  ASSERT_EQ(run(in + KVCONV_PATH + " cube.obj cube.kvo >/dev/null 2>&1"), 0);
  ASSERT_EQ(run(in + KVVIEW_PATH +
                " --headless -C . --frames 12 --capture frames --every 5 --sheet none"
                " --log view.log >/dev/null 2>&1"),
            0);
  std::ifstream log(folder / "view.log");
  const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("kvview: cube.kvo: 8 vertices, 6 faces"), std::string::npos) << text;

  int frames = 0;
  for (const auto& entry : fs::directory_iterator(folder / "frames")) {
    SCOPED_TRACE(entry.path().filename().string());
    int width = 0, height = 0, channels = 0;
    std::unique_ptr<uint8_t, void (*)(void*)> rgb(
        stbi_load(entry.path().c_str(), &width, &height, &channels, 3), stbi_image_free);
    ASSERT_NE(rgb, nullptr);
    ASSERT_EQ(width, 640);
    ASSERT_EQ(height, 480);
    const auto at = [&](int x, int y) { return rgb.get() + (size_t(y) * width + x) * 3; };
    // The middle is the cube's red, lit; the corners are the clear colour
    // (through a 16-bit screen, so within its steps).
    const uint8_t* middle = at(320, 240);
    EXPECT_GT(middle[0], 60);
    EXPECT_GT(middle[0], 2 * middle[1]);
    EXPECT_GT(middle[0], 2 * middle[2]);
    for (const uint8_t* corner : {at(2, 2), at(637, 2), at(2, 477), at(637, 477)}) {
      EXPECT_NEAR(corner[0], 40, 8);
      EXPECT_NEAR(corner[1], 44, 4);
      EXPECT_NEAR(corner[2], 52, 8);
    }
    ++frames;
  }
  EXPECT_GE(frames, 2);
  fs::remove_all(folder);
}

}  // namespace
