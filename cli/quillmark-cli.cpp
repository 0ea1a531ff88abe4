// quillmark-cli: converts a .txt book into an EPUB book from the command
// line, as the window does with the file listed and the fields typed in.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/CliConsole.h"
#include "cli/CliOptions.h"
#include "conversion/BookSplitter.h"
#include "conversion/ConversionRun.h"
#include "platform/CodePage.h"
#include "platform/FileStream.h"
#include "platform/TempDir.h"
#include "zip/ZipBuilder.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Failed(const std::string& reason) {
    std::fprintf(stderr, "%s\n%s\n", qm::kConversionFailedText, reason.c_str());
    return kExitFailure;
}

int Run(const std::vector<std::string>& args) {
    qm::TCliOptions options;
    std::string error;
    if (!qm::ParseCliOptions(args, options, error)) {
        std::fprintf(stderr, "quillmark-cli: %s\n%s", error.c_str(), qm::kCliUsageText);
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(qm::kCliUsageText, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s\n", qm::kCliVersionText);
        return 0;
    }
    if (!qm::HasTxtExtension(options.file)) {
        std::fprintf(stderr,
                     "quillmark-cli: \"%s\" is not a .txt file; only files ending in \".txt\" can "
                     "be converted.\n",
                     options.file.c_str());
        return kExitUsage;
    }

    qm::TConversionRequest request;
    request.sourcePath = options.file;
    request.labelName = qm::LabelNameOf(options.file);
    request.title = qm::Utf8ToAnsi(options.title);
    request.author = qm::Utf8ToAnsi(options.author);
    request.parts = options.parts;
    request.archiveName = qm::ArchiveNameOf(options);
    if (qm::IsNamedPipe(options.file)) {
        return Failed("\"" + options.file + "\" is a named pipe, not a file.");
    }
    try {
        qm::TFileStream source(options.file, qm::fmOpenRead | qm::fmShareDenyNone);
        request.fileSize = qm::RecordedFileSize(source.Size());
    } catch (const std::exception& e) {
        return Failed(e.what());
    }

    try {
        const std::string& tempDirPath = qm::TempDirPath();
        qm::TInterruptWatch watch(tempDirPath);
        qm::TZipBuilder zip;
        qm::TConsoleUi ui(zip, watch, ::isatty(STDERR_FILENO) != 0);
        const qm::TConversionResult result = qm::RunConversion(request, ui, zip, tempDirPath);
        // Once the book is in place the run has succeeded, whenever a signal
        // came: only the clean-up was left.
        if (!result.success && watch.Signal() != 0) {
            std::fprintf(stderr, "%s\nInterrupted\n", qm::kConversionFailedText);
            return 128 + watch.Signal();
        }
        if (!result.success) return Failed(result.reason);
        std::printf("%s\n", result.resultText.c_str());
        return 0;
    } catch (const std::exception& e) {
        return Failed(e.what());
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Returning from main (not _exit) lets the temporary directory go.
    return Run(std::vector<std::string>(argv + 1, argv + argc));
}
