#include "platform/raster/fast/workers.h"

namespace kv::raster::fast {

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
    busy_ = static_cast<int>(crew_.size());
    ++generation_;
  }
  wake_.notify_all();
}

void Workers::wait() {
  if (!started_) return;
  takeTasks();
  if (!crew_.empty()) {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return busy_ == 0; });
  }
  started_ = false;
}

void Workers::work() {
  uint64_t seen = 0;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
      if (stopping_) return;
      seen = generation_;
    }
    takeTasks();
    std::lock_guard lock(mutex_);
    if (--busy_ == 0) done_.notify_one();
  }
}

}  // namespace kv::raster::fast
