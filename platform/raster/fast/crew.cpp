#include "platform/raster/fast/crew.h"

#include <chrono>

namespace kv::raster::fast {

namespace {

// Jobs come in quick succession within a scene: a thread that waits looks
// this long before it sleeps, since waking it costs more (about 40 us on a
// virtual machine). Long enough to span the gap between two frames (their
// presentation and the start of the next), so that a frame's first job does
// not wait for a wake-up.
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

Crew::Crew(int threads, Share share, void* context)
    : share_(share), context_(context), progress_(new Progress[std::max(threads, 1)]) {
  for (int t = 1; t < threads; ++t) crew_.emplace_back([this, t] { work(t); });
}

Crew::~Crew() {
  waitFor(posted());
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& t : crew_) t.join();
}

void Crew::post() {
  posted_.fetch_add(1, std::memory_order_seq_cst);
  // A sleeper counted itself before it last looked at posted_: either it saw
  // this job or it is counted here (both sides are sequentially consistent).
  if (sleepers_.load(std::memory_order_seq_cst) > 0) {
    { std::lock_guard lock(mutex_); }  // a sleeper between its look and its wait has it
    changed_.notify_all();
  }
}

bool Crew::doneWith(uint64_t jobs) const {
  for (size_t t = 1; t <= crew_.size(); ++t)
    if (progress_[t].done.load(std::memory_order_seq_cst) < jobs) return false;
  return true;
}

void Crew::waitFor(uint64_t jobs) {
  auto ready = [&] { return doneWith(jobs); };
  if (crew_.empty() || spinFor(ready)) return;
  std::unique_lock lock(mutex_);
  sleepers_.fetch_add(1, std::memory_order_seq_cst);
  changed_.wait(lock, ready);
  sleepers_.fetch_sub(1, std::memory_order_relaxed);
}

void Crew::work(int thread) {
  std::atomic<uint64_t>& done = progress_[thread].done;
  for (uint64_t job = 0;; ++job) {
    auto ready = [&] { return posted_.load(std::memory_order_seq_cst) > job; };
    if (!spinFor(ready)) {
      std::unique_lock lock(mutex_);
      sleepers_.fetch_add(1, std::memory_order_seq_cst);
      changed_.wait(lock, [&] { return stopping_ || ready(); });
      sleepers_.fetch_sub(1, std::memory_order_relaxed);
      if (!ready()) return;  // stopping, with every posted job done
    }
    share_(context_, job, thread);
    done.store(job + 1, std::memory_order_seq_cst);
    // A waiter counted itself before it last looked at this thread's progress.
    if (sleepers_.load(std::memory_order_seq_cst) > 0) {
      { std::lock_guard lock(mutex_); }
      changed_.notify_all();
    }
  }
}

}  // namespace kv::raster::fast
