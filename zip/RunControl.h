#pragma once
// What a running job and its front end share: a request to stop, which the
// front end (or a signal's thread) sets from any thread and the run and the
// archive builder read at each of their steps, on the run's own thread.
#include <atomic>

namespace qm {

class TRunControl {
  public:
    TRunControl() = default;
    // A control that also stops when `source` is asked to (the program-wide
    // interrupt, say), besides its own requests.
    explicit TRunControl(const TRunControl* source) : source_(source) {}
    TRunControl(const TRunControl&) = delete;
    TRunControl& operator=(const TRunControl&) = delete;

    void RequestCancel() { cancel_.store(true); }
    bool CancelRequested() const {
        return cancel_.load() || (source_ != nullptr && source_->CancelRequested());
    }

  private:
    std::atomic<bool> cancel_{false};
    const TRunControl* source_ = nullptr;
};

}  // namespace qm
