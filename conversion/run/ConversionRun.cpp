#include "conversion/run/ConversionRun.h"

#include <exception>
#include <utility>

#include "conversion/run/BookPacking.h"
#include "conversion/run/BookSplitter.h"
#include "conversion/run/BookTarget.h"
#include "conversion/run/Epub3Run.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

namespace qm {
namespace {

// Passes everything on to the front end and keeps the warnings for the result.
class TWarningRecorder : public TConversionUi {
  public:
    explicit TWarningRecorder(TConversionUi& ui) : TConversionUi(&ui.Control()), ui_(ui) {}
    void ShowWarning(const std::string& caption, const std::string& text) override {
        warnings.push_back(text);
        ui_.ShowWarning(caption, text);
    }
    void ShowNotice(const std::string& text) override {
        warnings.push_back(text);
        ui_.ShowNotice(text);
    }
    void ShowResult(const std::string& text) override { ui_.ShowResult(text); }
    void Progress(TConversionPhase phase, int percent) override { ui_.Progress(phase, percent); }

    std::vector<std::string> warnings;

  private:
    TConversionUi& ui_;
};

// The classic book: its files rendered in memory, then packed into a new
// archive every time, so that the book holds this conversion's files only
// and nothing of an earlier book survives in it.
TConversionResult RunClassicConversion(const TConversionRequest& request, TConversionUi& ui) {
    TConversionResult result;
    result.resultText = kConversionFailedText;
    std::vector<TBookEntry> files;
    if (SplitText(request.parts, request, ui, files, &result.reason)) {
        try {
            CheckBookTarget(request.archiveName);
            PackBook(request.archiveName, std::move(files), ui, request.threads);
            result.success = true;
            result.resultText = kConversionSucceededText;
            result.reason.clear();
        } catch (const std::exception& error) {
            result.reason = error.what();
        }
    }
    ui.ShowResult(ResultBoxText(result));
    return result;
}

}  // namespace

std::string ResultBoxText(const TConversionResult& result) {
    std::string shown = result.resultText;
    if (!result.success && !result.reason.empty()) shown.append("\n").append(result.reason);
    return shown;
}

void CheckCancel(TConversionUi& ui) {
    if (ui.Control().CancelRequested()) throw Exception(kRunInterruptedText);
}

std::string NamedPipeText(const std::string& path) {
    return Format("\"%s\" is a named pipe, not a file.", path.c_str());
}

TConversionResult RunConversion(const TConversionRequest& request, TConversionUi& ui,
                                const std::string& /*tempDirPath*/) {
    TWarningRecorder recorder(ui);
    TConversionResult result;
    try {
        result = request.options.epub3 ? RunEpub3Conversion(request, recorder)
                                       : RunClassicConversion(request, recorder);
    } catch (const std::exception& error) {
        // The front end's own handlers (a result box, say) raised.
        result.success = false;
        result.reason = error.what();
    }
    result.warnings = std::move(recorder.warnings);
    return result;
}

}  // namespace qm
