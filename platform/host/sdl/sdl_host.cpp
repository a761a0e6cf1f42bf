// The host with a real window: SDL2 shows the program's top-level window,
// presents its frames, reads the keyboard and turns its events into window
// messages. The program has one render window; a second top-level window gets
// an SDL window of its own but no presentation.
#include "platform/host/sdl/sdl_host.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/host/sdl/dialog_view.h"
#include "platform/host/sdl/keymap.h"
#include "platform/win/dialog.h"
#include "platform/win/host_events.h"
#include "platform/win/winuser.h"

namespace kv::sdl {

namespace {

constexpr int kEscape = 0x1B;
// Keys are read many times per loop turn; SDL's keyboard state is refreshed
// from the display at most this often (host units: 1/65536 s, about 1 ms).
constexpr uint64_t kKeyRefreshUnits = 64;

struct Shown {
  SDL_Window* window = nullptr;
  host::WindowPlacement placement{};
};

class SdlHost final : public host::Host {
 public:
  SdlHost(SDL_Window* window, SDL_Renderer* renderer) : spare_(window), renderer_(renderer) {
    start_ = host::monotonicNow();
  }

  ~SdlHost() override {
    if (texture_ != nullptr) SDL_DestroyTexture(texture_);
    if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);
    for (auto& [handle, shown] : windows_)
      if (shown.window != renderWindow_) SDL_DestroyWindow(shown.window);
    if (renderWindow_ != nullptr) SDL_DestroyWindow(renderWindow_);
    if (spare_ != nullptr) SDL_DestroyWindow(spare_);
    SDL_Quit();
  }

  uint64_t now() override { return host::monotonicNow() - start_; }

  bool keyDown(int virtualKey) override {
    // Win32 reads Escape from anywhere; here no key reaches a program without a
    // window, so once its windows are gone Escape counts as held and the
    // program leaves by its own path instead of running on unseen.
    if (virtualKey == kEscape && everShown_ && windows_.empty()) return true;
    const uint64_t t = host::monotonicNow();
    if (t - lastKeyRefresh_ >= kKeyRefreshUnits) {
      SDL_PumpEvents();
      lastKeyRefresh_ = t;
    }
    return keyHeld(SDL_GetKeyboardState(nullptr), virtualKey);
  }

  void debugOutput(std::string_view) override {}

  // ---- display ----

  host::DisplayMode desktopMode() override {
    if (fullscreen_) return mode_;
    SDL_DisplayMode desktop{};
    if (SDL_GetDesktopDisplayMode(displayIndex(), &desktop) != 0) return {640, 480, 32, 60};
    return {static_cast<uint32_t>(desktop.w), static_cast<uint32_t>(desktop.h),
            depthOf(desktop.format), static_cast<uint32_t>(desktop.refresh_rate)};
  }

  // Every size the display offers, in 16 and 32 bits (frames are converted as
  // they are shown, so both depths work in every size), and 640 x 480 always.
  std::vector<host::DisplayMode> displayModes() override {
    std::vector<host::DisplayMode> modes;
    auto add = [&](uint32_t w, uint32_t h, uint32_t refresh) {
      for (uint32_t bits : {16u, 32u}) {
        const host::DisplayMode m{w, h, bits, refresh};
        if (std::none_of(modes.begin(), modes.end(), [&](const host::DisplayMode& o) {
              return o.width == w && o.height == h && o.bitCount == bits;
            }))
          modes.push_back(m);
      }
    };
    add(640, 480, 60);
    const int display = displayIndex();
    for (int i = 0; i < SDL_GetNumDisplayModes(display); ++i) {
      SDL_DisplayMode m{};
      if (SDL_GetDisplayMode(display, i, &m) == 0)
        add(static_cast<uint32_t>(m.w), static_cast<uint32_t>(m.h),
            static_cast<uint32_t>(m.refresh_rate));
    }
    return modes;
  }

  bool setDisplayMode(const host::DisplayMode& mode) override {
    if (mode.bitCount != 16 && mode.bitCount != 32) return false;
    mode_ = mode;
    fullscreen_ = true;
    if (renderWindow_ != nullptr) enterFullscreen();
    return true;
  }

