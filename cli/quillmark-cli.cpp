// quillmark-cli: converts .txt books into EPUB books from the command line:
// one as the window does with the file listed and the fields typed in, or a
// whole batch into a directory, several at a time.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/BatchProgress.h"
#include "cli/CliConsole.h"
#include "cli/CliOptions.h"
#include "conversion/run/BatchPlan.h"
#include "conversion/run/BatchRun.h"
#include "conversion/run/ConversionRun.h"
#include "conversion/run/Epub3Run.h"
#include "conversion/run/FileNames.h"
#include "conversion/run/PrepareConversion.h"
#include "platform/TempDir.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Failed(const std::string& reason) {
    std::fprintf(stderr, "%s\n%s\n", qm::kConversionFailedText, reason.c_str());
    return kExitFailure;
}

int UsageError(const std::string& error) {
    std::fprintf(stderr, "quillmark-cli: %s\n%s", error.c_str(), qm::CliUsageText().c_str());
    return kExitUsage;
}

// -n was set aside for the headings of `divided` books (of a batch of
// `books`, or one alone when books is 0).
void WarnPartsSetAside(const qm::TCliOptions& options, size_t divided, size_t books = 0) {
    if (!options.partsGiven || divided == 0) return;
    if (books == 0) {
        std::fprintf(stderr,
                     "quillmark-cli: warning: the book's own headings divide it; -n %d applies "
                     "only if none is found (or with --no-chapters).\n",
                     static_cast<int>(options.parts));
    } else {
        std::fprintf(stderr,
                     "quillmark-cli: warning: their own headings divide %zu of the %zu books; "
                     "-n %d applies only to those without (or with --no-chapters).\n",
                     divided, books, static_cast<int>(options.parts));
    }
}

int ConvertOne(const qm::TCliOptions& options) {
    qm::TConversionInput input = qm::InputOf(options);
    input.sourcePath = options.files.front();
    input.archiveName = qm::ArchiveNameOf(options);
    const qm::TRunResult<qm::TConversionRequest> request = qm::PrepareConversion(input);
    if (!request && request.Error().kind == qm::TRunError::Kind::NotTxt) {
        std::fprintf(stderr, "quillmark-cli: %s\n", request.Error().message.c_str());
        return kExitUsage;
    }
    if (!request) return Failed(request.Error().message);

    try {
        const std::string& tempDirPath = qm::TempDirPath();
        qm::TInterruptWatch watch(tempDirPath);
        qm::TConsoleUi ui(watch, ::isatty(STDERR_FILENO) != 0);
        const qm::TConversionResult result = qm::RunConversion(*request, ui, tempDirPath);
        // Once the book is in place the run has succeeded, whenever a signal
        // came: only the clean-up was left.
        if (!result && watch.Signal() != 0) {
            std::fprintf(stderr, "%s\nInterrupted\n", qm::kConversionFailedText);
            return 128 + watch.Signal();
        }
        if (!result) return Failed(result.Error().message);
        WarnPartsSetAside(options, result->volumes + result->chapters > 0 ? 1 : 0);
        std::printf("%s\n", qm::kConversionSucceededText);
        if (result->chaptersSought && result->volumes + result->chapters > 0) {
            std::printf("%s\n", qm::ChapterCountText(result->volumes, result->chapters).c_str());
        }
        return 0;
    } catch (const std::exception& e) {
        return Failed(e.what());
    }
}

