// The GL back end. The render target's and z-buffer's pixels live in a
// framebuffer while the device draws; the surfaces ask for them back (the
// keeper hook) before anyone reads or writes their memory, and the back end
// uploads their memory again when it changed behind its back. Textures are
// copies keyed by surface and change count, sampled raw so that decoding and
// the colour key are exact. Fans are gathered into one draw per run of equal
// state, which is what makes the device fast. In a window's context a frame
// goes to the screen from the framebuffer (see show), not through memory.
#include "platform/gl/backend.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gl/context.h"
#include "platform/gl/gl.h"
#include "platform/gl/shaders.h"
#include "platform/raster/pixel.h"
#include "platform/win/win32.h"

namespace kv::gl {

namespace {

void logLine(const std::string& line) { OutputDebugStringA(("gl: " + line + "\n").c_str()); }

GLuint compile(GLenum kind, std::initializer_list<const char*> sources) {
  const GLuint shader = glCreateShader(kind);
  glShaderSource(shader, static_cast<GLsizei>(sources.size()), sources.begin(), nullptr);
  glCompileShader(shader);
  GLint ok = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (ok != GL_TRUE) {
    char info[1024] = {};
    glGetShaderInfoLog(shader, sizeof info, nullptr, info);
    logLine(std::string("shader refused: ") + info);
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

GLuint link(GLuint vertex, GLuint fragment) {
  const GLuint program = glCreateProgram();
  glAttachShader(program, vertex);
  glAttachShader(program, fragment);
  glLinkProgram(program);
  GLint ok = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (ok != GL_TRUE) {
    char info[1024] = {};
    glGetProgramInfoLog(program, sizeof info, nullptr, info);
    logLine(std::string("program refused: ") + info);
    glDeleteProgram(program);
    return 0;
  }
  return program;
}

GLenum blendFactor(raster::BlendFactor f) {
  switch (f) {
    case raster::BlendFactor::Zero:
      return GL_ZERO;
    case raster::BlendFactor::One:
      return GL_ONE;
    case raster::BlendFactor::SrcAlpha:
      return GL_SRC_ALPHA;
    case raster::BlendFactor::InvSrcAlpha:
      return GL_ONE_MINUS_SRC_ALPHA;
  }
  return GL_ONE;
}

GLenum depthFunction(raster::DepthCompare c) {
  switch (c) {
    case raster::DepthCompare::Always:
      return GL_ALWAYS;
    case raster::DepthCompare::GreaterEqual:
      return GL_GEQUAL;
    case raster::DepthCompare::Greater:
      return GL_GREATER;
    case raster::DepthCompare::LessEqual:
      return GL_LEQUAL;
    case raster::DepthCompare::Less:
      return GL_LESS;
  }
  return GL_ALWAYS;
}

// The program's uniforms, looked up once.
enum Uniform {
  uTargetSize,
  uZeroToOneDepth,
  uTexels,
  uPalette,
  uPerspective,
  uColorKeyEnable,
  uColorKey,
  uColorKeyMask,
  uColorOp,
  uAlphaOp,
  uDither,
  uBlendInShader,
  uSrcBlend,
  uDstBlend,
  uDestination,
  kUniformCount
};
constexpr const char* kUniformNames[kUniformCount] = {
    "targetSize",     "zeroToOneDepth", "texels",       "palette",  "perspective",
    "colorKeyEnable", "colorKey",       "colorKeyMask", "colorOp",  "alphaOp",
    "dither",         "blendInShader",  "srcBlend",     "dstBlend", "destination"};

// One program per fragment shader variant: untextured or a texel format, by
// filter, by target depth.
constexpr int kProgramCount = 5 * 2 * 2;

int programIndex(bool textured, raster::TextureFormat format, bool bilinear, bool is565) {
  const int texels = textured ? 1 + static_cast<int>(format) : 0;
  return (texels * 2 + (textured && bilinear)) * 2 + is565;
}

struct Program {
  GLuint name = 0;
  std::array<GLint, kUniformCount> uniforms{};
};

// The state one batch of triangles is drawn with (the texture by identity
// and change count, not by address).
struct BatchState {
  raster::State state;
  uint64_t textureId = 0;
  bool is565 = false;

  bool operator==(const BatchState& o) const {
    const raster::State &a = state, &b = o.state;
    return textureId == o.textureId && is565 == o.is565 && a.colorOp == b.colorOp &&
           a.alphaOp == b.alphaOp && a.perspective == b.perspective && a.filter == b.filter &&
           a.colorKeyEnable == b.colorKeyEnable && a.colorKey == b.colorKey &&
           a.blendEnable == b.blendEnable && a.srcBlend == b.srcBlend && a.dstBlend == b.dstBlend &&
           a.depthEnable == b.depthEnable && a.depthWrite == b.depthWrite &&
           a.depthCompare == b.depthCompare && a.dither == b.dither;
  }
};

struct CachedTexture {
  GLuint name = 0;
  uint64_t generation = 0;
  int32_t width = 0, height = 0;
  raster::TextureFormat format{};
};

// The primary surface's pixels of the last frame shown: a copy of them (the
// shown texture) stands for its memory until someone asks for it.
struct Shown {
  ddraw::Surface* primary = nullptr;
  RECT from{}, to{};     // in the shown texture, and on the primary
  bool pending = false;  // the memory has not had them yet
};

bool sameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// A surface whose pixels the framebuffer holds.
struct Kept {
  ddraw::Surface* surface = nullptr;
  uint64_t generation = 0;  // of the memory last uploaded or written back
  bool uploaded = false;    // the framebuffer holds that memory's pixels
  bool newer = false;       // the framebuffer has drawn since
};

class GlBackend final : public d3d::Backend, public ddraw::PixelKeeper {
 public:
  explicit GlBackend(Context& context) : context_(context) {}

  ~GlBackend() override {
    // Hand the newest pixels back before the surfaces forget us.
    for (Kept* kept : {&color_, &depth_})
      if (kept->surface != nullptr) kept->surface->setKeeper(nullptr);
    if (shown_.primary != nullptr) shown_.primary->setKeeper(nullptr);
    context_.run([this] {
      for (auto& [id, texture] : textures_) glDeleteTextures(1, &texture.name);
      glDeleteTextures(1, &shownTexture_);
      glDeleteFramebuffers(1, &shownFramebuffer_);
      glDeleteTextures(1, &paletteTexture_);
      glDeleteTextures(1, &colorTexture_);
      glDeleteTextures(1, &depthTexture_);
      glDeleteTextures(1, &destinationTexture_);
      glDeleteFramebuffers(1, &framebuffer_);
      glDeleteBuffers(1, &vertexBuffer_);
      glDeleteVertexArrays(1, &vertexArray_);
      for (const Program& p : programs_) glDeleteProgram(p.name);
      glDeleteShader(vertexShader_);
    });
  }

  bool start() {
    bool ok = false;
    return context_.run([&] { ok = makeObjects(); }) && ok;
  }

  // GL work runs on the context's thread. A window's context is shared with
  // the host, which draws with it between our calls: our state is set again
  // after it did.
  template <class F>
  bool onContext(F&& f) {
    return context_.run([&] {
      const d3d::WindowGl* window = context_.window();
      if (window != nullptr && window->hostDraws() != seenHostDraws_) {
        restoreState();
        seenHostDraws_ = window->hostDraws();
      }
      f();
    });
  }

  // ---- d3d::Backend: GL work runs on the context's thread; fans that join
  // the batch being gathered need none.

  void clear(const d3d::DrawTarget& target, bool color, uint32_t argb, bool depth, float depthValue,
             const raster::Rect& rect) override {
    onContext([&] { clearNow(target, color, argb, depth, depthValue, rect); });
  }

  void drawFan(const d3d::DrawTarget& target, const raster::State& state, ddraw::Surface* texture,
               const raster::Vertex* vertices, int count) override {
    if (vertices == nullptr || count < 3) return;
    BatchState wanted{state, 0, target.color.format == raster::ColorFormat::RGB565};
    wanted.state.texture = nullptr;
    const bool textured =
        state.texture != nullptr && texture != nullptr && raster::validTexture(*state.texture);
    if (!textured) {
      wanted.state.colorOp = raster::ColorOp::SelectDiffuse;
      wanted.state.alphaOp = raster::AlphaOp::SelectDiffuse;
      wanted.state.colorKeyEnable = false;
    } else {
      wanted.textureId = texture->id();
    }
    if (target.zBuffer == nullptr) wanted.state.depthEnable = false;
    // A change of target, of state or of the texture's memory ends the batch
    // gathered so far.
    const bool paletted = textured && state.texture->format == raster::TextureFormat::Palette8;
    const bool textureChanged =
        textured &&
        (textureStale(*texture, *state.texture) ||
         (paletted && (!paletteUploaded_ || std::memcmp(palette_.data(), state.texture->palette,
                                                        sizeof palette_) != 0)));
    if (batch_.empty() || !bound(target) || !(wanted == batchState_) || textureChanged) {
      bool ok = false;
      onContext([&] { ok = startBatch(target, wanted, textured ? texture : nullptr, state); });
      if (!ok) return;
    }
    for (int i = 1; i + 1 < count; ++i)
      addTriangle(state, vertices[0], vertices[i], vertices[i + 1]);
    // A fan blended in the shader reads the target as the fans before it
    // left it: it is drawn at once, on its own.
    if (blendsInShader()) onContext([this] { flush(); });
  }

  void endScene() override {
    if (!batch_.empty()) onContext([this] { flush(); });
  }

  // ---- ddraw::PixelKeeper

  void writeBack(ddraw::Surface& surface) override {
    onContext([&] {
      if (&surface == shown_.primary)
        writeBackShown();
      else
        writeBackNow(surface);
    });
  }

  void release(ddraw::Surface& surface) override {
    for (Kept* kept : {&color_, &depth_})
      if (kept->surface == &surface) *kept = Kept{};
    if (&surface == shown_.primary) shown_ = Shown{};
  }

  // The frame goes from the framebuffer to the window; a copy of it (the
  // shown texture) stands for the primary's memory. A flip exchanges the two
  // textures, so that the back buffer holds the frame shown before, as its
  // memory would after the exchange.
  bool show(ddraw::Surface& surface, const RECT& area, ddraw::Surface& primary, const RECT& to,
            bool flip) override {
    d3d::WindowGl* window = context_.window();
    if (window == nullptr || &surface != color_.surface || &primary == color_.surface ||
        &primary == depth_.surface)
      return false;
    bool ok = false;
    onContext([&] { ok = showNow(*window, area, primary, to, flip); });
    if (ok) primary.setKeeper(this);
    return ok;
  }

 private:
  bool makeObjects() {
    vertexShader_ = compile(GL_VERTEX_SHADER, {kVertexShader});
    // The untextured variant is made now, so that a driver that refuses the
    // shaders leaves the device unlisted rather than failing later.
    if (vertexShader_ == 0 || program(programIndex(false, {}, false, false)) == nullptr)
      return false;

    glGenVertexArrays(1, &vertexArray_);
    glBindVertexArray(vertexArray_);
    glGenBuffers(1, &vertexBuffer_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    constexpr GLsizei stride = sizeof(raster::Vertex);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, stride, nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribIPointer(1, 1, GL_UNSIGNED_INT, stride,
                           reinterpret_cast<void*>(offsetof(raster::Vertex, diffuse)));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<void*>(offsetof(raster::Vertex, tu)));

    glGenFramebuffers(1, &framebuffer_);
    glGenTextures(1, &paletteTexture_);
    glBindTexture(GL_TEXTURE_2D, paletteTexture_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R32UI, 256, 1, 0, GL_RED_INTEGER, GL_UNSIGNED_INT, nullptr);
    setNearest();

    // The kit's depth is 1/z, which needs no clipping: depth clamps instead.
    glEnable(GL_DEPTH_CLAMP);
    if (context_.hasClipControl()) glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    batch_.reserve(3 * 4096);
    if (glGetError() != GL_NO_ERROR) {
      logLine("the device's GL objects could not be made");
      return false;
    }
    return true;
  }

  // The variant's program, compiled and linked on first use; null (logged)
  // when the driver refuses it.
  const Program* program(int index) {
    Program& p = programs_[index];
    if (p.name != 0) return &p;
    const int texels = index / 4 - 1;
    const std::string defines = "#define TEXEL_FORMAT " + std::to_string(texels) +
                                "\n#define BILINEAR " + std::to_string(index / 2 % 2) +
                                "\n#define TARGET_565 " + std::to_string(index % 2) + "\n";
    const GLuint fragment =
        compile(GL_FRAGMENT_SHADER, {kFragmentShaderVersion, defines.c_str(), kFragmentShader});
    if (fragment != 0) p.name = link(vertexShader_, fragment);
    glDeleteShader(fragment);
    if (p.name == 0) return nullptr;
    for (int i = 0; i < kUniformCount; ++i)
      p.uniforms[i] = glGetUniformLocation(p.name, kUniformNames[i]);
    glUseProgram(p.name);
    glUniform1i(p.uniforms[uTexels], 0);
    glUniform1i(p.uniforms[uPalette], 1);
    glUniform1i(p.uniforms[uDestination], 2);
    glUniform1i(p.uniforms[uZeroToOneDepth], context_.hasClipControl() ? 1 : 0);
    return &p;
  }

  // What makeObjects and resize set once, set again after the host drew (a
  // batch's draw picks its program itself).
  void restoreState() {
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glViewport(0, 0, width_, height_);
    glBindVertexArray(vertexArray_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, paletteTexture_);
    glActiveTexture(GL_TEXTURE0);
    glEnable(GL_DEPTH_CLAMP);
    if (context_.hasClipControl()) glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
    glDisable(GL_CULL_FACE);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_SCISSOR_TEST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
  }

  bool showNow(d3d::WindowGl& window, const RECT& area, ddraw::Surface& primary, const RECT& to,
               bool flip) {
    if (width_ <= 0 || area.left < 0 || area.top < 0 || area.right > width_ ||
        area.bottom > height_ || !makeShownTexture())
      return false;
    flush();
    prepare(color_, false);  // memory written behind our back comes first
    // An earlier frame shown elsewhere on the primary reaches its memory now.
    if (shown_.pending && shown_.primary == &primary && !sameRect(shown_.to, to)) writeBackShown();
    const bool frontKept = shown_.pending && shown_.primary == &primary;
    if (flip && frontKept) {
      std::swap(colorTexture_, shownTexture_);
      attach(framebuffer_, colorTexture_);
      attach(shownFramebuffer_, shownTexture_);
      // The caller counts the exchange as a change of the back buffer's memory.
      color_.uploaded = true;
      color_.newer = true;
      color_.generation = color_.surface->generation() + 1;
    } else {
      glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
      glBindFramebuffer(GL_DRAW_FRAMEBUFFER, shownFramebuffer_);
      glDisable(GL_SCISSOR_TEST);
      glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
      glBlitFramebuffer(area.left, area.top, area.right, area.bottom, area.left, area.top,
                        area.right, area.bottom, GL_COLOR_BUFFER_BIT, GL_NEAREST);
      glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
      // After the exchange the back buffer's memory is the front's, which held
      // its own pixels: the framebuffer takes them again before drawing.
      if (flip) color_.uploaded = color_.newer = false;
    }
    shown_ = Shown{&primary, area, to, true};
    window.present({shownTexture_, width_, height_, area.left, area.top, area.right - area.left,
                    area.bottom - area.top});
    return glGetError() == GL_NO_ERROR;
  }

  // The shown frame into the primary's memory, once.
  void writeBackShown() {
    if (!shown_.pending || shown_.primary == nullptr) return;
    shown_.pending = false;
    ddraw::Surface& primary = *shown_.primary;
    const RECT& from = shown_.from;
    const RECT& to = shown_.to;
    const int32_t w = std::min(from.right - from.left, primary.width() - to.left);
    const int32_t h = std::min(from.bottom - from.top, primary.height() - to.top);
    if (w <= 0 || h <= 0 || to.left < 0 || to.top < 0) return;
    const int32_t bytes = is565_ ? 2 : 4;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, shownFramebuffer_);
    glPixelStorei(GL_PACK_ROW_LENGTH, primary.pitch() / bytes);
    uint8_t* at = primary.pixels() + static_cast<ptrdiff_t>(to.top) * primary.pitch() +
                  static_cast<ptrdiff_t>(to.left) * bytes;
    glReadPixels(from.left, from.top, w, h, is565_ ? GL_RGB : GL_BGRA,
                 is565_ ? GL_UNSIGNED_SHORT_5_6_5 : GL_UNSIGNED_BYTE, at);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  }

  static void attach(GLuint framebuffer, GLuint texture) {
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
  }

  // The shown texture: the colour texture's twin, made when first needed.
  bool makeShownTexture() {
    if (shownTexture_ != 0) return true;
    if (shownFramebuffer_ == 0) glGenFramebuffers(1, &shownFramebuffer_);
    glGenTextures(1, &shownTexture_);
    glBindTexture(GL_TEXTURE_2D, shownTexture_);
    glTexImage2D(GL_TEXTURE_2D, 0, is565_ ? GL_RGB565 : GL_RGBA8, width_, height_, 0, GL_BGRA,
                 GL_UNSIGNED_BYTE, nullptr);
    setNearest();
    glBindTexture(GL_TEXTURE_2D, 0);
    attach(shownFramebuffer_, shownTexture_);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    if (!complete) logLine("the shown frame's framebuffer is incomplete");
    return complete;
  }

  void clearNow(const d3d::DrawTarget& target, bool color, uint32_t argb, bool depth,
                float depthValue, const raster::Rect& rect) {
    if (!bind(target)) return;
    flush();
    const bool whole =
        rect.left <= 0 && rect.top <= 0 && rect.right >= width_ && rect.bottom >= height_;
    // A clear of everything makes what memory held irrelevant.
    if (color) prepare(color_, whole);
    if (depth) prepare(depth_, whole);
    const raster::Rect r{std::max(rect.left, 0), std::max(rect.top, 0),
                         std::min(rect.right, width_), std::min(rect.bottom, height_)};
    if (r.left >= r.right || r.top >= r.bottom) return;
    glEnable(GL_SCISSOR_TEST);
    glScissor(r.left, r.top, r.right - r.left, r.bottom - r.top);
    GLbitfield mask = 0;
    if (color) {
      const raster::Argb c = raster::unpackArgb(argb);
      glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
      uint32_t red = c.r, green = c.g, blue = c.b;
      if (is565_)  // clears are not dithered: the truncated levels
        red = expand5(red >> 3), green = expand6(green >> 2), blue = expand5(blue >> 3);
      glClearColor(red / 255.0f, green / 255.0f, blue / 255.0f, 1.0f);
      mask |= GL_COLOR_BUFFER_BIT;
      color_.newer = true;
    }
    if (depth && depth_.surface != nullptr) {
      glDepthMask(GL_TRUE);
      glClearDepth(std::clamp(depthValue, 0.0f, 1.0f));
      mask |= GL_DEPTH_BUFFER_BIT;
      depth_.newer = true;
    }
    if (mask != 0) glClear(mask);
    glDisable(GL_SCISSOR_TEST);
  }

  void writeBackNow(ddraw::Surface& surface) {
    Kept* kept = &surface == color_.surface   ? &color_
                 : &surface == depth_.surface ? &depth_
                                              : nullptr;
    if (kept == nullptr) return;
    flush();  // fans gathered for this surface belong before what comes
    if (!kept->newer) return;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    const int32_t w = std::min(width_, surface.width()), h = std::min(height_, surface.height());
    if (kept == &color_) {
      glPixelStorei(GL_PACK_ROW_LENGTH, surface.pitch() / (is565_ ? 2 : 4));
      glReadPixels(0, 0, w, h, is565_ ? GL_RGB : GL_BGRA,
                   is565_ ? GL_UNSIGNED_SHORT_5_6_5 : GL_UNSIGNED_BYTE, surface.pixels());
    } else {
      glPixelStorei(GL_PACK_ROW_LENGTH, surface.pitch() / 4);
      glReadPixels(0, 0, w, h, GL_DEPTH_COMPONENT, GL_FLOAT, surface.pixels());
    }
    kept->newer = false;
    kept->generation = surface.generation();
  }

  bool bound(const d3d::DrawTarget& target) const {
    return target.surface == color_.surface && target.zBuffer == depth_.surface &&
           target.surface->width() == width_ && target.surface->height() == height_ &&
           (target.color.format == raster::ColorFormat::RGB565) == is565_;
  }

  // On the context's thread: the batch gathered so far is drawn and a new one
  // starts with this target, state and texture.
  bool startBatch(const d3d::DrawTarget& target, BatchState wanted, ddraw::Surface* texture,
                  const raster::State& state) {
    if (!bind(target)) return false;
    flush();
    prepare(color_, false);
    if (wanted.state.depthEnable) prepare(depth_, false);
    if (texture != nullptr && !upload(*texture, *state.texture)) {
      wanted.textureId = 0;
      wanted.state.colorOp = raster::ColorOp::SelectDiffuse;
      wanted.state.alphaOp = raster::AlphaOp::SelectDiffuse;
      wanted.state.colorKeyEnable = false;
    }
    if (texture != nullptr && state.texture->format == raster::TextureFormat::Palette8)
      uploadPalette(state.texture->palette);
    batchState_ = wanted;
    return true;
  }

  static void setNearest() {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  }

  // Takes the draw's surfaces into the framebuffer; false when GL cannot draw.
  bool bind(const d3d::DrawTarget& target) {
    const bool is565 = target.color.format == raster::ColorFormat::RGB565;
    if (!bound(target)) {
      flush();
      for (Kept* kept : {&color_, &depth_})
        if (kept->surface != nullptr) kept->surface->setKeeper(nullptr);
      writeBackShown();  // in the format it was drawn in
      is565_ = is565;
      if (!resize(target.surface->width(), target.surface->height())) return false;
      keep(color_, target.surface);
      if (target.zBuffer != nullptr) keep(depth_, target.zBuffer);
    }
    return true;
  }

  void keep(Kept& kept, ddraw::Surface* surface) {
    surface->setKeeper(this);
    kept = Kept{surface, surface->generation(), false, false};
  }

  bool resize(int32_t width, int32_t height) {
    if (width == width_ && height == height_ && colorTexture_ != 0 && builtFor565_ == is565_)
      return true;
    builtFor565_ = is565_;
    writeBackShown();  // the shown texture goes with the colour texture
    glDeleteTextures(1, &shownTexture_);
    shownTexture_ = 0;
    glDeleteTextures(1, &colorTexture_);
    glDeleteTextures(1, &depthTexture_);
    glDeleteTextures(1, &destinationTexture_);
    destinationTexture_ = 0;
    glGenTextures(1, &colorTexture_);
    glBindTexture(GL_TEXTURE_2D, colorTexture_);
    // A 565 target keeps 565 levels, so that blending starts from the same
    // destination as on the software devices.
    glTexImage2D(GL_TEXTURE_2D, 0, is565_ ? GL_RGB565 : GL_RGBA8, width, height, 0, GL_BGRA,
                 GL_UNSIGNED_BYTE, nullptr);
    setNearest();
    if (is565_) {  // what a blended fan reads: the target before the fan
      glGenTextures(1, &destinationTexture_);
      glBindTexture(GL_TEXTURE_2D, destinationTexture_);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB565, width, height, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5,
                   nullptr);
      setNearest();
    }
    // Floating-point depth, as the software devices keep it: 1/z spans many octaves.
    glGenTextures(1, &depthTexture_);
    glBindTexture(GL_TEXTURE_2D, depthTexture_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT32F, width, height, 0, GL_DEPTH_COMPONENT,
                 GL_FLOAT, nullptr);
    setNearest();
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colorTexture_, 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, depthTexture_, 0);

    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
      logLine("the render target's framebuffer is incomplete");
      width_ = height_ = 0;
      return false;
    }
    width_ = width;
    height_ = height;
    glViewport(0, 0, width, height);
    return true;
  }

