// The OpenGL device against the reference device: seeded random scenes drawn
// through the Direct3D stand-in on both, pixels read back through Lock; lock
// and unlock of textures, the render target and the z-buffer; loss and restore.
#include <cstring>
#include <filesystem>
#include <tuple>

#include "platform/host/png.h"
#include "platform/raster/compare.h"
#include "platform/raster/pixel.h"
#include "tests/gl/gl_fixture.h"
#include "tests/raster/scene.h"

namespace kv::testing {
namespace {

using d3d::testing::Vertex;
using GlDevice = GlDeviceTest;

constexpr int W = 160, H = 120;

// The target's pixels as the comparison reads them (read back through Lock).
struct Picture {
  std::vector<uint8_t> bytes;
  raster::ColorTarget target;
};

Picture picture(LPDIRECTDRAWSURFACE4 surface) {
  Picture p;
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  if (surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) != DD_OK) return p;
  const int bytes = desc.ddpfPixelFormat.dwRGBBitCount / 8;
  const auto* base = static_cast<const uint8_t*>(desc.lpSurface);
  p.bytes.assign(base, base + desc.lPitch * desc.dwHeight);
  surface->Unlock(nullptr);
  p.target = {p.bytes.data(), desc.lPitch, int32_t(desc.dwWidth), int32_t(desc.dwHeight),
              bytes == 2 ? raster::ColorFormat::RGB565 : raster::ColorFormat::XRGB8888};
  return p;
}

// Both pictures and their difference (white where a channel is off by more
// than the tolerance) side by side, for a failure to be looked at.
std::string writeDiff(const std::string& name, const Picture& a, const Picture& b, int tolerance) {
  const int w = a.target.width, h = a.target.height;
  std::vector<uint32_t> rgb(size_t(w) * 3 * h);
  const auto at = [](const Picture& p, int x, int y) {
    const uint8_t* row = p.bytes.data() + y * p.target.pitch;
    if (p.target.format == raster::ColorFormat::RGB565) {
      uint16_t v;
      std::memcpy(&v, row + 2 * x, 2);
      const raster::Argb c = raster::unpack565(v);
      return (c.r << 16) | (c.g << 8) | c.b;
    }
    uint32_t v;
    std::memcpy(&v, row + 4 * x, 4);
    return v & 0xFFFFFFu;
  };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t p = at(a, x, y), q = at(b, x, y);
      int worst = 0;
      for (int s : {0, 8, 16})
        worst = std::max(worst, std::abs(int((p >> s) & 255) - int((q >> s) & 255)));
      rgb[size_t(y) * 3 * w + x] = p;
      rgb[size_t(y) * 3 * w + w + x] = q;
      rgb[size_t(y) * 3 * w + 2 * w + x] = worst > tolerance ? 0xFFFFFF : worst * 0x0F0F0F / 16;
    }
  const std::string path =
      (std::filesystem::temp_directory_path() / ("kvgl_diff_" + name + ".png")).string();
  std::string error;
  host::writePng(path, rgb.data(), 3 * w, h, error);
  return path;
}

// The scene's textures as surfaces (key colour 0), shared by both devices.
struct Textures {
  std::vector<LPDIRECTDRAWSURFACE4> surfaces;
  std::vector<LPDIRECT3DTEXTURE2> faces;
  void release() {
    for (auto f : faces) f->Release();
    for (auto s : surfaces) s->Release();
  }
};

