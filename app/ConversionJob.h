#pragma once
// One conversion on a thread of its own, so the window's event loop is never
// blocked by a run. The thread runs RunConversion, the function the command
// line runs; its progress, its boxes and its end reach the window's thread
// through queued signals, and all the window holds of the run is a stop
// request.
#include <QObject>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "conversion/run/ConversionRun.h"

namespace qm {

class TConversionJob : public QObject {
    Q_OBJECT
  public:
    // Made on the window's thread, which gets the signals. stopSource, when
    // not null, stops the run too (a signal asking the program to end).
    TConversionJob(TConversionRequest request, const TRunControl* stopSource,
                   QObject* parent = nullptr);
    // Cancels the run and waits for its thread.
    ~TConversionJob() override;
    TConversionJob(const TConversionJob&) = delete;
    TConversionJob& operator=(const TConversionJob&) = delete;

    // Starts the thread; once only.
    void Start();
    // Asks the run to stop at its next step and to stop waiting for a box it
    // asked the window to show, then waits for the thread to end. Safe to
    // call from a box's own event loop, and more than once.
    void CancelAndJoin();
    // The run's outcome once Finished has been emitted (before: NotStarted).
    const TConversionResult& Result() const { return result_; }

  signals:
    // The bar's new value (0..100), only ever growing: pages fill the first
    // half, packing the second. Emitted on the run's thread.
    void Progressed(int barValue);
    // Emitted on the window's thread while the run waits: a connected slot
    // shows the box, and the run goes on once it has returned.
    void WarningShown(const QString& caption, const QString& text);
    void ResultShown(const QString& text, bool bookMade);
    // The run has ended and Result() holds its outcome. Emitted on the
    // run's thread.
    void Finished();

  private:
    class TJobUi;

    void Run();
    // Calls ask on the window's thread and waits until it has returned, or
    // until the run is cancelled (then ask may not be called at all).
    void AskWindow(std::function<void()> ask);

    const TConversionRequest request_;
    std::unique_ptr<TJobUi> ui_;
    TConversionResult result_;

    std::mutex mutex_;
    std::condition_variable answered_;
    uint64_t asks_ = 0;     // calls to AskWindow so far
    uint64_t answers_ = 0;  // the last of them answered
    bool abandoned_ = false;
    std::thread thread_;  // last: it ends before the rest goes
};

}  // namespace qm
