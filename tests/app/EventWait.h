#pragma once
// Lets the window's thread handle its events until a condition holds, for
// tests of a window whose conversion runs on a thread of its own.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <thread>

namespace qm::test {

// True once done() holds; false when it still does not after timeoutMs.
template <typename Done>
bool WaitUntil(Done&& done, int timeoutMs = 120000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace qm::test