Textures makeTextures(LPDIRECTDRAW4 dd, const raster::testing::KitScene& scene) {
  Textures out;
  const DDPIXELFORMAT formats[] = {d3d::testing::palette8Format(), d3d::testing::argb1555Format(),
                                   d3d::testing::argb4444Format(), d3d::testing::rgb565Format()};
  for (const raster::testing::TextureData& data : scene.textures) {
    const raster::Texture& t = data.texture;
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.ddsCaps.dwCaps = DDSCAPS_TEXTURE;
    desc.dwWidth = t.width;
    desc.dwHeight = t.height;
    desc.ddpfPixelFormat = formats[int(t.format)];
    LPDIRECTDRAWSURFACE4 s = nullptr;
    EXPECT_EQ(dd->CreateSurface(&desc, &s, nullptr), DD_OK);
    DDSURFACEDESC2 locked{};
    locked.dwSize = sizeof locked;
    EXPECT_EQ(s->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DD_OK);
    for (int y = 0; y < t.height; ++y)
      std::memcpy(static_cast<uint8_t*>(locked.lpSurface) + y * locked.lPitch,
                  data.bytes.data() + y * t.pitch, t.pitch);
    s->Unlock(nullptr);
    DDCOLORKEY key{0, 0};
    s->SetColorKey(DDCKEY_SRCBLT, &key);
    if (t.format == raster::TextureFormat::Palette8) {
      PALETTEENTRY entries[256];
      for (int e = 0; e < 256; ++e) {
        const raster::Argb c = raster::unpackArgb(data.palette[e]);
        entries[e] = {BYTE(c.r), BYTE(c.g), BYTE(c.b), 0};
      }
      LPDIRECTDRAWPALETTE palette = nullptr;
      dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr);
      s->SetPalette(palette);
      palette->Release();
    }
    LPDIRECT3DTEXTURE2 face = nullptr;
    s->QueryInterface(IID_IDirect3DTexture2, reinterpret_cast<void**>(&face));
    out.surfaces.push_back(s);
    out.faces.push_back(face);
  }
  return out;
}

// The fan's states as the kit sets them, on both devices alike.
void setStates(const raster::testing::KitScene::Fan& fan, const Textures& textures,
               std::initializer_list<LPDIRECT3DDEVICE3> devices) {
  const raster::State& s = fan.state;
  const auto op = [](auto o) {
    return o == decltype(o)::Modulate        ? D3DTOP_MODULATE
           : o == decltype(o)::SelectTexture ? D3DTOP_SELECTARG1
                                             : D3DTOP_SELECTARG2;
  };
  for (LPDIRECT3DDEVICE3 d : devices) {
    d->SetTexture(0, fan.texture >= 0 ? textures.faces[fan.texture] : nullptr);
    d->SetRenderState(D3DRENDERSTATE_TEXTUREPERSPECTIVE, s.perspective);
    const DWORD filter =
        s.filter == raster::Filter::Bilinear ? D3DFILTER_LINEAR : D3DFILTER_NEAREST;
    d->SetRenderState(D3DRENDERSTATE_TEXTUREMAG, filter);
    d->SetRenderState(D3DRENDERSTATE_TEXTUREMIN, filter);
    d->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, s.colorKeyEnable);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, op(s.alphaOp));
    d->SetTextureStageState(0, D3DTSS_COLOROP, op(s.colorOp));
    d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, s.blendEnable);
    d->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRENDERSTATE_DESTBLEND,
                      s.dstBlend == raster::BlendFactor::One ? D3DBLEND_ONE : D3DBLEND_INVSRCALPHA);
    d->SetRenderState(D3DRENDERSTATE_ZENABLE, s.depthEnable);
    d->SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_GREATEREQUAL);
    d->SetRenderState(D3DRENDERSTATE_DITHERENABLE, s.dither);
    d->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  }
}

