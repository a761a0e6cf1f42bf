// A fixed crew of threads that works through a queue of jobs in the order
// they are posted: every crew thread does its own share of every job, so a
// thread's share of one job comes after its share of the job before. The
// caller does its own share itself (share 0); the crew's are 1..threads-1.
// The threads are started once and wait between jobs.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kv::raster::fast {

class Crew {
 public:
  // Does crew thread `thread`'s share of job number `job`.
  using Share = void (*)(void* context, uint64_t job, int thread);

  // threads counts the caller: 1 starts no thread.
  Crew(int threads, Share share, void* context);
  ~Crew();  // waits for the jobs posted
  Crew(const Crew&) = delete;
  Crew& operator=(const Crew&) = delete;

  // Posts job number posted() to the crew and returns at once; whatever the
  // caller wrote for the job before is visible to the crew.
  void post();
  uint64_t posted() const { return posted_.load(std::memory_order_relaxed); }
  // Returns when every crew thread has done its share of jobs 0..jobs-1,
  // with what they wrote visible to the caller.
  void waitFor(uint64_t jobs);

 private:
  // Each on a line of its own: written by one thread, read by the others.
  struct alignas(128) Progress {
    std::atomic<uint64_t> done{0};  // jobs this thread has done its share of
  };
  void work(int thread);
  bool doneWith(uint64_t jobs) const;

  Share share_;
  void* context_;
  std::unique_ptr<Progress[]> progress_;  // per crew thread, 1..threads-1
  alignas(128) std::atomic<uint64_t> posted_{0};
  std::atomic<int> sleepers_{0};  // threads asleep, or about to be, on changed_
  std::mutex mutex_;
  std::condition_variable changed_;  // a job posted, done, or the crew stopping
  bool stopping_ = false;
  std::vector<std::thread> crew_;
};

}  // namespace kv::raster::fast
