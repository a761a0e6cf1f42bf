// A fixed crew of threads that runs one job at a time: each job is a number
// of tasks handed out in order to whichever thread is free, the calling
// thread included. The threads are started once and sleep between jobs.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace kv::raster::fast {

class Workers {
 public:
  // threads counts the caller: 1 runs every task on the caller.
  explicit Workers(int threads);
  ~Workers();  // waits for a started job
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  int threads() const { return static_cast<int>(crew_.size()) + 1; }

  // Hands tasks task(0)..task(count-1) to the crew and returns at once, so
  // that the caller can go on with other work; task must live until wait().
  // A job started before is waited for first.
  template <class Task>
  void start(int count, Task& task) {
    begin(count, &task, [](void* t, int i) { (*static_cast<Task*>(t))(i); });
  }
  // Runs the started job's remaining tasks on the caller too and returns
  // when all are done. Nothing started: returns at once.
  void wait();
  bool busy() const { return started_; }
  // Every task of the started job has run (wait() returns at once, or nearly).
  bool done() const { return finished_.load(std::memory_order_acquire) >= count_; }

  // Calls task(i) once for each i in 0..count-1 and returns when all are done.
  template <class Task>
  void run(int count, Task& task) {
    start(count, task);
    wait();
  }

 private:
  using Call = void (*)(void*, int);
  void begin(int count, void* task, Call call);
  void work();       // a crew thread's loop
  void takeTasks();  // runs tasks until none are left

  std::vector<std::thread> crew_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::atomic<uint64_t> generation_{0};  // one per job; the crew waits for the next
  bool stopping_ = false;
  bool started_ = false;      // a job is out (the caller's view)
  std::atomic<int> busy_{0};  // crew threads still on the current job
  void* task_ = nullptr;
  Call call_ = nullptr;
  int count_ = 0;
  std::atomic<int> next_{0};
  std::atomic<int> finished_{0};  // tasks of the job that have run
};

}  // namespace kv::raster::fast