// Every scene is held to 99% of pixels within 8 levels. On a 565 target the
// device blends, dithers and truncates as the software devices do, so nearly
// every pixel is the same; on a 32-bit one GL's blender rounds its own way
// (a level or two). What remains besides: a pixel where GL's float
// interpolation puts a colour or a nearest-texel pick on the other side of a
// rounding edge.
TEST_F(GlDevice, RandomScenesMatchTheReferenceRasterizer) {
  struct Case {
    bool deep, blending;
    double identical;
  };
  for (const Case c :
       {Case{true, true, 0.5}, Case{false, false, 0.999}, Case{false, true, 0.999}}) {
    const bool deep = c.deep;
    for (uint32_t seed = 1; seed <= 6; ++seed) {
      raster::testing::KitScene scene = raster::testing::kitScene(seed, W, H);
      if (!c.blending)
        for (auto& fan : scene.fans) fan.state.blendEnable = false;
      Textures textures = makeTextures(dd, scene);
      Rig gl = makeRig(gl::kHardwareDeviceGuid, W, H, deep);
      Rig ref = makeRig(IID_IDirect3DRefDevice, W, H, deep);
      ASSERT_NE(gl.device, nullptr);
      for (Rig* r : {&gl, &ref}) {
        D3DRECT all{0, 0, W, H};
        r->viewport->Clear2(1, &all, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x203040, 0.0f, 0);
        r->device->BeginScene();
      }
      for (const auto& fan : scene.fans) {
        setStates(fan, textures, {gl.device, ref.device});
        EXPECT_EQ(drawFan(gl.device, fan.corners), D3D_OK);
        drawFan(ref.device, fan.corners);
      }
      for (Rig* r : {&gl, &ref}) r->device->EndScene();
      const Picture a = picture(gl.target), b = picture(ref.target);
      const raster::FrameDifference d = raster::compareTargets(a.target, b.target, 8);
      const double within = 1.0 - double(d.overTolerance) / double(std::max<int64_t>(d.pixels, 1));
      const std::string name = std::string(deep ? "32" : "16") + (c.blending ? "blend" : "") + "_" +
                               std::to_string(seed);
      RecordProperty("within" + name, std::to_string(within));
      RecordProperty("identical" + name, std::to_string(d.identicalFraction()));
      if (within < 0.99 || d.identicalFraction() < c.identical)
        ADD_FAILURE() << name << ": " << within << " within 8 levels, " << d.identicalFraction()
                      << " identical, worst at " << d.worstX << "," << d.worstY << " by "
                      << d.maxDelta << "; see " << writeDiff(name, a, b, 8);
      gl.release();
      ref.release();
      textures.release();
    }
  }
}

TEST_F(GlDevice, ListsEveryTextureFormatAndOnlyFloatDepth) {
  std::vector<DDPIXELFORMAT> formats, depths;
  Rig rig = makeRig(gl::kHardwareDeviceGuid, 16, 16, false);
  ASSERT_NE(rig.device, nullptr);
  const auto collect = [](LPDDPIXELFORMAT f, LPVOID list) {
    static_cast<std::vector<DDPIXELFORMAT>*>(list)->push_back(*f);
    return HRESULT(DDENUMRET_OK);
  };
  rig.device->EnumTextureFormats(collect, &formats);
  d3d->EnumZBufferFormats(gl::kHardwareDeviceGuid, collect, &depths);
  ASSERT_EQ(formats.size(), 4u);
  EXPECT_TRUE(formats[0].dwFlags & DDPF_PALETTEINDEXED8);
  EXPECT_EQ(
      std::tuple(formats[1].dwRGBAlphaBitMask, formats[2].dwRGBAlphaBitMask, formats[3].dwRBitMask),
      std::tuple(0x8000u, 0xF000u, 0xF800u));
  ASSERT_EQ(depths.size(), 1u);
  EXPECT_EQ(depths[0].dwZBufferBitDepth, 32u);
  rig.release();
}

