#include "platform/gl/context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/gl/gl.h"
#include "platform/win/win32.h"

namespace kv::gl {

namespace {

void logLine(const std::string& line) { OutputDebugStringA(("gl: " + line + "\n").c_str()); }

std::string eglError(const char* what) {
  char text[96];
  std::snprintf(text, sizeof text, "%s failed (EGL error 0x%04X)", what,
                static_cast<unsigned>(eglGetError()));
  return text;
}

// What every context tells of itself, read once it is current.
struct Description {
  std::string renderer, version;
  bool clipControl = false;
  bool core33 = false;
};

Description describeCurrent() {
  const auto text = [](GLenum name) {
    const auto* s = reinterpret_cast<const char*>(glGetString(name));
    return std::string(s != nullptr ? s : "");
  };
  Description d;
  d.renderer = text(GL_RENDERER);
  d.version = text(GL_VERSION);
  GLint major = 0, minor = 0;
  glGetIntegerv(GL_MAJOR_VERSION, &major);
  glGetIntegerv(GL_MINOR_VERSION, &minor);
  d.clipControl = major > 4 || (major == 4 && minor >= 5);
  d.core33 = major > 3 || (major == 3 && minor >= 3);
  return d;
}

// The window's context, used on the program's thread, where the host made it.
class WindowContext final : public Context {
 public:
  explicit WindowContext(d3d::WindowGl& window) : window_(window) {}

  bool open() {
    if (!window_.makeCurrent()) {
      logLine("the window's GL context cannot be made current");
      return false;
    }
    description_ = describeCurrent();
    if (!description_.core33) {
      logLine("the window's context is OpenGL " + description_.version + ", not 3.3");
      return false;
    }
    logLine("OpenGL " + description_.version + " on " + description_.renderer +
            ", in the window's context");
    return true;
  }

  // Inline: the program's thread is the one the window's context lives on.
  bool execute(const Task& task) override {
    if (d3d::windowGl() != &window_ || !window_.makeCurrent()) return false;
    task.call(task.fn);
    return true;
  }

  const std::string& renderer() const override { return description_.renderer; }
  const std::string& version() const override { return description_.version; }
  bool hasClipControl() const override { return description_.clipControl; }
  d3d::WindowGl* window() const override { return &window_; }

 private:
  d3d::WindowGl& window_;
  Description description_;
};

class EglContext final : public Context {
 public:
  ~EglContext() override {
    if (!worker_.joinable()) return;
    execute({[](void* self) { static_cast<EglContext*>(self)->close(); }, this});
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
  }

  // False, with the reason logged, when no GL 3.3 core context can be made.
  bool start() {
    worker_ = std::thread([this] { serve(); });
    struct Open {
      EglContext* self;
      bool ok;
    } open{this, false};
    execute({[](void* o) {
               auto* p = static_cast<Open*>(o);
               p->ok = p->self->open();
             },
             &open});
    return open.ok;
  }

  bool execute(const Task& task) override {
    if (std::this_thread::get_id() == worker_.get_id()) {
      task.call(task.fn);
      return true;
    }
    std::unique_lock lock(mutex_);
    // One caller at a time (the kit has one thread; this only keeps it safe).
    done_.wait(lock, [&] { return pending_ == nullptr && finished_ == nullptr; });
    pending_ = &task;
    wake_.notify_all();
    done_.wait(lock, [&] { return finished_ == &task; });
    finished_ = nullptr;
    done_.notify_all();
    return true;
  }

  const std::string& renderer() const override { return renderer_; }
  const std::string& version() const override { return version_; }
  bool hasClipControl() const override { return clipControl_; }

