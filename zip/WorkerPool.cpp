#include "zip/WorkerPool.h"

#include <exception>
#include <memory>
#include <utility>

namespace qm {

int TWorkerPool::DefaultThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
}

TWorkerPool::TWorkerPool(int threads) {
    const int count = threads < 1 ? DefaultThreads() : threads;
    workers_.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) workers_.emplace_back([this] { Work(); });
}

TWorkerPool::~TWorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        tasks_.clear();
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

std::future<void> TWorkerPool::Run(std::function<void()> task) {
    auto promise = std::make_shared<std::promise<void>>();
    std::future<void> done = promise->get_future();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back([task = std::move(task), promise] {
            try {
                task();
                promise->set_value();
            } catch (...) {
                promise->set_exception(std::current_exception());
            }
        });
    }
    wake_.notify_one();
    return done;
}

void TWorkerPool::Work() {
    while (true) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (stopping_) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

}  // namespace qm
