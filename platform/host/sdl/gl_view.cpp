#include "platform/host/sdl/gl_view.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <string>

#include "platform/host/sdl/view_fit.h"

namespace kv::sdl {

namespace {

// One quad over the viewport from the vertex index alone; texture row 0 is
// the picture's top row, as in the surfaces' memory.
constexpr const char* kVertexShader = R"(#version 330 core
out vec2 uv;
void main() {
  vec2 corner = vec2(gl_VertexID & 1, gl_VertexID >> 1);
  uv = corner;
  gl_Position = vec4(corner.x * 2.0 - 1.0, 1.0 - corner.y * 2.0, 0.0, 1.0);
}
)";

constexpr const char* kFragmentShader = R"(#version 330 core
in vec2 uv;
out vec4 fragColor;
uniform sampler2D frame;
void main() { fragColor = vec4(texture(frame, uv).rgb, 1.0); }
)";

GLuint compile(GLenum kind, const char* source) {
  const GLuint shader = glCreateShader(kind);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint ok = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (ok == GL_TRUE) return shader;
  glDeleteShader(shader);
  return 0;
}

}  // namespace

std::unique_ptr<GlView> GlView::open(SDL_Window* window, std::string& why) {
  std::unique_ptr<GlView> view(new GlView(window));
  view->context_ = SDL_GL_CreateContext(window);
  if (view->context_ == nullptr) {
    why = SDL_GetError();
    return nullptr;
  }
  GLint major = 0, minor = 0;
  glGetIntegerv(GL_MAJOR_VERSION, &major);
  glGetIntegerv(GL_MINOR_VERSION, &minor);
  if (major < 3 || (major == 3 && minor < 3)) {
    why = "it has OpenGL " + std::to_string(major) + "." + std::to_string(minor);
    return nullptr;
  }
  if (!view->makeObjects()) {
    why = "its shaders or objects were refused";
    return nullptr;
  }
  // As the renderer did: frames wait for the display's refresh where it has one.
  SDL_GL_SetSwapInterval(1);
  return view;
}

GlView::~GlView() {
  if (context_ == nullptr) return;
  if (SDL_GL_MakeCurrent(window_, context_) == 0) {
    glDeleteProgram(program_);
    glDeleteVertexArrays(1, &vertexArray_);
    glDeleteTextures(1, &frameTexture_);
    glDeleteFramebuffers(1, &frameBuffer_);
    glDeleteFramebuffers(1, &readBuffer_);
  }
  SDL_GL_MakeCurrent(window_, nullptr);
  SDL_GL_DeleteContext(context_);
}

bool GlView::use() {
  ++draws_;
  return SDL_GL_MakeCurrent(window_, context_) == 0;
}

bool GlView::makeObjects() {
  const GLuint vertex = compile(GL_VERTEX_SHADER, kVertexShader);
  const GLuint fragment = compile(GL_FRAGMENT_SHADER, kFragmentShader);
  if (vertex == 0 || fragment == 0) return false;
  program_ = glCreateProgram();
  glAttachShader(program_, vertex);
  glAttachShader(program_, fragment);
  glLinkProgram(program_);
  glDeleteShader(vertex);
  glDeleteShader(fragment);
  GLint linked = GL_FALSE;
  glGetProgramiv(program_, GL_LINK_STATUS, &linked);
  if (linked != GL_TRUE) return false;
  glUseProgram(program_);
  glUniform1i(glGetUniformLocation(program_, "frame"), 0);
  glGenVertexArrays(1, &vertexArray_);
  glGenFramebuffers(1, &frameBuffer_);
  glGenFramebuffers(1, &readBuffer_);
  return glGetError() == GL_NO_ERROR;
}

bool GlView::sizeFrame(int width, int height) {
  if (frameTexture_ != 0 && width == frameWidth_ && height == frameHeight_) return true;
  glDeleteTextures(1, &frameTexture_);
  glGenTextures(1, &frameTexture_);
  glBindTexture(GL_TEXTURE_2D, frameTexture_);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
  // Scaled as SDL's renderer scaled by default: nearest texel.
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glBindFramebuffer(GL_FRAMEBUFFER, frameBuffer_);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, frameTexture_, 0);
  const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  frameWidth_ = complete ? width : 0;
  frameHeight_ = complete ? height : 0;
  return complete;
}

bool GlView::takeFrame(const host::PresentedFrame& frame) {
  const int w = frame.source.right - frame.source.left;
  const int h = frame.source.bottom - frame.source.top;
  const int bytes = frame.bitCount == 16 ? 2 : frame.bitCount == 32 ? 4 : 0;
  if (bytes == 0 || w <= 0 || h <= 0 || !use() || !sizeFrame(w, h)) return false;
  const auto* row0 = static_cast<const uint8_t*>(frame.pixels) +
                     static_cast<ptrdiff_t>(frame.source.top) * frame.pitch +
                     static_cast<ptrdiff_t>(frame.source.left) * bytes;
  glBindTexture(GL_TEXTURE_2D, frameTexture_);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, frame.pitch / bytes);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, bytes == 2 ? GL_RGB : GL_BGRA,
                  bytes == 2 ? GL_UNSIGNED_SHORT_5_6_5 : GL_UNSIGNED_BYTE, row0);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  return true;
}

bool GlView::takeFrame(const d3d::GlFrame& frame) {
  if (frame.width <= 0 || frame.height <= 0 || !use() || !sizeFrame(frame.width, frame.height))
    return false;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, readBuffer_);
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, frame.texture,
                         0);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, frameBuffer_);
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glBlitFramebuffer(frame.left, frame.top, frame.left + frame.width, frame.top + frame.height, 0, 0,
                    frame.width, frame.height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  // The device's texture is not held here: it may go with the device.
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  return true;
}

void GlView::draw(bool clear) {
  if (!use()) return;
  int outW = 0, outH = 0;
  SDL_GL_GetDrawableSize(window_, &outW, &outH);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glViewport(0, 0, outW, outH);
  if (clear) {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  if (frameWidth_ == 0) return;
  const ViewRect fit = fitKeepingAspect(frameWidth_, frameHeight_, outW, outH);
  glViewport(fit.x, outH - fit.y - fit.h, fit.w, fit.h);  // GL counts rows from the bottom
  glUseProgram(program_);
  glBindVertexArray(vertexArray_);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, frameTexture_);
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  glViewport(0, 0, outW, outH);
}

void GlView::swap() { SDL_GL_SwapWindow(window_); }

bool GlView::read(std::vector<uint32_t>& rgb, int& width, int& height) {
  if (frameWidth_ == 0 || !use()) return false;
  width = frameWidth_;
  height = frameHeight_;
  rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  glBindFramebuffer(GL_READ_FRAMEBUFFER, frameBuffer_);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, rgb.data());
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  for (uint32_t& p : rgb) p &= 0xFFFFFF;
  return true;
}

}  // namespace kv::sdl
