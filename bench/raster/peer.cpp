#include "bench/raster/peer.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <cstdlib>

#include "platform/gl/context.h"
#include "platform/host/headless/headless.h"

namespace kv::bench {
namespace {

constexpr int W = 640, H = 480;

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
  bool start(const raster::Texture& texture, raster::Filter filter, std::string& error) {
    // One thread, and the software rasterizer whatever else the machine has.
    setenv("LP_NUM_THREADS", "1", 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    kv::headless::install();  // the context logs through the kit's host
    context_ = gl::startContext();
    if (context_ == nullptr) return fail(error, "no OpenGL 3.3 context (see the log)");
    renderer_ = context_->renderer();
    if (renderer_.find("llvmpipe") == std::string::npos)
      return fail(error, "the renderer is " + renderer_ + ", not llvmpipe");
    bool ok = false;
    context_->run([&] { ok = target(error) && program(error) && upload(texture, filter); });
    return ok;
  }

  void draw(const std::vector<raster::Vertex>& triangles) override {
    context_->run([&] { drawNow(triangles); });
  }

  std::string renderer() const override { return renderer_; }

 private:
  void drawNow(const std::vector<raster::Vertex>& triangles) {
    if (triangles.size() != uploaded_) {
      glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(triangles.size() * sizeof(raster::Vertex)),
                   triangles.data(), GL_STATIC_DRAW);
      uploaded_ = triangles.size();
    }
    glClear(GL_DEPTH_BUFFER_BIT);
    glDrawArrays(GL_TRIANGLES, 0, GLsizei(triangles.size()));
    glFinish();
  }

  static bool fail(std::string& error, const std::string& why) {
    error = why;
    return false;
  }

  bool target(std::string& error) {
    GLuint fbo, buffers[2];
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glGenRenderbuffers(2, buffers);
    glBindRenderbuffer(GL_RENDERBUFFER, buffers[0]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB565, W, H);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, buffers[0]);
    glBindRenderbuffer(GL_RENDERBUFFER, buffers[1]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT32F, W, H);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, buffers[1]);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
      return fail(error, "no RGB565 target with a 32-bit depth buffer");
    glViewport(0, 0, W, H);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_GEQUAL);
    glClearDepth(0.0);
    glEnable(GL_DITHER);
    return true;
  }

  bool program(std::string& error) {
    auto compile = [&](GLenum kind, const char* source) {
      const GLuint shader = glCreateShader(kind);
      glShaderSource(shader, 1, &source, nullptr);
      glCompileShader(shader);
      GLint ok = 0;
      glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
      return ok ? shader : 0u;
    };
    const GLuint vs = compile(GL_VERTEX_SHADER, kVertexShader);
    const GLuint fs = compile(GL_FRAGMENT_SHADER, kFragmentShader);
    if (!vs || !fs) return fail(error, "the shaders did not compile");
    const GLuint p = glCreateProgram();
    glAttachShader(p, vs);
    glAttachShader(p, fs);
    glLinkProgram(p);
    GLint ok = 0;
    glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) return fail(error, "the shaders did not link");
    glUseProgram(p);
    GLuint vao, vbo;
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    const GLsizei stride = sizeof(raster::Vertex);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, stride, nullptr);
    // ARGB in a little-endian word is the bytes B, G, R, A.
    glVertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                          reinterpret_cast<void*>(offsetof(raster::Vertex, diffuse)));
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<void*>(offsetof(raster::Vertex, tu)));
    for (GLuint a = 0; a < 3; ++a) glEnableVertexAttribArray(a);
    return true;
  }

  bool upload(const raster::Texture& t, raster::Filter filter) {
    GLuint name;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, t.pitch / 2);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB5_A1, t.width, t.height, 0, GL_BGRA,
                 GL_UNSIGNED_SHORT_1_5_5_5_REV, t.texels);
    const GLint f = filter == raster::Filter::Bilinear ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, f);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, f);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    return true;
  }

  // The GL objects go with the context.
  std::unique_ptr<gl::Context> context_;
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
