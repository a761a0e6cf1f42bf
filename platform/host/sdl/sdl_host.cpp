// The host with a real window: SDL2 shows the program's top-level window,
// presents its frames, reads the keyboard and turns its events into window
// messages. The program has one render window; a second top-level window gets
// an SDL window of its own but no presentation.
//
// Beyond the kit's window model, the render window is the user's: it can be
// resized and maximised (the picture is scaled to fit, its shape kept, while
// the kit's client area stays the size of its screen mode), Alt+Enter shows it
// over the whole display and back, F12 writes the next presented frame as a
// PNG file, and a frame-rate readout can go in its title.
//
// Frames are drawn through the window's own GL context where it has one (see
// GlView), which the host then hands to a GL device (d3d::WindowGl); else
// through SDL's renderer.
#include "platform/host/sdl/sdl_host.h"

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/d3d/window_gl.h"
#include "platform/host/sdl/dialog_view.h"
#include "platform/host/sdl/gl_view.h"
#include "platform/host/sdl/key_latch.h"
#include "platform/host/sdl/keymap.h"
#include "platform/host/sdl/view_fit.h"
#include "platform/host/sdl/x11.h"
#include "platform/win/debug_channel.h"
#include "platform/win/dialog.h"
#include "platform/win/host_events.h"
#include "platform/win/winuser.h"

namespace kv::sdl {

namespace {

constexpr int kEscape = 0x1B;
// Keys are read many times per loop turn; SDL's keyboard state is refreshed
// from the display at most this often (host units: 1/65536 s, about 1 ms).
constexpr uint64_t kKeyRefreshUnits = 64;
constexpr uint64_t kUnitsPerSecond = 65536;

struct Shown {
  SDL_Window* window = nullptr;
  host::WindowPlacement placement{};
};

class SdlHost final : public host::Host, public d3d::WindowGl {
 public:
  // Either a renderer or the window's GL view draws the frames.
  SdlHost(SDL_Window* window, SDL_Renderer* renderer, std::unique_ptr<GlView> gl,
          const OpenOptions& options)
      : spare_(window), renderer_(renderer), gl_(std::move(gl)), options_(options) {
    start_ = host::monotonicNow();
    SDL_AddEventWatch(&SdlHost::watchKeys, this);
    if (gl_ != nullptr) d3d::setWindowGl(this);
  }

  ~SdlHost() override {
    SDL_DelEventWatch(&SdlHost::watchKeys, this);
    if (d3d::windowGl() == this) d3d::setWindowGl(nullptr);
    gl_.reset();
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
    if (virtualKey == kEscape && options_.escapeFromIteration > 0 &&
        ++escapeReads_ >= options_.escapeFromIteration)
      return true;
    const uint64_t t = host::monotonicNow();
    if (t - lastKeyRefresh_ >= kKeyRefreshUnits) {
      SDL_PumpEvents();
      lastKeyRefresh_ = t;
    }
    // A deliberate change from level-only reads: a press shorter than a loop
    // turn is reported once (see KeyLatch). Held keys read as before.
    SDL_Scancode codes[2];
    const int n = scancodesFor(virtualKey, codes);
    const Uint8* state = SDL_GetKeyboardState(nullptr);
    bool down = false;
    for (int i = 0; i < n; ++i) down = keys_.read(state, codes[i]) || down;
    return down;
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
    updateCover();
    return true;
  }

  void restoreDisplayMode() override {
    if (!fullscreen_) return;
    fullscreen_ = false;
    updateCover();
  }

  void present(const host::PresentedFrame& frame) override {
    if (renderWindow_ == nullptr || frame.pixels == nullptr) return;
    const int w = frame.source.right - frame.source.left;
    const int h = frame.source.bottom - frame.source.top;
    if (w <= 0 || h <= 0) return;
    if (gl_ != nullptr) {
      if (!gl_->takeFrame(frame)) {
        if (!reportedFormat_)
          std::fprintf(stderr, "kvKIT: frames of %u bits cannot be shown\n", frame.bitCount);
        reportedFormat_ = true;
        return;
      }
      gl_->draw(true);
      gl_->swap();
      if (screenshotWanted_) writeScreenshot(frame);
      if (showFrameRate_) countFrame();
      return;
    }
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
    drawLastFrame(true);
    SDL_RenderPresent(renderer_);
    if (screenshotWanted_) writeScreenshot(frame);
    if (showFrameRate_) countFrame();
  }

