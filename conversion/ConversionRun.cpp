#include "conversion/ConversionRun.h"

#include <exception>
#include <utility>

#include "conversion/BookSplitter.h"
#include "conversion/BookTarget.h"
#include "conversion/BuilderHooks.h"
#include "conversion/Epub3Run.h"
#include "conversion/StagingTree.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "zip/ZipBuilder.h"

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
                                       TZipBuilder& zip, const std::string& tempDirPath) {
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
        BuilderHooks hooks(zip, ui);
        if (ZipStagingTree(zip, StagingDir(tempDirPath), request.archiveName, &result.reason)) {
            result.success = true;
            result.resultText = kConversionSucceededText;
            result.reason.clear();
        }
    }
    std::string shown = result.resultText;
    // The window shows why, as the command line prints it.
    if (!result.success && !result.reason.empty()) shown.append("\n").append(result.reason);
    ui.ShowResult(shown);
    DeleteDirectoryTree(StagingDir(tempDirPath));
    return result;
}

}  // namespace

void CheckCancel(TConversionUi& ui) {
    if (ui.Control().CancelRequested()) throw Exception(kRunInterruptedText);
}

std::string NamedPipeText(const std::string& path) {
    return Format("\"%s\" is a named pipe, not a file.", path.c_str());
}

bool ZipStagingTree(TZipBuilder& zip, const std::string& rootDir, const std::string& archiveName,
                    std::string* reason) {
    try {
        CheckBookTarget(archiveName);
        zip.SetRootDir(rootDir);
        zip.FilesList() = {"*.*"};
        zip.SetRelativePaths(true);
        zip.SetRecurse(true);
        zip.SetStorePaths(true);
        zip.SetZipName(archiveName);
        // Converting again into the same book must replace its files even
        // within one two-second step of the archive's time stamps.
        zip.SetZipAction(zaReplace);
        // The book holds this conversion's files only: nothing of an earlier
        // book (its extra pages, its packing) survives in it.
        zip.SetFreshArchive(true);
        zip.BuildArchive();
        return true;
    } catch (const std::exception& error) {
        if (reason) *reason = error.what();
        return false;
    }
}

TConversionResult RunConversion(const TConversionRequest& request, TConversionUi& ui,
                                TZipBuilder& zip, const std::string& tempDirPath) {
    TWarningRecorder recorder(ui);
    zip.SetThreads(request.threads);
    TConversionResult result;
    try {
        result = request.options.epub3 ? RunEpub3Conversion(request, recorder, zip, tempDirPath)
                                       : RunClassicConversion(request, recorder, zip, tempDirPath);
    } catch (const std::exception& error) {
        // The front end's own handlers (a result box, say) raised.
        result.success = false;
        result.reason = error.what();
    }
    result.warnings = std::move(recorder.warnings);
    return result;
}

}  // namespace qm
