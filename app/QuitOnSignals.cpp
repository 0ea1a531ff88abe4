#include "app/QuitOnSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

namespace qm {
namespace {

// The handler may only write to a pipe; the event loop reads the other end.
int signalPipe[2] = {-1, -1};
const TRunControl* current = nullptr;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnSignal(int number) {
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

}  // namespace

TQuitOnSignals::TQuitOnSignals(QObject* parent) : QObject(parent), notifier_(nullptr) {
    current = &stop_;
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TQuitOnSignals::SignalArrived);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // The first signal is the request; a second one finds the default again.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int number : kSignals) {
        // One that the caller ignores (nohup, a background job) stays ignored.
        struct sigaction current {};
        if (::sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        ::sigaction(number, &action, nullptr);
    }
}

TQuitOnSignals::~TQuitOnSignals() {
    if (current == &stop_) current = nullptr;
    if (!notifier_) return;
    for (int number : kSignals) {
        struct sigaction current {};
        if (::sigaction(number, nullptr, &current) == 0 && current.sa_handler == OnSignal) {
            ::signal(number, SIG_DFL);
        }
    }
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void TQuitOnSignals::SignalArrived() {
    unsigned char number = 0;
    if (::read(signalPipe[0], &number, 1) != 1) return;
    // A conversion stops at its next step, so the program does not wait
    // for a long book (or a slow heading pattern) to be done.
    stop_.RequestCancel();
    // Leaves every event loop, also that of an open message box.
    QCoreApplication::exit(128 + number);
}

const TRunControl* TQuitOnSignals::StopRequests() {
    return current;
}

}  // namespace qm