TEST_F(GlDevice, LockAndUnlockRoundTripTexturesTargetAndDepth) {
  Rig rig = makeRig(gl::kHardwareDeviceGuid, 32, 32, true);
  ASSERT_NE(rig.device, nullptr);
  D3DRECT all{0, 0, 32, 32};
  rig.viewport->Clear2(1, &all, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00FF0000, 0.0f, 0);
  EXPECT_EQ(pixel(rig.target, 5, 5), 0xFFFF0000u) << "a clear reads back";

  // Written through Lock, then drawn over in part: both survive.
  DDSURFACEDESC2 desc;
  uint8_t* base = lock(rig.target, desc);
  ASSERT_NE(base, nullptr);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const uint32_t v = 0xFF000000u | (x * 8) << 8 | y * 8;
      std::memcpy(base + y * desc.lPitch + x * 4, &v, 4);
    }
  rig.target->Unlock(nullptr);
  rig.device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  rig.device->BeginScene();
  const float z = 0.25f;
  EXPECT_EQ(drawFan(rig.device, {{0, 0, z, z, 0xFFFFFFFF, 0, 0},
                                 {16, 0, z, z, 0xFFFFFFFF, 1, 0},
                                 {16, 16, z, z, 0xFFFFFFFF, 1, 1},
                                 {0, 16, z, z, 0xFFFFFFFF, 0, 1}}),
            D3D_OK);
  rig.device->EndScene();
  EXPECT_EQ(std::tuple(pixel(rig.target, 3, 3), pixel(rig.target, 20, 25)),
            std::tuple(0xFFFFFFFFu, 0xFF000000u | (20 * 8) << 8 | 25 * 8));
  float depth = -1;
  base = lock(rig.z, desc);
  ASSERT_NE(base, nullptr);
  std::memcpy(&depth, base + 3 * desc.lPitch + 3 * 4, 4);
  rig.z->Unlock(nullptr);
  EXPECT_FLOAT_EQ(depth, z) << "the z-buffer reads back the kit's 1/z";

  // A texture changed through Lock after it was drawn with is drawn anew.
  LPDIRECTDRAWSURFACE4 surface = create(DDSCAPS_TEXTURE, 8, 8, d3d::testing::rgb565Format());
  LPDIRECT3DTEXTURE2 tex = nullptr;
  surface->QueryInterface(IID_IDirect3DTexture2, reinterpret_cast<void**>(&tex));
  rig.device->SetTexture(0, tex);
  rig.device->SetRenderState(D3DRENDERSTATE_ZENABLE, FALSE);
  for (uint16_t color : {uint16_t(0xF800), uint16_t(0x001F)}) {
    base = lock(surface, desc);
    ASSERT_NE(base, nullptr);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) std::memcpy(base + y * desc.lPitch + 2 * x, &color, 2);
    surface->Unlock(nullptr);
    rig.device->BeginScene();
    drawFan(rig.device, {{0, 0, z, z, 0xFFFFFFFF, 0, 0},
                         {32, 0, z, z, 0xFFFFFFFF, 1, 0},
                         {32, 32, z, z, 0xFFFFFFFF, 1, 1},
                         {0, 32, z, z, 0xFFFFFFFF, 0, 1}});
    rig.device->EndScene();
    EXPECT_EQ(pixel(rig.target, 30, 30), color == 0xF800 ? 0xFFFF0000u : 0xFF0000FFu);
  }
  tex->Release();
  surface->Release();
  rig.release();
}

TEST_F(GlDevice, LostTargetRefusesDrawingAndRestoredOneDrawsAgain) {
  Rig rig = makeRig(gl::kHardwareDeviceGuid, 16, 16, false);
  ASSERT_NE(rig.device, nullptr);
  D3DRECT all{0, 0, 16, 16};
  rig.viewport->Clear2(1, &all, D3DCLEAR_TARGET, 0x0000FF00, 0.0f, 0);
  ddraw::testing::loseAllSurfaces();
  EXPECT_EQ(rig.device->BeginScene(), DDERR_SURFACELOST);
  EXPECT_EQ(rig.viewport->Clear2(1, &all, D3DCLEAR_TARGET, 0x00FF0000, 0.0f, 0), DDERR_SURFACELOST);
  EXPECT_EQ(rig.target->Restore(), DD_OK);
  EXPECT_EQ(rig.z->Restore(), DD_OK);
  EXPECT_EQ(rig.viewport->Clear2(1, &all, D3DCLEAR_TARGET, 0x00FF0000, 0.0f, 0), D3D_OK);
  EXPECT_EQ(rig.device->BeginScene(), D3D_OK);
  rig.device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  EXPECT_EQ(drawFan(rig.device, {{0, 0, 0.5f, 0.5f, 0xFF0000FF, 0, 0},
                                 {8, 0, 0.5f, 0.5f, 0xFF0000FF, 0, 0},
                                 {8, 16, 0.5f, 0.5f, 0xFF0000FF, 0, 0}}),
            D3D_OK);
  rig.device->EndScene();
  EXPECT_EQ(std::tuple(pixel(rig.target, 6, 2), pixel(rig.target, 14, 14)),
            std::tuple(0x001Fu, 0xF800u));
  rig.release();
}

}  // namespace
}  // namespace kv::testing
