// The render window's own OpenGL 3.3 core context and what the host draws
// with it: the last frame, kept in a texture of the host's, scaled to fit the
// window with its shape kept. Memory frames are uploaded into that texture; a
// GL device's frames are copied into it on the graphics card.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/d3d/window_gl.h"
#include "platform/host/host.h"

namespace kv::sdl {

class GlView {
 public:
  // Null (the reason in `why`) when the window has no GL 3.3 core context.
  static std::unique_ptr<GlView> open(SDL_Window* window, std::string& why);
  ~GlView();
  GlView(const GlView&) = delete;
  GlView& operator=(const GlView&) = delete;

  SDL_GLContext context() const { return context_; }
  // Makes the context current for a device (not counted).
  bool makeCurrent() { return SDL_GL_MakeCurrent(window_, context_) == 0; }
  // Makes the context current for the host; every use is counted (draws()).
  bool use();
  uint64_t draws() const { return draws_; }

  // The frame becomes the last frame: false for a depth it cannot take.
  bool takeFrame(const host::PresentedFrame& frame);
  bool takeFrame(const d3d::GlFrame& frame);
  // Draws the last frame (after clearing the window to black, if asked).
  void draw(bool clear);
  void swap();
  // The last frame as 0x00RRGGBB, row 0 first.
  bool read(std::vector<uint32_t>& rgb, int& width, int& height);

 private:
  explicit GlView(SDL_Window* window) : window_(window) {}
  bool makeObjects();
  bool sizeFrame(int width, int height);

  SDL_Window* window_;
  SDL_GLContext context_ = nullptr;
  uint32_t program_ = 0, vertexArray_ = 0;
  uint32_t frameTexture_ = 0, frameBuffer_ = 0, readBuffer_ = 0;
  int frameWidth_ = 0, frameHeight_ = 0;
  uint64_t draws_ = 0;
};

}  // namespace kv::sdl