 private:
  // The worker: runs one task at a time for the callers, who wait for it.
  void serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return pending_ != nullptr || stopping_; });
      if (pending_ == nullptr) return;
      pending_->call(pending_->fn);
      finished_ = pending_;
      pending_ = nullptr;
      done_.notify_all();
    }
  }

  void close() {
    if (display_ == EGL_NO_DISPLAY) return;
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
    eglTerminate(display_);
    display_ = EGL_NO_DISPLAY;
  }

  // On the worker: the display, the context, made current for good.
  bool open() {
    display_ = openDisplay();
    if (display_ == EGL_NO_DISPLAY) return false;
    EGLint major = 0, minor = 0;
    if (!eglInitialize(display_, &major, &minor)) {
      logLine(eglError("eglInitialize"));
      display_ = EGL_NO_DISPLAY;
      return false;
    }
    const char* extensions = eglQueryString(display_, EGL_EXTENSIONS);
    if (extensions == nullptr || !std::strstr(extensions, "EGL_KHR_surfaceless_context") ||
        !std::strstr(extensions, "EGL_KHR_no_config_context")) {
      logLine("the EGL display cannot make a context without a surface");
      return false;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
      logLine(eglError("eglBindAPI(OpenGL)"));
      return false;
    }
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                 3,
                                 EGL_CONTEXT_MINOR_VERSION,
                                 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                 EGL_NONE};
    context_ = eglCreateContext(display_, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (context_ == EGL_NO_CONTEXT) {
      logLine(eglError("eglCreateContext(OpenGL 3.3 core)"));
      return false;
    }
    if (!eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_)) {
      logLine(eglError("eglMakeCurrent"));
      return false;
    }
    const Description d = describeCurrent();
    renderer_ = d.renderer;
    version_ = d.version;
    clipControl_ = d.clipControl;
    logLine("OpenGL " + version_ + " on " + renderer_ + ", without a window (EGL)");
    return true;
  }

  // Mesa's surfaceless platform needs no display server; other drivers give
  // their default display.
  static EGLDisplay openDisplay() {
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    const auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (clientExtensions != nullptr &&
        std::strstr(clientExtensions, "EGL_MESA_platform_surfaceless") &&
        getPlatformDisplay != nullptr) {
      EGLDisplay display =
          getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
      if (display != EGL_NO_DISPLAY) return display;
    }
    EGLDisplay display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display == EGL_NO_DISPLAY) logLine("no EGL display");
    return display;
  }

  EGLDisplay display_ = EGL_NO_DISPLAY;
  EGLContext context_ = EGL_NO_CONTEXT;
  std::string renderer_, version_;
  bool clipControl_ = false;
  std::thread worker_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  const Task* pending_ = nullptr;
  const Task* finished_ = nullptr;
  bool stopping_ = false;
};

struct Shared {
  ContextStarter starter = startContext;
  std::unique_ptr<Context> context;
  bool tried = false;
};

Shared& shared() {
  static Shared s;
  return s;
}

}  // namespace

std::unique_ptr<Context> startContext() {
  if (d3d::WindowGl* window = d3d::windowGl()) {
    auto context = std::make_unique<WindowContext>(*window);
    if (context->open()) return context;
  }
  auto context = std::make_unique<EglContext>();
  if (!context->start()) return nullptr;
  return context;
}

Context* sharedContext() {
  Shared& s = shared();
  // A window's context whose window is gone is started again (on whatever
  // window is there now); no device outlives its window.
  if (s.context != nullptr && s.context->window() != nullptr &&
      s.context->window() != d3d::windowGl()) {
    s.context.reset();
    s.tried = false;
  }
  if (!s.tried) {
    s.tried = true;
    s.context = s.starter();
  }
  return s.context.get();
}

void setContextStarter(ContextStarter starter) {
  Shared& s = shared();
  s.starter = starter != nullptr ? starter : startContext;
  s.context.reset();
  s.tried = false;
}

bool isSoftwareRenderer(const std::string& renderer) {
  for (const char* name : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer"})
    if (renderer.find(name) != std::string::npos) return true;
  return false;
}

}  // namespace kv::gl
