#include "conversion/ConversionRun.h"

#include <exception>
#include <utility>

#include "conversion/BookSplitter.h"
#include "conversion/StagingTree.h"
#include "zip/ZipBuilder.h"

namespace qm {
namespace {

// Routes the builder's notifications to the front end for one run and puts
// back whatever the builder had before, also when the run fails.
class BuilderHooks {
  public:
    BuilderHooks(TZipBuilder& zip, TConversionUi& ui)
        : zip_(zip),
          percent_(std::move(zip.OnTotalPercentDone)),
          pump_(std::move(zip.MessagePump)),
          warning_(std::move(zip.WarningBox)) {
        zip.OnTotalPercentDone = [&ui](TZipBuilder&, int32_t percent) {
            ui.Progress(TConversionPhase::Packing, percent);
        };
        zip.MessagePump = [&ui] { ui.ProcessMessages(); };
        zip.WarningBox = [&ui](const std::string& caption, const std::string& text) {
            ui.ShowWarning(caption, text);
        };
    }
    ~BuilderHooks() {
        zip_.OnTotalPercentDone = std::move(percent_);
        zip_.MessagePump = std::move(pump_);
        zip_.WarningBox = std::move(warning_);
    }
    BuilderHooks(const BuilderHooks&) = delete;
    BuilderHooks& operator=(const BuilderHooks&) = delete;

  private:
    TZipBuilder& zip_;
    decltype(TZipBuilder::OnTotalPercentDone) percent_;
    decltype(TZipBuilder::MessagePump) pump_;
    decltype(TZipBuilder::WarningBox) warning_;
};

}  // namespace

bool ZipStagingTree(TZipBuilder& zip, const std::string& rootDir, const std::string& archiveName,
                    std::string* reason) {
    try {
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
    CreateStagingTree(tempDirPath);
    TConversionResult result;
    result.resultText = kConversionFailedText;
    if (SplitText(request.parts, request, ui, tempDirPath, &result.reason)) {
        BuilderHooks hooks(zip, ui);
        if (ZipStagingTree(zip, StagingDir(tempDirPath), request.archiveName, &result.reason)) {
            result.success = true;
            result.resultText = kConversionSucceededText;
            result.reason.clear();
        }
    }
    ui.ShowResult(result.resultText);
    DeleteDirectoryTree(StagingDir(tempDirPath));
    return result;
}

}  // namespace qm
