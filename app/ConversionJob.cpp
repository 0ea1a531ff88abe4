#include "app/ConversionJob.h"

#include <utility>

#include "app/ReasonText.h"

namespace qm {
namespace {

// Where the bar stands for a phase's percentage: pages fill the first half,
// packing the second.
int BarValue(TConversionPhase phase, int percent) {
    const int clamped = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    return phase == TConversionPhase::Pages ? clamped / 2 : 50 + clamped / 2;
}

}  // namespace

// The run's side of the window, called on the run's thread only.
class TConversionJob::TJobUi : public TConversionUi {
  public:
    TJobUi(TConversionJob& job, const TRunControl* stopSource)
        : TConversionUi(stopSource), job_(job) {}

    void ShowWarning(const std::string& caption, const std::string& text) override {
        const QString shownCaption = QString::fromStdString(caption);
        const QString shownText = ReasonText(text);
        job_.AskWindow(
            [this, shownCaption, shownText] { emit job_.WarningShown(shownCaption, shownText); });
    }
    // Held and shown under the result, so that a guessed encoding does not
    // stop every conversion with a box of its own.
    void ShowNotice(const std::string& text) override { notices_.append("\n").append(text); }
    // The box is shown while the run waits, before it ends.
    void ShowResult(const std::string& text, bool bookMade) override {
        const QString shown = ReasonText(text + notices_);
        job_.AskWindow([this, shown, bookMade] { emit job_.ResultShown(shown, bookMade); });
    }
    void Progress(TConversionPhase phase, int percent) override {
        const int value = BarValue(phase, percent);
        // Only a change is sent: the window's queue gets a hundred events at most.
        if (value <= barValue_) return;
        barValue_ = value;
        emit job_.Progressed(value);
    }

  private:
    TConversionJob& job_;
    std::string notices_;
    int barValue_ = 0;
};

TConversionJob::TConversionJob(TConversionRequest request, const TRunControl* stopSource,
                               QObject* parent)
    : QObject(parent),
      request_(std::move(request)),
      ui_(std::make_unique<TJobUi>(*this, stopSource)),
      result_(TRunError{TRunError::Kind::NotStarted, {}}) {}

TConversionJob::~TConversionJob() {
    CancelAndJoin();
}

void TConversionJob::Start() {
    thread_ = std::thread([this] { Run(); });
}

void TConversionJob::Run() {
    result_ = RunConversion(request_, *ui_);
    emit Finished();
}

void TConversionJob::CancelAndJoin() {
    ui_->Control().RequestCancel();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        abandoned_ = true;
    }
    answered_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void TConversionJob::AskWindow(std::function<void()> ask) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (abandoned_) return;
    const uint64_t call = ++asks_;
    lock.unlock();
    // Posted to this object, which lives on the window's thread; dropped
    // unseen if the job goes first.
    QMetaObject::invokeMethod(
        this,
        [this, call, ask = std::move(ask)] {
            {
                std::lock_guard<std::mutex> guard(mutex_);
                if (abandoned_) return;
            }
            ask();
            {
                std::lock_guard<std::mutex> guard(mutex_);
                answers_ = call;
            }
            answered_.notify_all();
        },
        Qt::QueuedConnection);
    lock.lock();
    answered_.wait(lock, [this, call] { return answers_ >= call || abandoned_; });
}

}  // namespace qm
