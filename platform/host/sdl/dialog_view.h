// The view of a modal dialog, drawn over the render window with Dear ImGui:
// through the window's GL context where it has one (Dear ImGui's OpenGL 3 back
// end), else through SDL's renderer.
#pragma once

#include <SDL.h>

#include <functional>

namespace kv::win {
class Dialog;
}

namespace kv::sdl {

class DialogView {
 public:
  // Draws the window's picture behind the dialog.
  using Backdrop = std::function<void()>;
  // Handles an SDL event that is not the view's (focus, close of the render window...).
  using Other = std::function<void(const SDL_Event&)>;

  // One of renderer and glContext is given: what the window is drawn with.
  DialogView(SDL_Window* window, SDL_Renderer* renderer, SDL_GLContext glContext);
  ~DialogView();
  DialogView(const DialogView&) = delete;
  DialogView& operator=(const DialogView&) = delete;

  // Runs until the dialog has ended. The user works it with the mouse or, as in
  // Win32, the keyboard: Tab and Shift+Tab move the focus over the tab stops,
  // Up and Down change the focused combo box's choice, Space presses the
  // focused button, Enter presses OK and Escape Cancel.
  void run(win::Dialog& dialog, const Backdrop& backdrop, const Other& other);

 private:
  void drawFrame(win::Dialog& dialog, const Backdrop& backdrop);
  void renderDrawData();
  void onKey(win::Dialog& dialog, const SDL_Keysym& key);
  void moveFocus(const win::Dialog& dialog, int step);

  SDL_Window* window_;
  SDL_Renderer* renderer_;
  SDL_GLContext glContext_;
  SDL_Texture* font_ = nullptr;
  bool ready_ = false;
  int focus_ = -1;           // index of the focused control in the template
  bool popupOpen_ = false;   // a combo box's list is open (from the last frame)
  bool closePopup_ = false;  // Escape asked to close it
};

}  // namespace kv::sdl
