// The OpenGL device in a window's context: frames go to the window from its
// framebuffer, and the primary's and back buffer's memory still answer Lock
// as a copy through memory would. The "window" is an EGL context on the test's
// thread standing in for the host's; it reads each frame it is shown and then
// disturbs the GL state, as a host drawing with the same context does.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <cstring>
#include <vector>

#include "platform/d3d/window_gl.h"
#include "platform/ddraw/objects.h"
#include "platform/gl/context.h"
#include "platform/gl/hardware_device.h"
#include "tests/ddraw/fixture.h"

namespace kv::testing {
namespace {

class FakeWindow final : public d3d::WindowGl {
 public:
  bool open() {
    const auto platformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (platformDisplay != nullptr)
      display_ = platformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display_ == EGL_NO_DISPLAY) display_ = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    EGLint major = 0, minor = 0;
    if (display_ == EGL_NO_DISPLAY || !eglInitialize(display_, &major, &minor) ||
        !eglBindAPI(EGL_OPENGL_API))
      return false;
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                 3,
                                 EGL_CONTEXT_MINOR_VERSION,
                                 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                 EGL_NONE};
    context_ = eglCreateContext(display_, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    return context_ != EGL_NO_CONTEXT && makeCurrent();
  }
  void close() {
    if (context_ == EGL_NO_CONTEXT) return;
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display_, context_);
    context_ = EGL_NO_CONTEXT;
  }

  bool makeCurrent() override {
    return eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_) == EGL_TRUE;
  }

  void present(const d3d::GlFrame& frame) override {
    ++presents;
    width = frame.width;
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, frame.texture, 0);
    shown.assign(static_cast<size_t>(frame.width) * frame.height, 0);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(frame.left, frame.top, frame.width, frame.height, GL_BGRA, GL_UNSIGNED_BYTE,
                 shown.data());
    glDeleteFramebuffers(1, &framebuffer);
    // What a host drawing the frame and a dialog leaves behind.
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, 1, 1);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 1, 1);
    glUseProgram(0);
    glBindVertexArray(0);
    glActiveTexture(GL_TEXTURE3);
    glDisable(GL_DEPTH_CLAMP);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    glPixelStorei(GL_PACK_ALIGNMENT, 8);
    ++draws_;
  }

  uint64_t hostDraws() const override { return draws_; }

  // The shown frame's pixel as 0xRRGGBB.
  uint32_t at(int x, int y) const { return shown[static_cast<size_t>(y) * width + x] & 0xFFFFFFu; }

  int presents = 0;
  int width = 0;
  std::vector<uint32_t> shown;

 private:
  EGLDisplay display_ = EGL_NO_DISPLAY;
  EGLContext context_ = EGL_NO_CONTEXT;
  uint64_t draws_ = 0;
};

class WindowGl : public DirectDrawTest {
 protected:
  void SetUp() override {
    DirectDrawTest::SetUp();
    if (!window_.open()) GTEST_SKIP() << "EGL cannot make a GL 3.3 context here";
    d3d::setWindowGl(&window_);
    gl::setContextStarter(nullptr);  // the next context is the window's
    ASSERT_NE(gl::sharedContext(), nullptr);
    ASSERT_EQ(gl::sharedContext()->window(), &window_);
    gl::registerHardwareDevice({.asked = true});
    ASSERT_EQ(dd->QueryInterface(IID_IDirect3D3, reinterpret_cast<void**>(&d3d)), DD_OK);
  }
  void TearDown() override {
    if (d3d != nullptr) d3d->Release();
    gl::unregisterHardwareDevice();
    d3d::setWindowGl(nullptr);
    gl::setContextStarter(nullptr);
    DirectDrawTest::TearDown();
    window_.close();
  }

  // The GL device on `target` (a z-buffer attached), its viewport covering it.
  void makeDevice(LPDIRECTDRAWSURFACE4 target, int width, int height) {
    z = zBuffer(width, height);
    ASSERT_EQ(target->AddAttachedSurface(z), DD_OK);
    ASSERT_EQ(d3d->CreateDevice(gl::kHardwareDeviceGuid, target, &device, nullptr), D3D_OK);
    ASSERT_EQ(d3d->CreateViewport(&viewport, nullptr), D3D_OK);
    device->AddViewport(viewport);
    D3DVIEWPORT2 data{sizeof data, 0, 0, DWORD(width), DWORD(height), -1, 1, 2, 2, 0, 1};
    viewport->SetViewport2(&data);
    device->SetCurrentViewport(viewport);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_GREATEREQUAL);  // the kit's 1/z
    all = {0, 0, width, height};
  }
  void releaseDevice() {
    viewport->Release();
    device->Release();
    z->Release();
  }
  void clear(uint32_t argb) {
    viewport->Clear2(1, &all, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, argb, 0.0f, 0);
  }
  // A square in the top-left corner, in a scene of its own.
  void square(uint32_t argb) {
    d3d::testing::Vertex fan[] = {{0, 0, 0.5f, 0.5f, argb, 0, 0},
                                  {8, 0, 0.5f, 0.5f, argb, 0, 0},
                                  {8, 8, 0.5f, 0.5f, argb, 0, 0},
                                  {0, 8, 0.5f, 0.5f, argb, 0, 0}};
    device->BeginScene();
    device->DrawPrimitive(D3DPT_TRIANGLEFAN, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, fan, 4,
                          0);
    device->EndScene();
  }
  // The surface's memory as it is, without asking anyone for newer pixels.
  static uint16_t rawPixel(LPDIRECTDRAWSURFACE4 surface, int x, int y) {
    const auto* s = dynamic_cast<ddraw::Surface*>(surface);
    uint16_t value = 0;
    std::memcpy(&value, s->pixels() + y * s->pitch() + 2 * x, 2);
    return value;
  }

  FakeWindow window_;
  LPDIRECT3D3 d3d = nullptr;
  LPDIRECT3DDEVICE3 device = nullptr;
  LPDIRECT3DVIEWPORT3 viewport = nullptr;
  LPDIRECTDRAWSURFACE4 z = nullptr;
  D3DRECT all{};
};