  // ---- d3d::WindowGl: a GL device draws in the window's context ----

  bool makeCurrent() override { return gl_ != nullptr && gl_->makeCurrent(); }

  void present(const d3d::GlFrame& frame) override {
    if (gl_ == nullptr || renderWindow_ == nullptr || !gl_->takeFrame(frame)) return;
    gl_->draw(true);
    gl_->swap();
    if (screenshotWanted_) {
      screenshotWanted_ = false;
      std::vector<uint32_t> rgb;
      int w = 0, h = 0;
      if (options_.screenshot && gl_->read(rgb, w, h)) options_.screenshot(rgb.data(), w, h);
    }
    if (showFrameRate_) countFrame();
  }

  uint64_t hostDraws() const override { return gl_ != nullptr ? gl_->draws() : 0; }

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
    if (shown.window == renderWindow_) {
      title_ = title;
      SDL_SetWindowResizable(renderWindow_, SDL_TRUE);
    }
    SDL_SetWindowTitle(shown.window, std::string(title).c_str());
    if (!(shown.window == renderWindow_ && covering_)) place(shown);
    SDL_ShowWindow(shown.window);
    // SDL marks its windows transient for the root window; the render window is
    // an ordinary top-level window.
    makeOrdinaryTopLevel(shown.window);
    SDL_RaiseWindow(shown.window);
    everShown_ = true;
    if (shown.window == renderWindow_) updateCover();
  }

  void windowPlaced(uintptr_t handle, const host::WindowPlacement& placement) override {
    const auto it = windows_.find(handle);
    if (it == windows_.end()) return;
    it->second.placement = placement;
    if (!(it->second.window == renderWindow_ && covering_)) place(it->second);
  }

