#include "platform/raster/fast/workers.h"

namespace kv::raster::fast {

Workers::Workers(int threads) {
  for (int i = 1; i < threads; ++i) crew_.emplace_back([this] { work(); });
}

Workers::~Workers() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : crew_) t.join();
}

void Workers::takeTasks() {
  for (int i = next_.fetch_add(1); i < count_; i = next_.fetch_add(1)) call_(task_, i);
}

void Workers::runTasks(int count, void* task, Call call) {
  if (count <= 0) return;
  if (crew_.empty() || count == 1) {
    for (int i = 0; i < count; ++i) call(task, i);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    task_ = task;
    call_ = call;
    count_ = count;
    next_.store(0);
    busy_ = static_cast<int>(crew_.size());
    ++generation_;
  }
  wake_.notify_all();
  takeTasks();
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return busy_ == 0; });
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
