#include "bench/raster/peer.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/glcorearb.h>

#include <cstdlib>
#include <cstring>

namespace kv::bench {
namespace {

constexpr int W = 640, H = 480;

// The OpenGL entry points the peer uses, looked up through EGL.
struct Gl {
#define KV_GL(type, name) type name = reinterpret_cast<type>(eglGetProcAddress("gl" #name))
  KV_GL(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers);
  KV_GL(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer);
  KV_GL(PFNGLGENRENDERBUFFERSPROC, GenRenderbuffers);
  KV_GL(PFNGLBINDRENDERBUFFERPROC, BindRenderbuffer);
  KV_GL(PFNGLRENDERBUFFERSTORAGEPROC, RenderbufferStorage);
  KV_GL(PFNGLFRAMEBUFFERRENDERBUFFERPROC, FramebufferRenderbuffer);
  KV_GL(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus);
  KV_GL(PFNGLCREATESHADERPROC, CreateShader);
  KV_GL(PFNGLSHADERSOURCEPROC, ShaderSource);
  KV_GL(PFNGLCOMPILESHADERPROC, CompileShader);
  KV_GL(PFNGLGETSHADERIVPROC, GetShaderiv);
  KV_GL(PFNGLCREATEPROGRAMPROC, CreateProgram);
  KV_GL(PFNGLATTACHSHADERPROC, AttachShader);
  KV_GL(PFNGLLINKPROGRAMPROC, LinkProgram);
  KV_GL(PFNGLGETPROGRAMIVPROC, GetProgramiv);
  KV_GL(PFNGLUSEPROGRAMPROC, UseProgram);
  KV_GL(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays);
  KV_GL(PFNGLBINDVERTEXARRAYPROC, BindVertexArray);
  KV_GL(PFNGLGENBUFFERSPROC, GenBuffers);
  KV_GL(PFNGLBINDBUFFERPROC, BindBuffer);
  KV_GL(PFNGLBUFFERDATAPROC, BufferData);
  KV_GL(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer);
  KV_GL(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray);
  KV_GL(PFNGLGENTEXTURESPROC, GenTextures);
  KV_GL(PFNGLBINDTEXTUREPROC, BindTexture);
  KV_GL(PFNGLTEXIMAGE2DPROC, TexImage2D);
  KV_GL(PFNGLTEXPARAMETERIPROC, TexParameteri);
  KV_GL(PFNGLPIXELSTOREIPROC, PixelStorei);
  KV_GL(PFNGLVIEWPORTPROC, Viewport);
  KV_GL(PFNGLENABLEPROC, Enable);
  KV_GL(PFNGLDEPTHFUNCPROC, DepthFunc);
  KV_GL(PFNGLCLEARDEPTHPROC, ClearDepth);
  KV_GL(PFNGLCLEARPROC, Clear);
  KV_GL(PFNGLDRAWARRAYSPROC, DrawArrays);
  KV_GL(PFNGLFINISHPROC, Finish);
  KV_GL(PFNGLGETSTRINGPROC, GetString);
#undef KV_GL
  bool complete() const {
    auto all = [](auto... f) { return ((f != nullptr) && ...); };
    return all(GenFramebuffers, BindFramebuffer, GenRenderbuffers, BindRenderbuffer,
               RenderbufferStorage, FramebufferRenderbuffer, CheckFramebufferStatus, CreateShader,
               ShaderSource, CompileShader, GetShaderiv, CreateProgram, AttachShader, LinkProgram,
               GetProgramiv, UseProgram, GenVertexArrays, BindVertexArray, GenBuffers, BindBuffer,
               BufferData, VertexAttribPointer, EnableVertexAttribArray, GenTextures, BindTexture,
               TexImage2D, TexParameteri, PixelStorei, Viewport, Enable, DepthFunc, ClearDepth,
               Clear, DrawArrays, Finish, GetString);
  }
};

// Screen position and 1/w in, clip position out: x and y to the viewport,
// depth (the vertex's z, in 0..1) to the depth buffer, w = 1/rhw so that
// the colour and texture coordinates are interpolated in perspective.
const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec4 screen;  // x, y, z, rhw
layout(location = 1) in vec4 diffuse;
layout(location = 2) in vec2 uv;
out vec4 colour;
out vec2 texel;
void main() {
  float w = 1.0 / screen.w;
  vec2 ndc = vec2(screen.x / 320.0 - 1.0, 1.0 - screen.y / 240.0);
  gl_Position = vec4(ndc * w, (2.0 * screen.z - 1.0) * w, w);
  colour = diffuse;
  texel = uv;
})";
const char* kFragmentShader = R"(#version 330 core
in vec4 colour;
in vec2 texel;
uniform sampler2D image;
out vec4 result;
void main() { result = texture(image, texel) * colour; })";

class Llvmpipe final : public Peer {
 public:
  ~Llvmpipe() override {
    if (display_ != EGL_NO_DISPLAY) {
      eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
      if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
      eglTerminate(display_);
    }
  }