  void windowDestroyed(uintptr_t handle) override {
    const auto it = windows_.find(handle);
    if (it == windows_.end()) return;
    if (it->second.window == renderWindow_) {
      // The renderer stays for message boxes' parents and later windows.
      SDL_HideWindow(renderWindow_);
      uncover();
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
    modalEnded();
    return IDOK;
  }

  void runDialog(win::Dialog& dialog) override {
    if (renderWindow_ == nullptr || windows_.empty()) {
      host::Host::runDialog(dialog);
      return;
    }
    SDL_ShowCursor(SDL_ENABLE);
    {
      DialogView view(renderWindow_, renderer_, gl_ != nullptr ? gl_->context() : nullptr);
      view.run(
          dialog, [this] { drawLastFrame(gl_ != nullptr); },
          [this](const SDL_Event& event) { handle(event); });
    }
    modalEnded();
  }

  void showFrameRate(bool shown) override {
    showFrameRate_ = shown;
    rateFrames_ = 0;
    rateStart_ = now();
    if (!shown && renderWindow_ != nullptr) SDL_SetWindowTitle(renderWindow_, title_.c_str());
  }

 private:
  static uint32_t depthOf(Uint32 format) { return SDL_BITSPERPIXEL(format) <= 16 ? 16 : 32; }

  int displayIndex() const {
    const int index = renderWindow_ != nullptr ? SDL_GetWindowDisplayIndex(renderWindow_) : 0;
    return index < 0 ? 0 : index;
  }

  // SDL places windows by their client area, as the model's placement gives it.
  // The render window keeps a size the user gave it: it takes the model's size
  // only when that changes (the picture is scaled to whatever size it has).
  void place(Shown& shown) {
    const int w = std::max(1, shown.placement.clientWidth);
    const int h = std::max(1, shown.placement.clientHeight);
    if (shown.window != renderWindow_ || w != modelWidth_ || h != modelHeight_)
      SDL_SetWindowSize(shown.window, w, h);
    if (shown.window == renderWindow_) modelWidth_ = w, modelHeight_ = h;
    int x = 0, y = 0;
    SDL_GetWindowPosition(shown.window, &x, &y);
    // Where it is already, it stays: a move asked of a window manager may land
    // a frame's width off.
    if (x == shown.placement.clientLeft && y == shown.placement.clientTop) return;
    SDL_SetWindowPosition(shown.window, shown.placement.clientLeft, shown.placement.clientTop);
  }

  Shown* renderShown() {
    for (auto& [handle, shown] : windows_)
      if (shown.window == renderWindow_) return &shown;
    return nullptr;
  }

  // The render window covers the display while the program is in full screen
  // or the user asked for it (Alt+Enter); the picture is scaled to fit either
  // way, without a change of the display's own mode (a mode change on a bare X
  // server left a window showing a magnified corner).
  void updateCover() {
    Shown* shown = renderShown();
    const bool wanted = (fullscreen_ || viewFullscreen_) && shown != nullptr;
    if (wanted == covering_) return;
    if (wanted)
      cover();
    else if (uncover() && shown != nullptr)
      place(*shown);
  }

  // A window manager makes a full-screen window of it; without one, nobody
  // would, and the window is laid over the display's bounds directly.
  void cover() {
    SDL_GetWindowSize(renderWindow_, &windowedWidth_, &windowedHeight_);
    coveredByManager_ = hasWindowManager(renderWindow_);
    if (coveredByManager_) {
      if (SDL_SetWindowFullscreen(renderWindow_, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
        std::fprintf(stderr, "kvKIT: full screen is not possible here: %s\n", SDL_GetError());
        return;
      }
    } else {
      SDL_Rect bounds{};
      if (SDL_GetDisplayBounds(displayIndex(), &bounds) != 0) return;
      SDL_SetWindowBordered(renderWindow_, SDL_FALSE);
      SDL_SetWindowPosition(renderWindow_, bounds.x, bounds.y);
      SDL_SetWindowSize(renderWindow_, bounds.w, bounds.h);
      SDL_RaiseWindow(renderWindow_);
    }
    covering_ = true;
  }

  // True when the window must be put back in its place: a window manager
  // restores a full-screen window's own size and place (moving it ourselves
  // there would be off by the frame), but without one that is ours to do.
  bool uncover() {
    if (!covering_) return false;
    covering_ = false;
    if (coveredByManager_) {
      SDL_SetWindowFullscreen(renderWindow_, 0);
      return false;
    }
    SDL_SetWindowBordered(renderWindow_, SDL_TRUE);
    SDL_SetWindowSize(renderWindow_, windowedWidth_, windowedHeight_);
    return true;
  }

  // The last frame, scaled to fit the render window with its shape kept: at its
  // own size in a window of the client area's size, letter-boxed otherwise.
  void drawLastFrame(bool clear) {
    if (gl_ != nullptr) return gl_->draw(clear);
    SDL_RenderSetClipRect(renderer_, nullptr);
    if (clear) {
      SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
      SDL_RenderClear(renderer_);
    }
    if (texture_ == nullptr) return;
    int outW = 0, outH = 0;
    SDL_GetRendererOutputSize(renderer_, &outW, &outH);
    const ViewRect fit = fitKeepingAspect(textureWidth_, textureHeight_, outW, outH);
    const SDL_Rect dest{fit.x, fit.y, fit.w, fit.h};
    SDL_RenderCopy(renderer_, texture_, nullptr, &dest);
  }

  // Keys pressed or released anywhere SDL pumps events, dialogs included.
  static int watchKeys(void* self, SDL_Event* event) {
    auto& keys = static_cast<SdlHost*>(self)->keys_;
    if (event->type == SDL_KEYDOWN && event->key.repeat == 0)
      keys.pressed(event->key.keysym.scancode);
    else if (event->type == SDL_KEYUP)
      keys.released(event->key.keysym.scancode);
    return 1;
  }

  void modalEnded() {
    SDL_PumpEvents();
    keys_.modalEnded(SDL_GetKeyboardState(nullptr));
  }

  // F12: the frame as presented, source rectangle only, as 0x00RRGGBB.
  void writeScreenshot(const host::PresentedFrame& frame) {
    screenshotWanted_ = false;
    if (!options_.screenshot) return;
    const int w = frame.source.right - frame.source.left;
    const int h = frame.source.bottom - frame.source.top;
    std::vector<uint32_t> rgb(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) {
      const auto* row = static_cast<const uint8_t*>(frame.pixels) +
                        static_cast<ptrdiff_t>(frame.source.top + y) * frame.pitch;
      for (int x = 0; x < w; ++x) {
        uint32_t& out = rgb[static_cast<size_t>(y) * static_cast<size_t>(w) + x];
        if (frame.bitCount == 16) {
          uint16_t p = 0;
          std::memcpy(&p, row + (frame.source.left + x) * 2, 2);
          const uint32_t r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
          out = ((r * 255 / 31) << 16) | ((g * 255 / 63) << 8) | (b * 255 / 31);
        } else {
          std::memcpy(&out, row + (frame.source.left + x) * 4, 4);
          out &= 0xFFFFFF;
        }
      }
    }
    options_.screenshot(rgb.data(), w, h);
  }

  // The rate of presented frames over the last second or so, in the title.
  void countFrame() {
    ++rateFrames_;
    const uint64_t t = now();
    if (t - rateStart_ < kUnitsPerSecond) return;
    const double rate = rateFrames_ * static_cast<double>(kUnitsPerSecond) / (t - rateStart_);
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, " - %.1f fps", rate);
    SDL_SetWindowTitle(renderWindow_, (title_ + suffix).c_str());
    rateFrames_ = 0;
    rateStart_ = t;
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
            if (!(covering_ && windows_[window].window == renderWindow_)) {
              windows_[window].placement.clientLeft = event.window.data1;
              windows_[window].placement.clientTop = event.window.data2;
              win::hostMoved(window, event.window.data1, event.window.data2);
            }
            break;
          case SDL_WINDOWEVENT_EXPOSED:
            win::hostExposed(window);
            break;
          case SDL_WINDOWEVENT_SIZE_CHANGED:
            win::hostExposed(window);
            break;
          default:
            break;
        }
        break;
      }
      case SDL_KEYDOWN:
        if (event.key.repeat != 0) break;
        if (event.key.keysym.sym == SDLK_F12) screenshotWanted_ = true;
        if ((event.key.keysym.sym == SDLK_RETURN || event.key.keysym.sym == SDLK_KP_ENTER) &&
            (event.key.keysym.mod & KMOD_ALT)) {
          viewFullscreen_ = !viewFullscreen_;
          updateCover();
        }
        break;
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
  std::unique_ptr<GlView> gl_;
  std::map<uintptr_t, Shown> windows_;
  bool everShown_ = false;
  uint64_t start_ = 0;
  uint64_t lastKeyRefresh_ = 0;