  void restoreDisplayMode() override {
    if (!fullscreen_) return;
    fullscreen_ = false;
    if (renderWindow_ == nullptr) return;
    SDL_SetWindowFullscreen(renderWindow_, 0);
    for (auto& [handle, shown] : windows_)
      if (shown.window == renderWindow_) place(shown);
  }

  void present(const host::PresentedFrame& frame) override {
    if (renderWindow_ == nullptr || frame.pixels == nullptr) return;
    const int w = frame.source.right - frame.source.left;
    const int h = frame.source.bottom - frame.source.top;
    if (w <= 0 || h <= 0) return;
    const Uint32 format = frame.bitCount == 16   ? SDL_PIXELFORMAT_RGB565
                          : frame.bitCount == 32 ? SDL_PIXELFORMAT_RGB888
                                                 : SDL_PIXELFORMAT_UNKNOWN;
    if (format == SDL_PIXELFORMAT_UNKNOWN) {
      if (!reportedFormat_)
        std::fprintf(stderr, "kvKIT: frames of %u bits cannot be shown\n", frame.bitCount);
      reportedFormat_ = true;
      return;
    }
    // The texture is made again only when the frame's size or format changes.
    if (texture_ == nullptr || w != textureWidth_ || h != textureHeight_ ||
        format != textureFormat_) {
      if (texture_ != nullptr) SDL_DestroyTexture(texture_);
      texture_ = SDL_CreateTexture(renderer_, format, SDL_TEXTUREACCESS_STREAMING, w, h);
      if (texture_ == nullptr) return;
      textureWidth_ = w;
      textureHeight_ = h;
      textureFormat_ = format;
    }
    const auto* row0 = static_cast<const uint8_t*>(frame.pixels) +
                       static_cast<ptrdiff_t>(frame.source.top) * frame.pitch +
                       frame.source.left * static_cast<int>(frame.bitCount / 8);
    SDL_UpdateTexture(texture_, nullptr, row0, frame.pitch);
    lastScreen_ = frame.screen;
    drawLastFrame(true);
    SDL_RenderPresent(renderer_);
  }

  // ---- windows ----

  void windowShown(uintptr_t handle, std::string_view title, const host::WindowPlacement& placement,
                   bool visible) override {
    auto it = windows_.find(handle);
    if (it == windows_.end()) {
      if (!visible) return;
      Shown shown;
      if (renderWindow_ == nullptr) {
        // The window made when the display was tried becomes the render window.
        renderWindow_ = spare_;
        spare_ = nullptr;
        shown.window = renderWindow_;
      } else {
        shown.window =
            SDL_CreateWindow("", placement.clientLeft, placement.clientTop, placement.clientWidth,
                             placement.clientHeight, SDL_WINDOW_HIDDEN);
        if (shown.window == nullptr) return;
      }
      it = windows_.emplace(handle, shown).first;
    }
    Shown& shown = it->second;
    shown.placement = placement;
    if (!visible) {
      SDL_HideWindow(shown.window);
      return;
    }
    SDL_SetWindowTitle(shown.window, std::string(title).c_str());
    if (shown.window == renderWindow_ && fullscreen_) {
      enterFullscreen();
    } else {
      place(shown);
    }
    SDL_ShowWindow(shown.window);
    SDL_RaiseWindow(shown.window);
    everShown_ = true;
  }

  void windowPlaced(uintptr_t handle, const host::WindowPlacement& placement) override {
    const auto it = windows_.find(handle);
    if (it == windows_.end()) return;
    it->second.placement = placement;
    if (!(it->second.window == renderWindow_ && fullscreen_)) place(it->second);
  }

  void windowDestroyed(uintptr_t handle) override {
    const auto it = windows_.find(handle);
    if (it == windows_.end()) return;
    if (it->second.window == renderWindow_) {
      // The renderer stays for message boxes' parents and later windows.
      SDL_HideWindow(renderWindow_);
      SDL_SetWindowFullscreen(renderWindow_, 0);
    } else {
      SDL_DestroyWindow(it->second.window);
    }
    windows_.erase(it);
  }

