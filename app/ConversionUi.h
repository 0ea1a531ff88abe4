#pragma once
// What a conversion run shows in the window: its boxes through the window's
// dialogs, its progress in the window's bar, and the window kept alive while
// it works.
#include <string>

#include "conversion/ConversionRun.h"

class QProgressBar;

namespace qm {

class TDialogs;

class TFormConversionUi : public TConversionUi {
  public:
    // A signal that ends the program stops the run too (TQuitOnSignals).
    TFormConversionUi(TDialogs& dialogs, QProgressBar& bar);

    void ShowWarning(const std::string& caption, const std::string& text) override;
    // Held and shown under the result, so that a guessed encoding does not
    // stop every conversion with a box of its own.
    void ShowNotice(const std::string& text) override;
    void ShowResult(const std::string& text) override;
    void Progress(TConversionPhase phase, int percent) override;
    void ProcessMessages() override;

  private:
    TDialogs& dialogs_;
    QProgressBar& bar_;
    std::string notices_;
};

}  // namespace qm