  bool start(const raster::Texture& texture, raster::Filter filter, std::string& error) {
    // One thread, and the software rasterizer whatever else the machine has.
    setenv("LP_NUM_THREADS", "1", 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    const auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay == nullptr) return fail(error, "no eglGetPlatformDisplayEXT");
    display_ = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display_ == EGL_NO_DISPLAY || !eglInitialize(display_, nullptr, nullptr))
      return fail(error, "no surfaceless EGL display");
    if (!eglBindAPI(EGL_OPENGL_API)) return fail(error, "no OpenGL through EGL");
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                 3,
                                 EGL_CONTEXT_MINOR_VERSION,
                                 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                 EGL_NONE};
    context_ = eglCreateContext(display_, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (context_ == EGL_NO_CONTEXT ||
        !eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_))
      return fail(error, "no OpenGL 3.3 context without a surface");
    if (!gl_.complete()) return fail(error, "OpenGL entry points missing");
    renderer_ = reinterpret_cast<const char*>(gl_.GetString(GL_RENDERER));
    if (renderer_.find("llvmpipe") == std::string::npos)
      return fail(error, "the renderer is " + renderer_ + ", not llvmpipe");
    return target(error) && program(error) && upload(texture, filter);
  }

  void draw(const std::vector<raster::Vertex>& triangles) override {
    if (triangles.size() != uploaded_) {
      gl_.BufferData(GL_ARRAY_BUFFER, GLsizeiptr(triangles.size() * sizeof(raster::Vertex)),
                     triangles.data(), GL_STATIC_DRAW);
      uploaded_ = triangles.size();
    }
    gl_.Clear(GL_DEPTH_BUFFER_BIT);
    gl_.DrawArrays(GL_TRIANGLES, 0, GLsizei(triangles.size()));
    gl_.Finish();
  }

  std::string renderer() const override { return renderer_; }

 private:
  static bool fail(std::string& error, const std::string& why) {
    error = why;
    return false;
  }

  bool target(std::string& error) {
    GLuint fbo, buffers[2];
    gl_.GenFramebuffers(1, &fbo);
    gl_.BindFramebuffer(GL_FRAMEBUFFER, fbo);
    gl_.GenRenderbuffers(2, buffers);
    gl_.BindRenderbuffer(GL_RENDERBUFFER, buffers[0]);
    gl_.RenderbufferStorage(GL_RENDERBUFFER, GL_RGB565, W, H);
    gl_.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, buffers[0]);
    gl_.BindRenderbuffer(GL_RENDERBUFFER, buffers[1]);
    gl_.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT32F, W, H);
    gl_.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, buffers[1]);
    if (gl_.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
      return fail(error, "no RGB565 target with a 32-bit depth buffer");
    gl_.Viewport(0, 0, W, H);
    gl_.Enable(GL_DEPTH_TEST);
    gl_.DepthFunc(GL_GEQUAL);
    gl_.ClearDepth(0.0);
    gl_.Enable(GL_DITHER);
    return true;
  }

  bool program(std::string& error) {
    auto compile = [&](GLenum kind, const char* source) {
      const GLuint shader = gl_.CreateShader(kind);
      gl_.ShaderSource(shader, 1, &source, nullptr);
      gl_.CompileShader(shader);
      GLint ok = 0;
      gl_.GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
      return ok ? shader : 0u;
    };
    const GLuint vs = compile(GL_VERTEX_SHADER, kVertexShader);
    const GLuint fs = compile(GL_FRAGMENT_SHADER, kFragmentShader);
    if (!vs || !fs) return fail(error, "the shaders did not compile");
    const GLuint p = gl_.CreateProgram();
    gl_.AttachShader(p, vs);
    gl_.AttachShader(p, fs);
    gl_.LinkProgram(p);
    GLint ok = 0;
    gl_.GetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) return fail(error, "the shaders did not link");
    gl_.UseProgram(p);
    GLuint vao, vbo;
    gl_.GenVertexArrays(1, &vao);
    gl_.BindVertexArray(vao);
    gl_.GenBuffers(1, &vbo);
    gl_.BindBuffer(GL_ARRAY_BUFFER, vbo);
    const GLsizei stride = sizeof(raster::Vertex);
    gl_.VertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, stride, nullptr);
    // ARGB in a little-endian word is the bytes B, G, R, A.
    gl_.VertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                            reinterpret_cast<void*>(offsetof(raster::Vertex, diffuse)));
    gl_.VertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride,
                            reinterpret_cast<void*>(offsetof(raster::Vertex, tu)));
    for (GLuint a = 0; a < 3; ++a) gl_.EnableVertexAttribArray(a);
    return true;
  }

  bool upload(const raster::Texture& t, raster::Filter filter) {
    GLuint name;
    gl_.GenTextures(1, &name);
    gl_.BindTexture(GL_TEXTURE_2D, name);
    gl_.PixelStorei(GL_UNPACK_ROW_LENGTH, t.pitch / 2);
    gl_.TexImage2D(GL_TEXTURE_2D, 0, GL_RGB5_A1, t.width, t.height, 0, GL_BGRA,
                   GL_UNSIGNED_SHORT_1_5_5_5_REV, t.texels);
    const GLint f = filter == raster::Filter::Bilinear ? GL_LINEAR : GL_NEAREST;
    gl_.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, f);
    gl_.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, f);
    gl_.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    gl_.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    return true;
  }

  EGLDisplay display_ = EGL_NO_DISPLAY;
  EGLContext context_ = EGL_NO_CONTEXT;
  Gl gl_;
  std::string renderer_;
  size_t uploaded_ = 0;
};

}  // namespace

std::unique_ptr<Peer> startPeer(const raster::Texture& texture, raster::Filter filter,
                                std::string& error) {
  auto peer = std::make_unique<Llvmpipe>();
  if (!peer->start(texture, filter, error)) return nullptr;
  return peer;
}

}  // namespace kv::bench