  void pollEvents() override {
    SDL_Event event;
    while (SDL_PollEvent(&event)) handle(event);
  }

  bool waitEvents() override {
    if (windows_.empty()) return false;  // nothing of ours can get an event
    SDL_Event event;
    if (!SDL_WaitEvent(&event)) return false;
    handle(event);
    pollEvents();
    return true;
  }

  void setCursorVisible(bool visible) override {
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
  }

  int messageBox(std::string_view text, std::string_view caption, unsigned type) override {
    host::Host::messageBox(text, caption, type);  // stderr too: the box may go unseen
    const unsigned icon = type & MB_ICONMASK;
    const Uint32 flags = icon == MB_ICONERROR     ? SDL_MESSAGEBOX_ERROR
                         : icon == MB_ICONWARNING ? SDL_MESSAGEBOX_WARNING
                                                  : SDL_MESSAGEBOX_INFORMATION;
    SDL_Window* parent = !windows_.empty() ? renderWindow_ : nullptr;
    SDL_ShowCursor(SDL_ENABLE);
    SDL_ShowSimpleMessageBox(flags, std::string(caption).c_str(), std::string(text).c_str(),
                             parent);
    return IDOK;
  }

  void runDialog(win::Dialog& dialog) override {
    if (renderWindow_ == nullptr || windows_.empty()) {
      host::Host::runDialog(dialog);
      return;
    }
    SDL_ShowCursor(SDL_ENABLE);
    DialogView view(renderWindow_, renderer_);
    view.run(
        dialog, [this] { drawLastFrame(false); },
        [this](const SDL_Event& event) { handle(event); });
  }

 private:
  static uint32_t depthOf(Uint32 format) { return SDL_BITSPERPIXEL(format) <= 16 ? 16 : 32; }

  int displayIndex() const {
    const int index = renderWindow_ != nullptr ? SDL_GetWindowDisplayIndex(renderWindow_) : 0;
    return index < 0 ? 0 : index;
  }

  // SDL places windows by their client area, as the model's placement gives it.
  void place(Shown& shown) {
    SDL_SetWindowSize(shown.window, std::max(1, shown.placement.clientWidth),
                      std::max(1, shown.placement.clientHeight));
    SDL_SetWindowPosition(shown.window, shown.placement.clientLeft, shown.placement.clientTop);
  }

