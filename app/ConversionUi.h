#pragma once
// What a conversion run shows in the window: its boxes through the window's
// dialogs, its progress in the window's bar, and the window kept alive while
// it works.
#include "conversion/ConversionRun.h"

class QProgressBar;

namespace qm {

class TDialogs;

class TFormConversionUi : public TConversionUi {
  public:
    // A signal that ends the program stops the run too (TQuitOnSignals).
    TFormConversionUi(TDialogs& dialogs, QProgressBar& bar);

    void ShowWarning(const std::string& caption, const std::string& text) override;
    void ShowResult(const std::string& text) override;
    void Progress(TConversionPhase phase, int percent) override;
    void ProcessMessages() override;

  private:
    TDialogs& dialogs_;
    QProgressBar& bar_;
};

}  // namespace qm