  bool fullscreen_ = false;      // the program set a display mode
  bool viewFullscreen_ = false;  // Alt+Enter
  bool covering_ = false;        // the render window covers the display
  bool coveredByManager_ = false;
  int modelWidth_ = 0, modelHeight_ = 0;            // the render window's client size
  int windowedWidth_ = 640, windowedHeight_ = 480;  // its size before covering
  host::DisplayMode mode_{640, 480, 16, 60};
  KeyLatch keys_;
  std::string title_;
  OpenOptions options_;
  int64_t escapeReads_ = 0;
  bool screenshotWanted_ = false;
  bool showFrameRate_ = false;
  int64_t rateFrames_ = 0;
  uint64_t rateStart_ = 0;

  SDL_Texture* texture_ = nullptr;
  int textureWidth_ = 0, textureHeight_ = 0;
  Uint32 textureFormat_ = 0;
  bool reportedFormat_ = false;
};

}  // namespace

namespace {

// SDL and the libraries under it print their own notes while a video driver is
// tried (Wayland's about XDG_RUNTIME_DIR, for one); the user gets our one line.
class StderrSilenced {
 public:
  StderrSilenced() {
    std::fflush(stderr);
    saved_ = dup(2);
    const int null = ::open("/dev/null", O_WRONLY);
    if (saved_ >= 0 && null >= 0) dup2(null, 2);
    if (null >= 0) close(null);
  }
  ~StderrSilenced() {
    std::fflush(stderr);
    if (saved_ < 0) return;
    dup2(saved_, 2);
    close(saved_);
  }
  StderrSilenced(const StderrSilenced&) = delete;
  StderrSilenced& operator=(const StderrSilenced&) = delete;