  // A real mode change where the display has the size; otherwise the desktop's
  // size with the picture scaled and letter-boxed.
  void enterFullscreen() {
    SDL_DisplayMode wanted{SDL_PIXELFORMAT_UNKNOWN, static_cast<int>(mode_.width),
                           static_cast<int>(mode_.height), 0, nullptr};
    SDL_DisplayMode closest{};
    if (SDL_GetClosestDisplayMode(displayIndex(), &wanted, &closest) != nullptr &&
        closest.w == wanted.w && closest.h == wanted.h &&
        SDL_SetWindowDisplayMode(renderWindow_, &closest) == 0 &&
        SDL_SetWindowFullscreen(renderWindow_, SDL_WINDOW_FULLSCREEN) == 0)
      return;
    if (SDL_SetWindowFullscreen(renderWindow_, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0)
      std::fprintf(stderr, "kvKIT: full screen is not possible here: %s\n", SDL_GetError());
  }

  // The last frame, where the program put it: in a window at its place in the
  // client area, unscaled; in full screen scaled to fit, keeping its shape.
  void drawLastFrame(bool clear) {
    SDL_RenderSetClipRect(renderer_, nullptr);
    if (clear) {
      SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
      SDL_RenderClear(renderer_);
    }
    if (texture_ == nullptr) return;
    int outW = 0, outH = 0;
    SDL_GetRendererOutputSize(renderer_, &outW, &outH);
    SDL_Rect dest{0, 0, textureWidth_, textureHeight_};
    if (fullscreen_) {
      const double scale = std::min(static_cast<double>(outW) / textureWidth_,
                                    static_cast<double>(outH) / textureHeight_);
      dest.w = static_cast<int>(textureWidth_ * scale);
      dest.h = static_cast<int>(textureHeight_ * scale);
      dest.x = (outW - dest.w) / 2;
      dest.y = (outH - dest.h) / 2;
    } else {
      for (auto& [handle, shown] : windows_) {
        if (shown.window != renderWindow_) continue;
        dest.x = lastScreen_.left - shown.placement.clientLeft;
        dest.y = lastScreen_.top - shown.placement.clientTop;
      }
    }
    SDL_RenderCopy(renderer_, texture_, nullptr, &dest);
  }

  uintptr_t handleOf(Uint32 windowId) const {
    for (auto& [handle, shown] : windows_)
      if (SDL_GetWindowID(shown.window) == windowId) return handle;
    return 0;
  }

  void handle(const SDL_Event& event) {
    switch (event.type) {
      case SDL_WINDOWEVENT: {
        const uintptr_t window = handleOf(event.window.windowID);
        if (window == 0) return;
        switch (event.window.event) {
          case SDL_WINDOWEVENT_FOCUS_GAINED:
            win::hostActivate(true);
            break;
          case SDL_WINDOWEVENT_FOCUS_LOST:
            win::hostActivate(false);
            break;
          case SDL_WINDOWEVENT_CLOSE:
            win::hostClose(window);
            break;
          case SDL_WINDOWEVENT_MOVED:
            if (!fullscreen_) {
              windows_[window].placement.clientLeft = event.window.data1;
              windows_[window].placement.clientTop = event.window.data2;
              win::hostMoved(window, event.window.data1, event.window.data2);
            }
            break;
          case SDL_WINDOWEVENT_EXPOSED:
            win::hostExposed(window);
            break;
          default:
            break;
        }
        break;
      }
      case SDL_MOUSEMOTION:
        if (const uintptr_t window = handleOf(event.motion.windowID)) win::hostMouseMoved(window);
        break;
      default:
        break;
    }
  }

  SDL_Window* spare_;
  SDL_Window* renderWindow_ = nullptr;
  SDL_Renderer* renderer_;
  std::map<uintptr_t, Shown> windows_;
  bool everShown_ = false;
  uint64_t start_ = 0;
  uint64_t lastKeyRefresh_ = 0;

  bool fullscreen_ = false;
  host::DisplayMode mode_{640, 480, 16, 60};

  SDL_Texture* texture_ = nullptr;
  int textureWidth_ = 0, textureHeight_ = 0;
  Uint32 textureFormat_ = 0;
  host::Rect lastScreen_{};
  bool reportedFormat_ = false;
};

}  // namespace

std::unique_ptr<host::Host> open() {
  // SDL would turn SIGINT and SIGTERM into a quit event the kit never reads;
  // left alone, they end the program as they end any other.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    std::fprintf(stderr, "kvKIT: no display (%s); running headless\n", SDL_GetError());
    return nullptr;
  }
  // SDL falls back on drivers that show nothing; that is no display either.
  const std::string driver =
      SDL_GetCurrentVideoDriver() != nullptr ? SDL_GetCurrentVideoDriver() : "";
  if (driver == "offscreen" || driver == "dummy" || driver.empty()) {
    std::fprintf(stderr, "kvKIT: no display (only SDL's \"%s\" video driver); running headless\n",
                 driver.c_str());
    SDL_Quit();
    return nullptr;
  }
  // The render window is made now, hidden, so that a display that cannot give
  // a window is found out before the program starts.
  SDL_Window* window = SDL_CreateWindow("kvKIT", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                        640, 480, SDL_WINDOW_HIDDEN);
  SDL_Renderer* renderer = nullptr;
  if (window != nullptr) {
    renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (renderer == nullptr) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
  }
  if (renderer == nullptr) {
    std::fprintf(stderr, "kvKIT: no window can be opened (%s); running headless\n", SDL_GetError());
    if (window != nullptr) SDL_DestroyWindow(window);
    SDL_Quit();
    return nullptr;
  }
  return std::make_unique<SdlHost>(window, renderer);
}

}  // namespace kv::sdl
