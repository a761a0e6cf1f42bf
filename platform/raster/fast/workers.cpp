#include "platform/raster/fast/workers.h"

#include <chrono>

namespace kv::raster::fast {

namespace {

// Jobs come in quick succession within a scene: a thread that is done looks
// for the next one this long before it sleeps, since waking it costs more
// (about 40 us on a virtual machine). Long enough to span the gap between
// two frames (their presentation and the start of the next), so that a
// frame's first job does not wait for a wake-up.
constexpr auto kSpin = std::chrono::microseconds(250);

inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

// True when ready() turned true within kSpin.
template <class Ready>
bool spinFor(Ready ready) {
  const auto until = std::chrono::steady_clock::now() + kSpin;
  for (int i = 1;; ++i) {
    if (ready()) return true;
    relax();
    if (i % 64 == 0 && std::chrono::steady_clock::now() > until) return false;
  }
}

}  // namespace

Workers::Workers(int threads) {
  for (int i = 1; i < threads; ++i) crew_.emplace_back([this] { work(); });
}

Workers::~Workers() {
  wait();
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : crew_) t.join();
}

void Workers::takeTasks() {
  for (int i = next_.fetch_add(1); i < count_; i = next_.fetch_add(1)) {
    call_(task_, i);
    finished_.fetch_add(1, std::memory_order_release);
  }
}

void Workers::begin(int count, void* task, Call call) {
  wait();
  if (count <= 0) return;
  started_ = true;
  if (crew_.empty()) {  // the caller runs them all in wait()
    task_ = task, call_ = call, count_ = count;
    next_.store(0);
    finished_.store(0);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    task_ = task;
    call_ = call;
    count_ = count;
    next_.store(0);
    finished_.store(0);
    busy_.store(static_cast<int>(crew_.size()));
    generation_.fetch_add(1, std::memory_order_release);
  }
  wake_.notify_all();
}

void Workers::wait() {
  if (!started_) return;
  takeTasks();
  if (!crew_.empty()) {
    auto idle = [this] { return busy_.load(std::memory_order_acquire) == 0; };
    if (!spinFor(idle)) {
      std::unique_lock lock(mutex_);
      done_.wait(lock, idle);
    }
  }
  started_ = false;
}

void Workers::work() {
  uint64_t seen = 0;
  for (;;) {
    auto next = [&] { return generation_.load(std::memory_order_acquire) != seen; };
    if (!spinFor(next)) {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || next(); });
      if (stopping_) return;
    }
    seen = generation_.load(std::memory_order_acquire);
    takeTasks();
    if (busy_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      std::lock_guard lock(mutex_);  // so that a caller about to sleep sees it
      done_.notify_one();
    }
  }
}

}  // namespace kv::raster::fast
