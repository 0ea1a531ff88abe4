#include "conversion/run/ConversionRun.h"

#include <exception>

#include "conversion/run/BookPacking.h"
#include "conversion/run/BookSplitter.h"
#include "conversion/run/BookTarget.h"
#include "conversion/run/Epub3Run.h"
#include "conversion/run/StagingTree.h"
#include "platform/Format.h"

namespace qm {
namespace {

TConversionResult RunClassicConversion(const TConversionRequest& request, TConversionUi& ui,
                                       const std::string& tempDirPath) {
    const TRunStatus staged = CaptureRun([&tempDirPath] { CreateStagingTree(tempDirPath); });
    if (!staged) {
        // No result to show yet: the front end shows the reason.
        DeleteDirectoryTree(StagingDir(tempDirPath));
        return TRunError{TRunError::Kind::NotStarted, staged.Error().message};
    }
    TRunStatus made = SplitText(request.parts, request, ui, tempDirPath);
    if (made) {
        made = ZipStagingTree(StagingDir(tempDirPath), request.archiveName, ui, request.threads);
    }
    ui.ShowResult(made ? kConversionSucceededText : FailedBoxText(made.Error().message),
                  static_cast<bool>(made));
    DeleteDirectoryTree(StagingDir(tempDirPath));
    if (!made) return made.Error();
    return TBookReport{};
}

}  // namespace

std::string FailedBoxText(const std::string& reason) {
    std::string shown = kConversionFailedText;
    if (!reason.empty()) shown.append("\n").append(reason);
    return shown;
}

void CheckCancel(TConversionUi& ui) {
    if (ui.Control().CancelRequested()) {
        throw ERunFailure({TRunError::Kind::Canceled, kRunInterruptedText});
    }
}

std::string NamedPipeText(const std::string& path) {
    return Format("\"%s\" is a named pipe, not a file.", path.c_str());
}

TRunStatus ZipStagingTree(const std::string& rootDir, const std::string& archiveName,
                          TConversionUi& ui, int threads) {
    return CaptureRun([&] {
        Require(CheckBookTarget(archiveName));
        // A new archive every time: the book holds this conversion's files
        // only, and nothing of an earlier book survives in it.
        PackBook(archiveName, TreeEntries(rootDir), ui, threads);
    });
}

TConversionResult RunConversion(const TConversionRequest& request, TConversionUi& ui,
                                const std::string& tempDirPath) {
    try {
        return request.options.epub3 ? RunEpub3Conversion(request, ui)
                                     : RunClassicConversion(request, ui, tempDirPath);
    } catch (...) {
        // The front end's own handlers (a result box, say) raised.
        return RunErrorOf(std::current_exception());
    }
}

}  // namespace qm
