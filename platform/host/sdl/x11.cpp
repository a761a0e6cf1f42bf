#include "platform/host/sdl/x11.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace kv::sdl {

namespace {

bool x11Of(SDL_Window* window, Display*& display, Window& xwindow) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
    return false;
  display = info.info.x11.display;
  xwindow = info.info.x11.window;
  return true;
}

}  // namespace

bool hasWindowManager(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!x11Of(window, display, xwindow)) return true;
  // An EWMH window manager names its check window on the root window.
  const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const bool found =
      XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                         &format, &count, &after, &data) == Success &&
      type == XA_WINDOW && count == 1;
  if (data != nullptr) XFree(data);
  return found;
}

void makeOrdinaryTopLevel(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!x11Of(window, display, xwindow)) return;
  XDeleteProperty(display, xwindow, XA_WM_TRANSIENT_FOR);
  XFlush(display);
}

std::string x11DisplayProblem(const std::string& name) {
  // Xlib says nothing on stderr when a connection fails.
  Display* display = XOpenDisplay(name.c_str());
  if (display == nullptr) return "no X server answers there (or it turns this user away)";
  const int depth = DefaultDepth(display, DefaultScreen(display));
  XCloseDisplay(display);
  if (depth < 16)
    return "its colour depth is " + std::to_string(depth) + " bits, and the demo needs 16 or more";
  return "";
}

}  // namespace kv::sdl