// Prints the book's table of contents as the conversion would make it.
int ListChapters(const qm::TCliOptions& options) {
    qm::TConversionInput input = qm::InputOf(options);
    input.sourcePath = options.files.front();
    const qm::TRunResult<qm::TConversionRequest> request = qm::PrepareConversion(input);
    if (!request) {
        std::fprintf(stderr, "quillmark-cli: %s\n", request.Error().message.c_str());
        return kExitFailure;
    }
    try {
        qm::TInterruptWatch watch(qm::TempDirPath());
        qm::TConsoleUi ui(watch, false);
        const qm::TRunResult<qm::TListedBook> listed = qm::ReadEpub3Book(*request, ui);
        if (!listed) {
            std::fprintf(stderr, "quillmark-cli: %s\n", listed.Error().message.c_str());
            return kExitFailure;
        }
        const std::vector<qm::TBookSection>& sections = listed->book.sections;
        const std::vector<int> levels = qm::SectionLevels(sections);
        for (size_t k = 0; k < sections.size(); ++k) {
            std::printf("%s%s\n", levels[k] > 0 ? "  " : "", sections[k].title.c_str());
        }
        const qm::TChapterCount& found = listed->found;
        WarnPartsSetAside(options, found.Found() ? 1 : 0);
        if (found.Found()) {
            std::printf("%s\n", qm::ChapterCountText(found.volumes, found.chapters).c_str());
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillmark-cli: %s\n", e.what());
        return kExitFailure;
    }
}

// The directory the batch's books go into, made when missing ("" for the
// current one, else ending in "/"); nullopt, said on stderr, when it cannot be.
std::optional<std::string> OutputDirOf(const qm::TCliOptions& options) {
    std::string outputDir = options.outputDir;
    if (outputDir.empty()) return outputDir;
    std::error_code error;
    std::filesystem::create_directories(outputDir, error);
    if (!std::filesystem::is_directory(outputDir)) {
        std::fprintf(stderr, "quillmark-cli: cannot make the directory \"%s\": %s\n",
                     outputDir.c_str(), error.message().c_str());
        return std::nullopt;
    }
    if (outputDir.back() != '/') outputDir += '/';
    return outputDir;
}

// Prints what became of the batch; the exit status.
int ReportBatch(const qm::TBatchOutcome& outcome, const std::vector<qm::TRefusedSource>& refused,
                size_t books, int signal) {
    const size_t failed = outcome.failures.size() + refused.size();
    std::printf("Converted %zu of %zu books.\n", outcome.converted, books + refused.size());
    std::fflush(stdout);
    if (failed > 0) {
        std::fprintf(stderr, "Failed: %zu\n", failed);
        for (const qm::TRefusedSource& source : refused) {
            std::fprintf(stderr, "  %s: %s\n", source.path.c_str(), source.reason.c_str());
        }
        for (const qm::TBookFailure& failure : outcome.failures) {
            std::fprintf(stderr, "  %s: %s\n", failure.sourcePath.c_str(), failure.reason.c_str());
        }
    }
    if (signal != 0) {
        std::fprintf(stderr, "Interrupted\n");
        return 128 + signal;
    }
    return failed > 0 ? kExitFailure : 0;
}

int ConvertBatch(const qm::TCliOptions& options) {
    std::vector<std::string> sources;
    std::vector<qm::TRefusedSource> refused;
    qm::CollectSources(options.files, options.recursive, sources, refused);
    if (sources.size() > 1 && !options.singleFileOptions.empty()) {
        return UsageError(options.singleFileOptions.front() +
                          " applies to a single book only, and these FILEs hold " +
                          std::to_string(sources.size()));
    }
    if (sources.empty() && refused.empty()) {
        std::fprintf(stderr, "quillmark-cli: no .txt files found\n");
        return kExitFailure;
    }
    const std::optional<std::string> outputDir = OutputDirOf(options);
    if (!outputDir) return kExitFailure;
    const std::vector<qm::TBatchBook> books =
        qm::PlanBatch(sources, *outputDir, qm::BatchTitleRule(options.title, options.epub3.epub3));

    qm::TBatchSettings settings;
    settings.common = qm::InputOf(options);
    settings.jobs = options.jobs > 0 ? options.jobs : qm::DefaultJobCount();
    qm::TBatchOutcome outcome;
    int signal = 0;
    try {
        qm::TInterruptWatch watch(qm::TempDirPath());
        qm::TBatchProgress progress(books, ::isatty(STDERR_FILENO) != 0, watch);
        settings.control = &watch.Control();
        outcome = qm::RunBatch(books, settings, *outputDir, progress);
        progress.Finish();
        signal = watch.Signal();
    } catch (const std::exception& e) {
        for (const qm::TBatchBook& book : books)
            outcome.failures.push_back({book.sourcePath, e.what()});
    }
    WarnPartsSetAside(options, outcome.dividedByHeadings, books.size());
    return ReportBatch(outcome, refused, books.size(), signal);
}

int Run(const std::vector<std::string>& args) {
    qm::TCliOptions options;
    std::string error;
    if (!qm::ParseCliOptions(args, options, error)) return UsageError(error);
    if (options.help) {
        std::fputs(qm::CliUsageText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s\n", qm::kCliVersionText);
        return 0;
    }
    if (options.listChapters) return ListChapters(options);
    return options.Batch() ? ConvertBatch(options) : ConvertOne(options);
}

}  // namespace

int main(int argc, char** argv) {
    // Returning from main (not _exit) lets the temporary directory go.
    return Run(std::vector<std::string>(argv + 1, argv + argc));
}
