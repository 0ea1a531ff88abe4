#include "conversion/ConversionRun.h"

#include <exception>
#include <utility>

#include "conversion/BookSplitter.h"
#include "conversion/BuilderHooks.h"
#include "conversion/Epub3Run.h"
#include "conversion/StagingTree.h"
#include "zip/ZipBuilder.h"

namespace qm {

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
    zip.SetThreads(request.threads);
    if (request.options.epub3) return RunEpub3Conversion(request, ui, zip, tempDirPath);
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
