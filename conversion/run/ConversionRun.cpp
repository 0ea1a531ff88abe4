#include "conversion/run/ConversionRun.h"

#include <exception>
#include <utility>

#include "conversion/run/BookPacking.h"
#include "conversion/run/BookSplitter.h"
#include "conversion/run/BookTarget.h"
#include "conversion/run/Epub3Run.h"
#include "conversion/run/StagingTree.h"
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

TConversionResult RunClassicConversion(const TConversionRequest& request, TConversionUi& ui,
                                       const std::string& tempDirPath) {
    TConversionResult result;
    try {
        CreateStagingTree(tempDirPath);
    } catch (const std::exception& error) {
        // No result to show yet: the front end shows the reason.
        result.reason = error.what();
        DeleteDirectoryTree(StagingDir(tempDirPath));
        return result;
    }
    result.resultText = kConversionFailedText;
    if (SplitText(request.parts, request, ui, tempDirPath, &result.reason)) {
        if (ZipStagingTree(StagingDir(tempDirPath), request.archiveName, ui, request.threads,
                           &result.reason)) {
            result.success = true;
            result.resultText = kConversionSucceededText;
            result.reason.clear();
        }
    }
    const std::string shown = ResultBoxText(result);
    ui.ShowResult(shown);
    DeleteDirectoryTree(StagingDir(tempDirPath));
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

bool ZipStagingTree(const std::string& rootDir, const std::string& archiveName, TConversionUi& ui,
                    int threads, std::string* reason) {
    try {
        CheckBookTarget(archiveName);
        // A new archive every time: the book holds this conversion's files
        // only, and nothing of an earlier book survives in it.
        PackBook(archiveName, TreeEntries(rootDir), ui, threads);
        return true;
    } catch (const std::exception& error) {
        if (reason) *reason = error.what();
        return false;
    }
}

TConversionResult RunConversion(const TConversionRequest& request, TConversionUi& ui,
                                const std::string& tempDirPath) {
    TWarningRecorder recorder(ui);
    TConversionResult result;
    try {
        result = request.options.epub3 ? RunEpub3Conversion(request, recorder)
                                       : RunClassicConversion(request, recorder, tempDirPath);
    } catch (const std::exception& error) {
        // The front end's own handlers (a result box, say) raised.
        result.success = false;
        result.reason = error.what();
    }
    result.warnings = std::move(recorder.warnings);
    return result;
}

}  // namespace qm
