#pragma once
// A fixed set of worker threads taking tasks in the order they were given.
// The archive writer deflates entries on it and the book splitter turns parts
// into pages; what a task produces is handed back through its own state, so
// the pool knows nothing of either.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qm {

// How long a thread that waits for workers goes without handling the
// window's events: a quarter of the 20 ms the window may wait at most, as a
// waiting thread wakes up late (10 to 15 ms late was seen) when the workers
// keep every core busy.
inline constexpr std::chrono::milliseconds kPumpInterval{5};

class TWorkerPool {
  public:
    // threads < 1 means one per core.
    explicit TWorkerPool(int threads);
    // Drops the tasks not started and waits for the running ones.
    ~TWorkerPool();
    TWorkerPool(const TWorkerPool&) = delete;
    TWorkerPool& operator=(const TWorkerPool&) = delete;

    // The task must not throw (it reports failures through its own state).
    void Submit(std::function<void()> task);
    int Threads() const { return static_cast<int>(workers_.size()); }

    // The number of cores, at least 1.
    static int DefaultThreads();

  private:
    void Work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace qm