  // Before drawing: the framebuffer must hold the surface's memory unless
  // the memory is about to be overwritten entirely.
  void prepare(Kept& kept, bool overwritten) {
    ddraw::Surface* s = kept.surface;
    if (s == nullptr || (kept.uploaded && kept.generation == s->generation())) return;
    kept.uploaded = true;
    kept.generation = s->generation();
    kept.newer = true;
    if (overwritten) return;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    const int32_t w = std::min(width_, s->width()), h = std::min(height_, s->height());
    if (&kept == &color_) {
      glBindTexture(GL_TEXTURE_2D, colorTexture_);
      glPixelStorei(GL_UNPACK_ROW_LENGTH, s->pitch() / (is565_ ? 2 : 4));
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, is565_ ? GL_RGB : GL_BGRA,
                      is565_ ? GL_UNSIGNED_SHORT_5_6_5 : GL_UNSIGNED_BYTE, s->pixels());
    } else {
      glBindTexture(GL_TEXTURE_2D, depthTexture_);
      glPixelStorei(GL_UNPACK_ROW_LENGTH, s->pitch() / 4);
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, GL_DEPTH_COMPONENT, GL_FLOAT, s->pixels());
    }
    glBindTexture(GL_TEXTURE_2D, 0);  // never sampled while drawn into
  }

  bool textureStale(const ddraw::Surface& surface, const raster::Texture& t) const {
    const auto it = textures_.find(surface.id());
    return it == textures_.end() || it->second.generation != surface.generation() ||
           it->second.width != t.width || it->second.height != t.height ||
           it->second.format != t.format;
  }

  // Brings the texture's copy up to date and binds it to unit 0.
  bool upload(const ddraw::Surface& surface, const raster::Texture& t) {
    const bool stale = textureStale(surface, t);
    if (stale && textures_.find(surface.id()) == textures_.end()) forgetDeadTextures();
    CachedTexture& cached = textures_[surface.id()];
    glActiveTexture(GL_TEXTURE0);
    if (cached.name == 0) glGenTextures(1, &cached.name);
    glBindTexture(GL_TEXTURE_2D, cached.name);
    if (!stale) return true;
    const bool palette = t.format == raster::TextureFormat::Palette8;
    glPixelStorei(GL_UNPACK_ROW_LENGTH, t.pitch / raster::texelBytes(t.format));
    glTexImage2D(GL_TEXTURE_2D, 0, palette ? GL_R8UI : GL_R16UI, t.width, t.height, 0,
                 GL_RED_INTEGER, palette ? GL_UNSIGNED_BYTE : GL_UNSIGNED_SHORT, t.texels);
    setNearest();
    cached.generation = surface.generation();
    cached.width = t.width;
    cached.height = t.height;
    cached.format = t.format;
    return glGetError() == GL_NO_ERROR;
  }

  void uploadPalette(const uint32_t* argb) {
    if (argb == nullptr) return;
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, paletteTexture_);
    if (paletteUploaded_ && std::memcmp(palette_.data(), argb, sizeof palette_) == 0) {
      glActiveTexture(GL_TEXTURE0);
      return;
    }
    std::memcpy(palette_.data(), argb, sizeof palette_);
    paletteUploaded_ = true;
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 256, 1, GL_RED_INTEGER, GL_UNSIGNED_INT,
                    palette_.data());
    glActiveTexture(GL_TEXTURE0);
  }

  // Copies of textures whose surfaces are gone.
  void forgetDeadTextures() {
    if (textures_.size() < 64) return;
    std::vector<uint64_t> live;
    for (const ddraw::Surface* s : ddraw::liveSurfaces()) live.push_back(s->id());
    std::erase_if(textures_, [&](auto& item) {
      if (std::find(live.begin(), live.end(), item.first) != live.end()) return false;
      glDeleteTextures(1, &item.second.name);
      return true;
    });
  }

  void addTriangle(const raster::State& state, const raster::Vertex& a, const raster::Vertex& b,
                   const raster::Vertex& c) {
    raster::Vertex tri[3] = {a, b, c};
    for (raster::Vertex& v : tri) {
      // Snapped to 1/256 pixel like the software devices; garbage is refused.
      int64_t x, y;
      if (!raster::snapCoordinate(v.sx, x) || !raster::snapCoordinate(v.sy, y)) return;
      v.sx = static_cast<float>(x) / raster::kSubpixel;
      v.sy = static_cast<float>(y) / raster::kSubpixel;
      // Flat: triangle (0, i, i + 1) of a fan takes fan vertex i's colour.
      if (state.shadeMode == raster::ShadeMode::Flat) v.diffuse = b.diffuse;
    }
    batch_.insert(batch_.end(), tri, tri + 3);
  }

  void flush() {
    if (batch_.empty()) return;
    const raster::State& s = batchState_.state;
    const auto cached = textures_.find(batchState_.textureId);
    const bool textured = batchState_.textureId != 0 && cached != textures_.end();
    const raster::TextureFormat format = textured ? cached->second.format : raster::TextureFormat{};
    const Program* p =
        program(programIndex(textured, format, s.filter == raster::Filter::Bilinear, is565_));
    if (p == nullptr) {
      batch_.clear();
      return;
    }
    const auto& uniforms = p->uniforms;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glUseProgram(p->name);
    glBindVertexArray(vertexArray_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    const auto bytes = static_cast<GLsizeiptr>(batch_.size() * sizeof(raster::Vertex));
    if (bytes > bufferBytes_) {
      bufferBytes_ = std::max<GLsizeiptr>(bytes, 1 << 20);
      glBufferData(GL_ARRAY_BUFFER, bufferBytes_, nullptr, GL_STREAM_DRAW);
    }
    glBufferSubData(GL_ARRAY_BUFFER, 0, bytes, batch_.data());

    glUniform2f(uniforms[uTargetSize], static_cast<float>(width_), static_cast<float>(height_));
    if (textured) {
      glActiveTexture(GL_TEXTURE0);
      glBindTexture(GL_TEXTURE_2D, cached->second.name);
      glUniform1i(uniforms[uColorKeyEnable], s.colorKeyEnable);
      glUniform1ui(uniforms[uColorKey], s.colorKey);
      glUniform1ui(uniforms[uColorKeyMask], raster::colorKeyMask(format));
    }
    glUniform1i(uniforms[uPerspective], s.perspective);
    glUniform1i(uniforms[uColorOp], static_cast<int>(s.colorOp));
    glUniform1i(uniforms[uAlphaOp], static_cast<int>(s.alphaOp));
    glUniform1i(uniforms[uDither], s.dither);
    glUniform1i(uniforms[uBlendInShader], blendsInShader());

    // Without a depth test the colour may reach past a smaller z-buffer.
    const int32_t w = depth_.surface != nullptr && s.depthEnable
                          ? std::min(width_, depth_.surface->width())
                          : width_;
    const int32_t h = depth_.surface != nullptr && s.depthEnable
                          ? std::min(height_, depth_.surface->height())
                          : height_;
    if (blendsInShader()) {
      glDisable(GL_BLEND);
      glUniform1i(uniforms[uSrcBlend], static_cast<int>(s.srcBlend));
      glUniform1i(uniforms[uDstBlend], static_cast<int>(s.dstBlend));
      copyDestination(w, h);
    } else if (s.blendEnable) {
      glEnable(GL_BLEND);
      glBlendFunc(blendFactor(s.srcBlend), blendFactor(s.dstBlend));
    } else {
      glDisable(GL_BLEND);
    }
    if (s.depthEnable) {
      glEnable(GL_DEPTH_TEST);
      glDepthFunc(depthFunction(s.depthCompare));
      glDepthMask(s.depthWrite ? GL_TRUE : GL_FALSE);
    } else {
      glDisable(GL_DEPTH_TEST);
    }
    // A 32-bit target's unused top byte stays as cleared (opaque).
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, w, h);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(batch_.size()));
    glDisable(GL_SCISSOR_TEST);
    color_.newer = true;
    if (s.depthEnable && s.depthWrite) depth_.newer = true;
    batch_.clear();
  }

  bool blendsInShader() const { return batchState_.is565 && batchState_.state.blendEnable; }

  // The part of the target the batch may cover, copied for the shader to
  // read (it cannot read the texture it draws into).
  void copyDestination(int32_t width, int32_t height) {
    float left = batch_[0].sx, right = left, top = batch_[0].sy, bottom = top;
    for (const raster::Vertex& v : batch_) {
      left = std::min(left, v.sx), right = std::max(right, v.sx);
      top = std::min(top, v.sy), bottom = std::max(bottom, v.sy);
    }
    const auto x0 = static_cast<int32_t>(std::clamp(std::floor(left), 0.0f, float(width)));
    const auto y0 = static_cast<int32_t>(std::clamp(std::floor(top), 0.0f, float(height)));
    const auto x1 = static_cast<int32_t>(std::clamp(std::ceil(right) + 1, 0.0f, float(width)));
    const auto y1 = static_cast<int32_t>(std::clamp(std::ceil(bottom) + 1, 0.0f, float(height)));
    glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, destinationTexture_);
    if (x1 > x0 && y1 > y0) glCopyTexSubImage2D(GL_TEXTURE_2D, 0, x0, y0, x0, y0, x1 - x0, y1 - y0);
    glActiveTexture(GL_TEXTURE0);
  }

  Context& context_;
  GLuint vertexShader_ = 0, vertexArray_ = 0, vertexBuffer_ = 0, framebuffer_ = 0;
  GLuint colorTexture_ = 0, depthTexture_ = 0, paletteTexture_ = 0, destinationTexture_ = 0;
  GLuint shownTexture_ = 0, shownFramebuffer_ = 0;
  Shown shown_;
  uint64_t seenHostDraws_ = 0;
  GLsizeiptr bufferBytes_ = 0;
  std::array<Program, kProgramCount> programs_{};
  std::unordered_map<uint64_t, CachedTexture> textures_;
  std::array<uint32_t, 256> palette_{};
  bool paletteUploaded_ = false;
  int32_t width_ = 0, height_ = 0;
  bool is565_ = false;
  bool builtFor565_ = false;
  Kept color_, depth_;
  BatchState batchState_;
  std::vector<raster::Vertex> batch_;
};

}  // namespace

std::unique_ptr<d3d::Backend> makeBackend(Context& context) {
  auto backend = std::make_unique<GlBackend>(context);
  if (!backend->start()) return nullptr;
  return backend;
}

}  // namespace kv::gl
