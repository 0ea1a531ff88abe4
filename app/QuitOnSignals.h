#pragma once
// Ends the program in order when it is asked to stop by a signal (Ctrl+C in
// its terminal, kill, the session ending), so its temporary directory goes
// with it instead of staying behind in the system's temporary folder.
#include <QObject>

#include "zip/RunControl.h"

class QSocketNotifier;

namespace qm {

class TQuitOnSignals : public QObject {
    Q_OBJECT
  public:
    // Takes SIGINT, SIGTERM and SIGHUP, unless they are ignored (as nohup
    // does), for the application's event loop: on the first, a running
    // conversion is asked to stop and the loop ends with the status 128 +
    // the signal's number; the window, as it goes, waits for the run's
    // thread. A second signal ends the program at once, as usual. Make one,
    // after the application.
    explicit TQuitOnSignals(QObject* parent = nullptr);
    ~TQuitOnSignals() override;
    TQuitOnSignals(const TQuitOnSignals&) = delete;
    TQuitOnSignals& operator=(const TQuitOnSignals&) = delete;

    // The stop request that a signal makes, for a conversion's control: that
    // of the one made last, or nullptr while there is none.
    static const TRunControl* StopRequests();

  private:
    void SignalArrived();

    QSocketNotifier* notifier_;
    TRunControl stop_;
};

}  // namespace qm