 private:
  int saved_ = -1;
};

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

void headlessBecause(const std::string& reason) {
  std::fprintf(stderr, "kvKIT: %s; running headless\n", reason.c_str());
}

}  // namespace

std::unique_ptr<host::Host> open(const OpenOptions& options) {
  // SDL would turn SIGINT and SIGTERM into a quit event the kit never reads;
  // left alone, they end the program as they end any other.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // One line names the display asked for and why it cannot be used.
  const std::string x11 = environment("DISPLAY"), wayland = environment("WAYLAND_DISPLAY");
  if (x11.empty() && wayland.empty()) {
    headlessBecause("no display (DISPLAY and WAYLAND_DISPLAY are not set)");
    return nullptr;
  }
  const std::string shown =
      !x11.empty() ? "X display '" + x11 + "'" : "Wayland display '" + wayland + "'";
  if (!x11.empty() && wayland.empty()) {
    if (const std::string problem = x11DisplayProblem(x11); !problem.empty()) {
      headlessBecause(shown + " cannot be used: " + problem);
      return nullptr;
    }
    // Only X was asked for: SDL need not try Wayland first.
    if (environment("SDL_VIDEODRIVER").empty()) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  }
  int initialised = 0;
  // A display that just answered may turn the next connection away once (seen
  // with a fresh Xvfb): one more try.
  for (int attempt = 0; attempt < 2; ++attempt) {
    StderrSilenced quiet;
    initialised = SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
    if (initialised == 0) break;
    SDL_Delay(100);
  }
  if (initialised != 0) {
    headlessBecause(shown + " cannot be used: " + SDL_GetError());
    return nullptr;
  }
  // SDL falls back on drivers that show nothing; that is no display either.
  const std::string driver =
      SDL_GetCurrentVideoDriver() != nullptr ? SDL_GetCurrentVideoDriver() : "";
  if (driver == "offscreen" || driver == "dummy" || driver.empty()) {
    headlessBecause(shown + " cannot be used: SDL offers only its \"" + driver + "\" video driver");
    SDL_Quit();
    return nullptr;
  }
  // The render window is made now, hidden, so that a display that cannot give
  // a window is found out before the program starts.
  SDL_Window* window = nullptr;
  std::unique_ptr<GlView> gl;
  if (options.windowGl) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);  // the device draws depth in its own framebuffer
    window = SDL_CreateWindow("kvKIT", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 640, 480,
                              SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL);
    std::string why = window == nullptr ? SDL_GetError() : "";
    if (window != nullptr) gl = GlView::open(window, why);
    if (gl == nullptr) {
      std::fprintf(stderr,
                   "kvKIT: the window cannot have an OpenGL 3.3 core context (%s); SDL's "
                   "renderer draws it\n",
                   why.c_str());
      if (window != nullptr) SDL_DestroyWindow(window);
      window = nullptr;
      SDL_GL_ResetAttributes();
    }
  }
  if (gl != nullptr) return std::make_unique<SdlHost>(window, nullptr, std::move(gl), options);
  window = SDL_CreateWindow("kvKIT", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 640, 480,
                            SDL_WINDOW_HIDDEN);
  SDL_Renderer* renderer = nullptr;
  if (window != nullptr) {
    renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (renderer == nullptr) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
  }
  if (renderer == nullptr) {
    headlessBecause(shown + " cannot be used: no window can be opened there (" + SDL_GetError() +
                    ")");
    if (window != nullptr) SDL_DestroyWindow(window);
    SDL_Quit();
    return nullptr;
  }
  return std::make_unique<SdlHost>(window, renderer, nullptr, options);
}

}  // namespace kv::sdl
