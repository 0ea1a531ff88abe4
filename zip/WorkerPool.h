#pragma once
// A fixed set of worker threads taking tasks in the order they were given.
// The archive writer deflates entries on it and the conversion decodes text
// and renders pages; what a task produces is handed back through its own
// state and its end (or failure) through a future, so the pool knows nothing
// of either.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace qm {

class TWorkerPool {
  public:
    // threads < 1 means one per core.
    explicit TWorkerPool(int threads);
    // Drops the tasks not started and waits for the running ones.
    ~TWorkerPool();
    TWorkerPool(const TWorkerPool&) = delete;
    TWorkerPool& operator=(const TWorkerPool&) = delete;

    // Queues the task. The future is ready once it has run and raises what
    // it raised; a task the destructor drops leaves its future broken.
    std::future<void> Run(std::function<void()> task);
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
