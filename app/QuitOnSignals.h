#pragma once
// Ends the program in order when it is asked to stop by a signal (Ctrl+C in
// its terminal, kill, the session ending), so its temporary directory goes
// with it instead of staying behind in the system's temporary folder.
#include <QObject>

class QSocketNotifier;

namespace qm {

class TQuitOnSignals : public QObject {
    Q_OBJECT
  public:
    // Takes SIGINT, SIGTERM and SIGHUP, unless they are ignored (as nohup
    // does), for the application's event loop: on the first, the loop ends
    // with the status 128 + the signal's number once the running handler (a
    // conversion, say) has returned. A second signal
    // ends the program at once, as usual. Make one, after the application.
    explicit TQuitOnSignals(QObject* parent = nullptr);
    ~TQuitOnSignals() override;
    TQuitOnSignals(const TQuitOnSignals&) = delete;
    TQuitOnSignals& operator=(const TQuitOnSignals&) = delete;

  private:
    void SignalArrived();

    QSocketNotifier* notifier_;
};

}  // namespace qm