// Windowed: the back buffer is copied to the client area on the primary. The
// window gets the frame from the framebuffer; the back buffer's memory is not
// read back for it, and the primary's gets the frame when it is locked.
TEST_F(WindowGl, ABltToThePrimaryShowsTheFrameWithoutReadingItBack) {
  LPDIRECTDRAWSURFACE4 primary = create(describe(DDSCAPS_PRIMARYSURFACE));
  LPDIRECTDRAWSURFACE4 back = offscreen(64, 48, DDSCAPS_3DDEVICE);
  ASSERT_NO_FATAL_FAILURE(makeDevice(back, 64, 48));
  RECT client{100, 200, 164, 248};

  clear(0x00FF0000);
  square(0xFF0000FF);
  ASSERT_EQ(primary->Blt(&client, back, nullptr, DDBLT_WAIT, nullptr), DD_OK);
  EXPECT_EQ(window_.presents, 1);
  EXPECT_EQ(std::tuple(window_.at(2, 2), window_.at(40, 30)), std::tuple(0x0000FFu, 0xFF0000u));
  EXPECT_EQ(rawPixel(back, 40, 30), 0u) << "the frame was read back to be shown";
  EXPECT_EQ(std::tuple(pixel(primary, 102, 202), pixel(primary, 140, 230), pixel(primary, 99, 230)),
            std::tuple(0x001Fu, 0xF800u, 0u));

  // The next frame, after the host drew with the context and after the lock.
  clear(0x0000FF00);
  ASSERT_EQ(primary->Blt(&client, back, nullptr, DDBLT_WAIT, nullptr), DD_OK);
  EXPECT_EQ(window_.presents, 2);
  EXPECT_EQ(window_.at(2, 2), 0x00FF00u) << "the device did not set its state again";
  // Somewhere else on the primary: the frame shown before reaches memory first.
  RECT moved{300, 100, 364, 148};
  clear(0x000000FF);
  ASSERT_EQ(primary->Blt(&moved, back, nullptr, DDBLT_WAIT, nullptr), DD_OK);
  EXPECT_EQ(std::tuple(pixel(primary, 140, 230), pixel(primary, 340, 130)),
            std::tuple(0x07E0u, 0x001Fu));
  // A stretched copy goes through memory, as on the software devices.
  RECT wide{0, 0, 128, 48};
  ASSERT_EQ(primary->Blt(&wide, back, nullptr, DDBLT_WAIT, nullptr), DD_OK);
  EXPECT_EQ(window_.presents, 3);
  EXPECT_EQ(pixel(primary, 120, 40), 0x001Fu);

  releaseDevice();
  back->Release();
  primary->Release();
}

// Full screen: the flip shows the back buffer's frame, and afterwards the back
// buffer holds the frame shown before, as the exchange of memory would leave it.
TEST_F(WindowGl, AFlipShowsTheFrameAndLeavesThePreviousOneInTheBackBuffer) {
  ASSERT_EQ(dd->SetCooperativeLevel(kWindow, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DD_OK);
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
  DDSURFACEDESC2 desc =
      describe(DDSCAPS_PRIMARYSURFACE | DDSCAPS_3DDEVICE | DDSCAPS_FLIP | DDSCAPS_COMPLEX);
  desc.dwFlags |= DDSD_BACKBUFFERCOUNT;
  desc.dwBackBufferCount = 1;
  LPDIRECTDRAWSURFACE4 front = create(desc), back = nullptr;
  ASSERT_NE(front, nullptr);
  DDSCAPS2 backCaps{DDSCAPS_BACKBUFFER, 0, 0, 0};
  ASSERT_EQ(front->GetAttachedSurface(&backCaps, &back), DD_OK);
  ASSERT_NO_FATAL_FAILURE(makeDevice(back, 640, 480));

  clear(0x00FF0000);
  ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  EXPECT_EQ(window_.at(320, 240), 0xFF0000u);
  clear(0x000000FF);
  ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  EXPECT_EQ(window_.at(320, 240), 0x0000FFu);
  EXPECT_EQ(window_.presents, 2);
  // Drawn over the frame the flip left behind: the red one.
  square(0xFF00FF00);
  ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  EXPECT_EQ(std::tuple(window_.at(2, 2), window_.at(320, 240)), std::tuple(0x00FF00u, 0xFF0000u));
  EXPECT_EQ(std::tuple(pixel(front, 2, 2), pixel(front, 320, 240), pixel(back, 320, 240)),
            std::tuple(0x07E0u, 0xF800u, 0x001Fu));
  // Back to the buffer the chain started with, as before a dialog.
  ASSERT_EQ(dd->FlipToGDISurface(), DD_OK);
  EXPECT_EQ(pixel(front, 320, 240), 0x001Fu);

  releaseDevice();
  back->Release();
  EXPECT_EQ(front->Release(), 0u);
}

// Without a window's context the device draws on a context of its own, and
// frames reach the screen through memory as before.
TEST_F(WindowGl, WithoutTheWindowTheDeviceStartsOnItsOwnContext) {
  d3d::setWindowGl(nullptr);
  ASSERT_NE(gl::sharedContext(), nullptr);
  EXPECT_EQ(gl::sharedContext()->window(), nullptr);
}

}  // namespace
}  // namespace kv::testing
