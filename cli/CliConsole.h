#pragma once
// The command line's side of a conversion: messages and progress on stderr,
// and Ctrl+C / kill handled so that the temporary directory goes away.
#include <string>

#include "conversion/run/ConversionRun.h"
#include "conversion/run/Messages.h"

namespace qm {

// The language of this run's messages, read from the environment on the
// first call (make that in main, before any other thread).
TLanguage CliLanguage();
// The catalogue's message, or any text a run shows, in CliLanguage().
std::string CliSay(const char* english, std::initializer_list<std::string> args = {});
std::string CliText(const std::string& text);

// Takes SIGINT, SIGTERM and SIGHUP (those not ignored, as under nohup) away
// from their default (which would end the program before it removes its
// temporary directory) and waits for them on a thread of its own. The conversion sees the request
// at its next message pump and stops; should it not get there within a few seconds, the thread
// removes the temporary directory and ends the program itself. Make one, before any other thread,
// and keep it for the program's life.
class TInterruptWatch {
  public:
    explicit TInterruptWatch(const std::string& tempDirPath);
    TInterruptWatch(const TInterruptWatch&) = delete;
    TInterruptWatch& operator=(const TInterruptWatch&) = delete;

    // The signal received, 0 while none.
    int Signal() const;
    // Removes path too, should the watch have to end the program itself.
    void AlsoRemoveOnForcedExit(const std::string& path) const;
    // Asked to stop when a signal comes; each run's control follows it.
    const TRunControl& Control() const;
};

class TConsoleUi : public TConversionUi {
  public:
    TConsoleUi(const TInterruptWatch& watch, bool showProgress);

    void ShowWarning(const std::string& caption, const std::string& text) override;
    void ShowResult(const std::string& text, bool bookMade) override;
    void Progress(TConversionPhase phase, int percent) override;

  private:
    void EndProgressLine();

    bool showProgress_;
    bool packing_ = false;
    bool progressShown_ = false;
    int lastPercent_ = -1;
};

}  // namespace qm
