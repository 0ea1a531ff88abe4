#include "cli/CliConsole.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/TempDir.h"

namespace qm {
namespace {

// Time the conversion gets to stop by itself before the watch cleans up.
constexpr auto kStopGrace = std::chrono::seconds(3);

// Program-wide, so the waiting thread never outlives what it writes to.
std::atomic<int> receivedSignal{0};
std::mutex extraPathsMutex;
std::vector<std::string> extraPaths;
// Set once a single book's run has put the book in place: a stop after that
// is no failure.
std::atomic<bool> bookInPlace{false};
// Asked to stop by the waiting thread; every run follows it.
TRunControl interruptControl;

}  // namespace

TLanguage CliLanguage() {
    static const TLanguage language = MessageLanguageFromEnvironment();
    return language;
}

std::string CliSay(const char* english, std::initializer_list<std::string> args) {
    return Say(CliLanguage(), english, args);
}

std::string CliText(const std::string& text) {
    return LocalText(text, CliLanguage());
}

TInterruptWatch::TInterruptWatch(const std::string& tempDirPath) {
    sigset_t signals;
    sigemptyset(&signals);
    for (int number : {SIGINT, SIGTERM, SIGHUP}) {
        // One that the caller ignores (nohup, a background job) stays
        // ignored: a blocked signal would reach sigwait all the same.
        struct sigaction current {};
        if (::sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        sigaddset(&signals, number);
    }
    if (sigisemptyset(&signals)) return;
    // Blocked here, the signals reach only the thread that waits for them.
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([signals, tempDirPath] {
        int received = 0;
        if (sigwait(&signals, &received) != 0) return;
        receivedSignal.store(received);
        interruptControl.RequestCancel();
        // Should the program end first, this thread simply goes with it.
        std::this_thread::sleep_for(kStopGrace);
        RemoveTree(tempDirPath);
        {
            std::lock_guard lock(extraPathsMutex);
            for (const std::string& path : extraPaths) RemoveTree(path);
        }
        if (bookInPlace.load()) {
            const std::string line = CliSay("The book was converted.") + "\n";
            [[maybe_unused]] const ssize_t written =
                ::write(STDOUT_FILENO, line.data(), line.size());
            _exit(0);
        }
        _exit(128 + received);
    }).detach();
}

int TInterruptWatch::Signal() const {
    return receivedSignal.load();
}

void TInterruptWatch::AlsoRemoveOnForcedExit(const std::string& path) const {
    std::lock_guard lock(extraPathsMutex);
    extraPaths.push_back(path);
}

const TRunControl& TInterruptWatch::Control() const {
    return interruptControl;
}

TConsoleUi::TConsoleUi(const TInterruptWatch& watch, bool showProgress)
    : TConversionUi(&watch.Control()), showProgress_(showProgress) {}

void TConsoleUi::EndProgressLine() {
    if (progressShown_) std::fputc('\n', stderr);
    progressShown_ = false;
    lastPercent_ = -1;
}

void TConsoleUi::ShowWarning(const std::string& caption, const std::string& text) {
    EndProgressLine();
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), CliText(text).c_str());
}

void TConsoleUi::ShowResult(const std::string&, bool bookMade) {
    // The caller prints the result with its reason; here the progress line ends.
    if (bookMade) bookInPlace.store(true);
    EndProgressLine();
}

void TConsoleUi::Progress(TConversionPhase phase, int percent) {
    const bool packing = phase == TConversionPhase::Packing;
    if (packing != packing_) {
        EndProgressLine();
        packing_ = packing;
    }
    if (!showProgress_ || percent == lastPercent_) return;
    lastPercent_ = percent;
    progressShown_ = true;
    std::fprintf(stderr, "\r%s %3d%%",
                 CliSay(packing ? "Packing the book:" : "Writing pages:").c_str(), percent);
    std::fflush(stderr);
}

}  // namespace qm
