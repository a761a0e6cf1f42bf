// Devices and viewports: render states and texture stage 0 are kept as the
// kit sets them and resolved into the rasterizer's state at each draw; clears
// and triangles go to the device's back end.
#include <algorithm>
#include <cstring>

#include "platform/d3d/objects.h"

namespace kv::d3d {

namespace {

struct Recorder {
  bool on = false;
  std::vector<testing::RecordedDraw> draws;
};
Recorder recorder;

constexpr DWORD kVertexFormat = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

bool rasterTextureFormat(const DDPIXELFORMAT& f, raster::TextureFormat& out) {
  if (ddraw::sameFormat(f, ddraw::paletteFormat8()))
    out = raster::TextureFormat::Palette8;
  else if (ddraw::sameFormat(f, ddraw::argb1555Format()))
    out = raster::TextureFormat::ARGB1555;
  else if (ddraw::sameFormat(f, ddraw::argb4444Format()))
    out = raster::TextureFormat::ARGB4444;
  else if (ddraw::sameFormat(f, ddraw::rgb565Format()))
    out = raster::TextureFormat::RGB565;
  else
    return false;
  return true;
}

// A render target the rasterizers can draw into, as a D3DDEVICEDESC depth bit.
DWORD renderDepthBit(const ddraw::Surface& s) {
  if (ddraw::sameFormat(s.format(), ddraw::displayFormat(16))) return DDBD_16;
  if (ddraw::sameFormat(s.format(), ddraw::displayFormat(32))) return DDBD_32;
  return 0;
}

raster::BlendFactor blendFactor(DWORD blend, raster::BlendFactor otherwise) {
  switch (blend) {
    case D3DBLEND_ZERO:
      return raster::BlendFactor::Zero;
    case D3DBLEND_ONE:
      return raster::BlendFactor::One;
    case D3DBLEND_SRCALPHA:
      return raster::BlendFactor::SrcAlpha;
    case D3DBLEND_INVSRCALPHA:
      return raster::BlendFactor::InvSrcAlpha;
    default:
      return otherwise;  // factors the devices do not offer
  }
}

bool linearFilter(DWORD legacy) {
  return legacy == D3DFILTER_LINEAR || legacy == D3DFILTER_MIPLINEAR ||
         legacy == D3DFILTER_LINEARMIPNEAREST || legacy == D3DFILTER_LINEARMIPLINEAR;
}

// Which input a stage operation passes on: the texel or the vertex colour.
enum class Input { Texture, Diffuse, Both };
Input stageInput(DWORD op, DWORD arg1, DWORD arg2) {
  const auto input = [](DWORD arg) {
    return (arg & 0xF) == D3DTA_TEXTURE ? Input::Texture : Input::Diffuse;
  };
  switch (op) {
    case D3DTOP_DISABLE:
      return Input::Diffuse;
    case D3DTOP_SELECTARG1:
      return input(arg1);
    case D3DTOP_SELECTARG2:
      return input(arg2);
    default:
      return Input::Both;  // modulate (the other operations are not offered)
  }
}

}  // namespace

// Only the display's two RGB formats can be drawn into.
HRESULT checkRenderTarget(const DeviceEntry& entry, ddraw::Surface& target) {
  if (target.IsLost() != DD_OK) return DDERR_SURFACELOST;
  if (!(target.caps() & DDSCAPS_3DDEVICE)) return DDERR_INVALIDCAPS;
  if (!(entry.desc.dwDeviceRenderBitDepth & renderDepthBit(target)))
    return DDERR_INVALIDPIXELFORMAT;
  return D3D_OK;
}

// ---------------------------------------------------------------------------
// Viewport

HRESULT Viewport::GetViewport2(LPD3DVIEWPORT2 data) {
  if (data == nullptr || data->dwSize != sizeof(D3DVIEWPORT2)) return DDERR_INVALIDPARAMS;
  if (!dataSet_) return D3DERR_VIEWPORTDATANOTSET;
  *data = data_;
  return D3D_OK;
}

HRESULT Viewport::SetViewport2(LPD3DVIEWPORT2 data) {
  if (data == nullptr || data->dwSize != sizeof(D3DVIEWPORT2) || data->dwWidth == 0 ||
      data->dwHeight == 0)
    return DDERR_INVALIDPARAMS;
  if (device_ == nullptr) return D3DERR_VIEWPORTHASNODEVICE;
  data_ = *data;
  dataSet_ = true;
  return D3D_OK;
}

HRESULT Viewport::Clear2(DWORD count, LPD3DRECT rects, DWORD flags, D3DCOLOR color, D3DVALUE z,
                         DWORD stencil) {
  if (count == 0 || rects == nullptr) return DDERR_INVALIDPARAMS;
  if (device_ == nullptr) return D3DERR_VIEWPORTHASNODEVICE;
  if (!dataSet_) return D3DERR_VIEWPORTDATANOTSET;
  return device_->clear(rects, count, data_, flags, color, z);
}

// ---------------------------------------------------------------------------
// Device

Device::Device(Direct3D* direct3D, const DeviceEntry& entry, ddraw::Surface* target,
               std::unique_ptr<Backend> backend)
    : direct3D_(direct3D), entry_(entry), target_(target), backend_(std::move(backend)) {
  direct3D_->AddRef();
  target_->AddRef();
  auto& rs = renderStates_;
  rs[D3DRENDERSTATE_TEXTUREADDRESS] = D3DTADDRESS_WRAP;
  rs[D3DRENDERSTATE_TEXTUREPERSPECTIVE] = TRUE;
  rs[D3DRENDERSTATE_ZENABLE] = target_->zBuffer() != nullptr ? D3DZB_TRUE : D3DZB_FALSE;
  rs[D3DRENDERSTATE_FILLMODE] = D3DFILL_SOLID;
  rs[D3DRENDERSTATE_SHADEMODE] = D3DSHADE_GOURAUD;
  rs[D3DRENDERSTATE_PLANEMASK] = 0xFFFFFFFF;
  rs[D3DRENDERSTATE_ZWRITEENABLE] = TRUE;
  rs[D3DRENDERSTATE_LASTPIXEL] = TRUE;
  rs[D3DRENDERSTATE_TEXTUREMAG] = D3DFILTER_NEAREST;
  rs[D3DRENDERSTATE_TEXTUREMIN] = D3DFILTER_NEAREST;
  rs[D3DRENDERSTATE_SRCBLEND] = D3DBLEND_ONE;
  rs[D3DRENDERSTATE_DESTBLEND] = D3DBLEND_ZERO;
  rs[D3DRENDERSTATE_TEXTUREMAPBLEND] = D3DTBLEND_MODULATE;
  rs[D3DRENDERSTATE_CULLMODE] = D3DCULL_CCW;
  rs[D3DRENDERSTATE_ZFUNC] = D3DCMP_LESSEQUAL;
  rs[D3DRENDERSTATE_ALPHAFUNC] = D3DCMP_ALWAYS;
  rs[D3DRENDERSTATE_SPECULARENABLE] = TRUE;
  rs[D3DRENDERSTATE_TEXTUREADDRESSU] = rs[D3DRENDERSTATE_TEXTUREADDRESSV] = D3DTADDRESS_WRAP;
  auto& ts = stageStates_;
  ts[D3DTSS_COLOROP] = D3DTOP_MODULATE;
  ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
  ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
  // The kit's textures carry no alpha (their upload writes colour bits only),
  // so the blend's alpha comes from the vertices unless a caller says otherwise.
  ts[D3DTSS_ALPHAOP] = D3DTOP_SELECTARG2;
  ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
  ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
  ts[D3DTSS_ADDRESS] = ts[D3DTSS_ADDRESSU] = ts[D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
  ts[D3DTSS_MAGFILTER] = D3DTFG_POINT;
  ts[D3DTSS_MINFILTER] = D3DTFN_POINT;
  ts[D3DTSS_MIPFILTER] = D3DTFP_NONE;
}

Device::~Device() {
  backend_.reset();  // it may hand pixels back to the surfaces it holds for
  if (texture_ != nullptr) texture_->Release();
  if (currentViewport_ != nullptr) currentViewport_->Release();
  for (Viewport* viewport : viewports_) {
    viewport->attach(nullptr);
    viewport->Release();
  }
  target_->Release();
  direct3D_->Release();
}

HRESULT Device::GetCaps(LPD3DDEVICEDESC hardware, LPD3DDEVICEDESC software) {
  if (hardware == nullptr || software == nullptr || hardware->dwSize != sizeof(D3DDEVICEDESC) ||
      software->dwSize != sizeof(D3DDEVICEDESC))
    return DDERR_INVALIDPARAMS;
  describe(entry_, *hardware, *software);
  return D3D_OK;
}

HRESULT Device::AddViewport(LPDIRECT3DVIEWPORT3 face) {
  auto* viewport = dynamic_cast<Viewport*>(face);
  if (viewport == nullptr || viewport->device() != nullptr) return DDERR_INVALIDPARAMS;
  viewport->AddRef();
  viewport->attach(this);
  viewports_.push_back(viewport);
  return D3D_OK;
}

HRESULT Device::DeleteViewport(LPDIRECT3DVIEWPORT3 face) {
  const auto it = std::find(viewports_.begin(), viewports_.end(), dynamic_cast<Viewport*>(face));
  if (it == viewports_.end()) return D3DERR_VIEWPORTNOTINDEVICE;
  Viewport* viewport = *it;
  viewports_.erase(it);
  viewport->attach(nullptr);
  // Both references go at once: the list's and, when current, the device's.
  const bool current = currentViewport_ == viewport;
  if (current) currentViewport_ = nullptr;
  if (current && viewport->Release() == 0) return D3D_OK;
  viewport->Release();
  return D3D_OK;
}

HRESULT Device::EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, LPVOID context) {
  return enumFormats(entry_.textureFormats, callback, context);
}

HRESULT Device::BeginScene() {
  if (inScene_) return D3DERR_SCENE_IN_SCENE;
  if (target_->IsLost() != DD_OK) return DDERR_SURFACELOST;
  inScene_ = true;
  return D3D_OK;
}

HRESULT Device::EndScene() {
  if (!inScene_) return D3DERR_SCENE_NOT_IN_SCENE;
  inScene_ = false;
  backend_->endScene();
  return D3D_OK;
}

HRESULT Device::GetDirect3D(LPDIRECT3D3* direct3D) {
  return win::handOut(direct3D_, direct3D, D3D_OK);
}

HRESULT Device::SetCurrentViewport(LPDIRECT3DVIEWPORT3 face) {
  auto* viewport = dynamic_cast<Viewport*>(face);
  if (viewport == nullptr) return DDERR_INVALIDPARAMS;
  if (viewport->device() != this) return D3DERR_VIEWPORTNOTINDEVICE;
  win::hold(currentViewport_, viewport);
  return D3D_OK;
}

HRESULT Device::GetCurrentViewport(LPDIRECT3DVIEWPORT3* viewport) {
  return win::handOut(currentViewport_, viewport, D3DERR_NOCURRENTVIEWPORT);
}

HRESULT Device::SetRenderTarget(LPDIRECTDRAWSURFACE4 surface, DWORD flags) {
  auto* target = dynamic_cast<ddraw::Surface*>(surface);
  if (target == nullptr || flags != 0) return DDERR_INVALIDPARAMS;
  if (HRESULT hr = checkRenderTarget(entry_, *target); FAILED(hr)) return hr;
  win::hold(target_, target);
  return D3D_OK;
}

HRESULT Device::GetRenderTarget(LPDIRECTDRAWSURFACE4* surface) {
  return win::handOut(target_, surface, D3D_OK);
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, LPDWORD value) {
  if (value == nullptr || state == 0 || state >= D3DRENDERSTATE_COUNT) return DDERR_INVALIDPARAMS;
  *value = renderStates_[state];
  return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  if (state == 0 || state >= D3DRENDERSTATE_COUNT) return DDERR_INVALIDPARAMS;
  renderStates_[state] = value;
  // The older filter states and stage 0's filters are one setting.
  if (state == D3DRENDERSTATE_TEXTUREMAG)
    stageStates_[D3DTSS_MAGFILTER] = linearFilter(value) ? D3DTFG_LINEAR : D3DTFG_POINT;
  else if (state == D3DRENDERSTATE_TEXTUREMIN)
    stageStates_[D3DTSS_MINFILTER] = linearFilter(value) ? D3DTFN_LINEAR : D3DTFN_POINT;
  return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, LPDIRECT3DTEXTURE2* texture) {
  if (stage != 0) return DDERR_INVALIDPARAMS;
  return win::handOut(texture_, texture, D3D_OK);  // no texture is no error
}

HRESULT Device::SetTexture(DWORD stage, LPDIRECT3DTEXTURE2 face) {
  if (stage != 0) return DDERR_INVALIDPARAMS;  // one texture stage
  auto* texture = dynamic_cast<ddraw::Surface*>(face);
  if (face != nullptr && (texture == nullptr || !(texture->caps() & DDSCAPS_TEXTURE)))
    return DDERR_INVALIDPARAMS;
  win::hold(texture_, texture);
  return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, LPDWORD value) {
  if (value == nullptr || stage != 0 || state == 0 || state >= D3DTSS_COUNT)
    return DDERR_INVALIDPARAMS;
  *value = stageStates_[state];
  return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) {
  if (stage != 0 || state == 0 || state >= D3DTSS_COUNT) return DDERR_INVALIDPARAMS;
  stageStates_[state] = value;
  if (state == D3DTSS_MAGFILTER)
    renderStates_[D3DRENDERSTATE_TEXTUREMAG] =
        value == D3DTFG_LINEAR ? D3DFILTER_LINEAR : D3DFILTER_NEAREST;
  else if (state == D3DTSS_MINFILTER)
    renderStates_[D3DRENDERSTATE_TEXTUREMIN] =
        value == D3DTFN_LINEAR ? D3DFILTER_LINEAR : D3DFILTER_NEAREST;
  return D3D_OK;
}

bool Device::drawTarget(DrawTarget& target) const {
  const DWORD bit = renderDepthBit(*target_);
  if (bit == 0 || target_->IsLost() != DD_OK) return false;
  target = {};
  target.surface = target_;
  target.color = {target_->pixels(), target_->pitch(), target_->width(), target_->height(),
                  bit == DDBD_16 ? raster::ColorFormat::RGB565 : raster::ColorFormat::XRGB8888};
  ddraw::Surface* z = target_->zBuffer();
  if (z != nullptr && z->alive()) {
    target.zBuffer = z;
    target.depth = {reinterpret_cast<uint32_t*>(z->pixels()), z->pitch(), z->width(), z->height()};
  }
  return true;
}

raster::State Device::resolveState() {
  const auto& rs = renderStates_;
  const auto& ts = stageStates_;
  raster::State state;

  const Input color = stageInput(ts[D3DTSS_COLOROP], ts[D3DTSS_COLORARG1], ts[D3DTSS_COLORARG2]);
  const Input alpha = stageInput(ts[D3DTSS_ALPHAOP], ts[D3DTSS_ALPHAARG1], ts[D3DTSS_ALPHAARG2]);
  raster::TextureFormat format{};
  const bool usable = texture_ != nullptr && texture_->IsLost() == DD_OK &&
                      ts[D3DTSS_COLOROP] != D3DTOP_DISABLE &&
                      rasterTextureFormat(texture_->format(), format) &&
                      (format != raster::TextureFormat::Palette8 || texture_->palette() != nullptr);
  if (usable) {
    rasterTexture_ = {
        texture_->pixels(),
        texture_->pitch(),
        texture_->width(),
        texture_->height(),
        format,
        format == raster::TextureFormat::Palette8 ? texture_->palette()->argb() : nullptr};
    state.texture = &rasterTexture_;
    state.colorOp = color == Input::Both      ? raster::ColorOp::Modulate
                    : color == Input::Texture ? raster::ColorOp::SelectTexture
                                              : raster::ColorOp::SelectDiffuse;
    state.alphaOp = alpha == Input::Both      ? raster::AlphaOp::Modulate
                    : alpha == Input::Texture ? raster::AlphaOp::SelectTexture
                                              : raster::AlphaOp::SelectDiffuse;
    DWORD key = 0;
    state.colorKeyEnable = rs[D3DRENDERSTATE_COLORKEYENABLE] != FALSE && texture_->sourceKey(key);
    state.colorKey = key;
  } else {
    state.colorOp = raster::ColorOp::SelectDiffuse;
    state.alphaOp = raster::AlphaOp::SelectDiffuse;
  }
  state.perspective = rs[D3DRENDERSTATE_TEXTUREPERSPECTIVE] != FALSE;
  state.filter =
      ts[D3DTSS_MAGFILTER] == D3DTFG_LINEAR ? raster::Filter::Bilinear : raster::Filter::Nearest;

  state.blendEnable = rs[D3DRENDERSTATE_ALPHABLENDENABLE] != FALSE;
  if (rs[D3DRENDERSTATE_SRCBLEND] == D3DBLEND_BOTHSRCALPHA) {
    state.srcBlend = raster::BlendFactor::SrcAlpha;
    state.dstBlend = raster::BlendFactor::InvSrcAlpha;
  } else {
    state.srcBlend = blendFactor(rs[D3DRENDERSTATE_SRCBLEND], raster::BlendFactor::One);
    state.dstBlend = blendFactor(rs[D3DRENDERSTATE_DESTBLEND], raster::BlendFactor::Zero);
  }

  state.depthEnable = rs[D3DRENDERSTATE_ZENABLE] != D3DZB_FALSE && target_->zBuffer() != nullptr;
  state.depthWrite = rs[D3DRENDERSTATE_ZWRITEENABLE] != FALSE;
  switch (rs[D3DRENDERSTATE_ZFUNC]) {
    case D3DCMP_GREATEREQUAL:
      state.depthCompare = raster::DepthCompare::GreaterEqual;
      break;
    case D3DCMP_GREATER:
      state.depthCompare = raster::DepthCompare::Greater;
      break;
    case D3DCMP_LESSEQUAL:
      state.depthCompare = raster::DepthCompare::LessEqual;
      break;
    case D3DCMP_LESS:
      state.depthCompare = raster::DepthCompare::Less;
      break;
    default:
      state.depthCompare = raster::DepthCompare::Always;
      break;  // NEVER is handled by the draw
  }
  state.dither = rs[D3DRENDERSTATE_DITHERENABLE] != FALSE;
  state.shadeMode = rs[D3DRENDERSTATE_SHADEMODE] == D3DSHADE_FLAT ? raster::ShadeMode::Flat
                                                                  : raster::ShadeMode::Gouraud;
  return state;
}

bool Device::culled(const raster::Vertex* v, DWORD count) const {
  const DWORD mode = renderStates_[D3DRENDERSTATE_CULLMODE];
  if (mode != D3DCULL_CW && mode != D3DCULL_CCW) return false;
  // Twice the signed area with y pointing down: positive runs clockwise on screen.
  double area = 0;
  for (DWORD i = 0; i < count; ++i) {
    const raster::Vertex& a = v[i];
    const raster::Vertex& b = v[(i + 1) % count];
    area += static_cast<double>(a.sx) * b.sy - static_cast<double>(b.sx) * a.sy;
  }
  return mode == D3DCULL_CW ? area > 0 : area < 0;
}

void Device::drawTriangles(D3DPRIMITIVETYPE type, const DrawTarget& target,
                           const raster::State& state, const raster::Vertex* v, DWORD count) {
  ddraw::Surface* texture = state.texture != nullptr ? texture_ : nullptr;
  switch (type) {
    case D3DPT_TRIANGLEFAN:
      if (!culled(v, count)) backend_->drawFan(target, state, texture, v, static_cast<int>(count));
      break;
    case D3DPT_TRIANGLELIST:
      for (DWORD i = 0; i + 3 <= count; i += 3)
        if (!culled(v + i, 3)) backend_->drawFan(target, state, texture, v + i, 3);
      break;
    default:  // strip: every other triangle is turned round to keep its winding
      for (DWORD i = 0; i + 3 <= count; ++i) {
        const raster::Vertex tri[3] = {v[i + (i & 1)], v[i + 1 - (i & 1)], v[i + 2]};
        if (!culled(tri, 3)) backend_->drawFan(target, state, texture, tri, 3);
      }
      break;
  }
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, DWORD vertexFormat, LPVOID vertices,
                              DWORD count, DWORD flags) {
  HRESULT result = D3D_OK;
  raster::State state;
  DrawTarget target{};
  if (!inScene_)
    result = D3DERR_SCENE_NOT_IN_SCENE;
  else if (vertexFormat != kVertexFormat)
    result = D3DERR_INVALIDVERTEXTYPE;
  else if (vertices == nullptr || count == 0 || count > entry_.desc.dwMaxVertexCount)
    result = DDERR_INVALIDPARAMS;
  else if (type != D3DPT_TRIANGLEFAN && type != D3DPT_TRIANGLELIST && type != D3DPT_TRIANGLESTRIP)
    result = D3DERR_INVALIDPRIMITIVETYPE;
  else if (!drawTarget(target))
    result = DDERR_SURFACELOST;
  if (result == D3D_OK) state = resolveState();
  const auto* v = static_cast<const raster::Vertex*>(vertices);
  if (recorder.on) {
    testing::RecordedDraw& draw = recorder.draws.emplace_back();
    draw.type = type;
    draw.vertexFormat = vertexFormat;
    draw.flags = flags;
    if (v != nullptr && vertexFormat == kVertexFormat && count <= 65535)
      draw.vertices.assign(v, v + count);
    draw.renderStates = renderStates_;
    draw.stageStates = stageStates_;
    draw.texture = texture_;
    draw.state = state;
    draw.textured = state.texture != nullptr;
    draw.result = result;
  }
  if (result != D3D_OK ||
      (renderStates_[D3DRENDERSTATE_ZFUNC] == D3DCMP_NEVER && state.depthEnable))
    return result;
  drawTriangles(type, target, state, v, count);
  return D3D_OK;
}

HRESULT Device::clear(const D3DRECT* rects, DWORD count, const D3DVIEWPORT2& area, DWORD flags,
                      D3DCOLOR color, D3DVALUE z) {
  DrawTarget target{};
  if (!drawTarget(target)) return DDERR_SURFACELOST;
  const bool hasDepth = target.zBuffer != nullptr;
  const bool wantColor = (flags & D3DCLEAR_TARGET) != 0;
  const bool wantDepth = (flags & D3DCLEAR_ZBUFFER) != 0;
  // The viewport bounds every rectangle.
  const int64_t left = area.dwX, top = area.dwY;
  const int64_t right = left + area.dwWidth, bottom = top + area.dwHeight;
  for (DWORD i = 0; i < count; ++i) {
    const D3DRECT& r = rects[i];
    raster::Rect rect{static_cast<int32_t>(std::max<int64_t>(r.x1, left)),
                      static_cast<int32_t>(std::max<int64_t>(r.y1, top)),
                      static_cast<int32_t>(std::min<int64_t>(r.x2, right)),
                      static_cast<int32_t>(std::min<int64_t>(r.y2, bottom))};
    if (rect.left >= rect.right || rect.top >= rect.bottom) continue;
    backend_->clear(target, wantColor, color, wantDepth && hasDepth, z, rect);
  }
  return wantDepth && !hasDepth ? D3DERR_ZBUFFER_NOTPRESENT : D3D_OK;
}

// ---------------------------------------------------------------------------
// Test hooks: the recorder

namespace testing {

void startRecording() { recorder.on = true; }
void stopRecording() { recorder.on = false; }
const std::vector<RecordedDraw>& recordedDraws() { return recorder.draws; }
void clearRecording() { recorder.draws.clear(); }

}  // namespace testing

}  // namespace kv::d3d
