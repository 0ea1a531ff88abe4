#include "app/ConversionUi.h"

#include <QCoreApplication>
#include <QProgressBar>

#include "app/Dialogs.h"
#include "app/QuitOnSignals.h"
#include "app/Unit1.h"

namespace qm {
namespace {

// Where the bar stands for a phase's percentage: pages fill the first half,
// packing the second.
int BarValue(TConversionPhase phase, int percent) {
    const int clamped = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    return phase == TConversionPhase::Pages ? clamped / 2 : 50 + clamped / 2;
}

}  // namespace

TFormConversionUi::TFormConversionUi(TDialogs& dialogs, QProgressBar& bar)
    : TConversionUi(TQuitOnSignals::StopRequests()), dialogs_(dialogs), bar_(bar) {}

void TFormConversionUi::ShowWarning(const std::string& caption, const std::string& text) {
    dialogs_.Warning(QString::fromStdString(caption), QString::fromStdString(text));
}

void TFormConversionUi::ShowNotice(const std::string& text) {
    notices_.append("\n").append(text);
}

void TFormConversionUi::ShowResult(const std::string& text) {
    dialogs_.Result(QString::fromUtf8(kApplicationTitle), QString::fromStdString(text + notices_));
}

void TFormConversionUi::Progress(TConversionPhase phase, int percent) {
    const int value = BarValue(phase, percent);
    // The bar never goes back within a run.
    if (value > bar_.value()) bar_.setValue(value);
}

void TFormConversionUi::ProcessMessages() {
    QCoreApplication::processEvents();
}

}  // namespace qm
