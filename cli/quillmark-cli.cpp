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
#include "conversion/book/BookChapters.h"
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

using qm::CliSay;
using qm::CliText;

int Failed(const std::string& reason) {
    std::fprintf(stderr, "%s\n%s\n", CliSay("The conversion failed.").c_str(),
                 CliText(reason).c_str());
    return kExitFailure;
}

// One line for the mistake, one pointing to the help.
int UsageError(const std::string& error) {
    std::fprintf(stderr, "quillmark-cli: %s\n%s\n", CliText(error).c_str(),
                 CliSay("Try '%s --help'.", {"quillmark-cli"}).c_str());
    return kExitUsage;
}

// A line of its own on stderr: "quillmark-cli: " and the text in the run's
// language.
void Complain(const std::string& text) {
    std::fprintf(stderr, "quillmark-cli: %s\n", CliText(text).c_str());
}

// -n was set aside for the headings of `divided` books (of a batch of
// `books`, or one alone when books is 0).
void WarnPartsSetAside(const qm::TCliOptions& options, size_t divided, size_t books = 0) {
    if (!options.partsGiven || divided == 0) return;
    const std::string parts = std::to_string(options.parts);
    const std::string why =
        books == 0 ? CliSay(
                         "the book's own headings divide it; -n %s applies only if none is "
                         "found (or with --no-chapters).",
                         {parts})
                   : CliSay(
                         "their own headings divide %s of the %s books; -n %s applies only "
                         "to those without (or with --no-chapters).",
                         {std::to_string(divided), std::to_string(books), parts});
    Complain(CliSay("warning: %s", {why}));
}

// The count of chapters found, in the run's language.
std::string ChaptersFound(size_t volumes, size_t chapters) {
    return CliText(qm::CliLanguage() == qm::TLanguage::Chinese
                       ? qm::ChapterCountTextZh(volumes, chapters)
                       : qm::ChapterCountText(volumes, chapters));
}

int ConvertOne(const qm::TCliOptions& options) {
    qm::TConversionInput input = qm::InputOf(options);
    input.sourcePath = options.files.front();
    input.archiveName = qm::ArchiveNameOf(options, input.sourcePath);
    std::error_code unused;
    // "-o DIR/" makes DIR when missing, as -O does.
    if (!options.output.empty() && options.output.back() == '/') {
        std::filesystem::create_directories(options.output, unused);
    }
    if (std::filesystem::is_directory(input.sourcePath, unused)) {
        return UsageError(CliSay("\"%s\" is a directory; use -r to convert the .txt files below it",
                                 {input.sourcePath}));
    }
    const qm::TRunResult<qm::TConversionRequest> request = qm::PrepareConversion(input);
    if (!request && request.Error().kind == qm::TRunError::Kind::NotTxt) {
        return UsageError(request.Error().message);
    }
    if (!request) return Failed(request.Error().message);

    try {
        qm::TInterruptWatch watch(qm::TempDirPath());
        qm::TConsoleUi ui(watch, ::isatty(STDERR_FILENO) != 0);
        const qm::TConversionResult result = qm::RunConversion(*request, ui);
        // Once the book is in place the run has succeeded, whenever a signal
        // came: only the clean-up was left.
        if (!result && watch.Signal() != 0) {
            std::fprintf(stderr, "%s\n%s\n", CliSay("The conversion failed.").c_str(),
                         CliSay("Interrupted").c_str());
            return 128 + watch.Signal();
        }
        if (!result) return Failed(result.Error().message);
        WarnPartsSetAside(options, result->volumes + result->chapters > 0 ? 1 : 0);
        std::printf("%s\n", CliSay("The book was converted.").c_str());
        if (result->chaptersSought && result->volumes + result->chapters > 0) {
            std::printf("%s\n", ChaptersFound(result->volumes, result->chapters).c_str());
        }
        const std::string saved = std::filesystem::absolute(request->archiveName, unused);
        std::printf("%s\n", CliSay("Saved to %s", {saved}).c_str());
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
        Complain(request.Error().message);
        return kExitFailure;
    }
    try {
        qm::TInterruptWatch watch(qm::TempDirPath());
        qm::TConsoleUi ui(watch, false);
        const qm::TRunResult<qm::TListedBook> listed = qm::ReadEpub3Book(*request, ui);
        if (!listed) {
            Complain(listed.Error().message);
            return kExitFailure;
        }
        const std::vector<qm::TBookSection>& sections = listed->book.sections;
        const std::vector<int> levels = qm::SectionLevels(sections);
        for (size_t k = 0; k < sections.size(); ++k) {
            const std::string indent(2 * static_cast<size_t>(levels[k]), ' ');
            std::printf("%s%s\n", indent.c_str(), sections[k].title.c_str());
        }
        const qm::TChapterCount& found = listed->found;
        WarnPartsSetAside(options, found.Found() ? 1 : 0);
        if (found.Found()) {
            std::printf("%s\n", ChaptersFound(found.volumes, found.chapters).c_str());
        }
        return 0;
    } catch (const std::exception& e) {
        Complain(e.what());
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
        Complain(CliSay("cannot make the directory \"%s\": %s", {outputDir, error.message()}));
        return std::nullopt;
    }
    if (outputDir.back() != '/') outputDir += '/';
    return outputDir;
}

// Prints what became of the batch; the exit status.
int ReportBatch(const qm::TBatchOutcome& outcome, const std::vector<qm::TRefusedSource>& refused,
                size_t books, int signal) {
    const size_t failed = outcome.failures.size() + refused.size();
    std::printf("%s\n",
                CliSay("Converted %s of %s books.",
                       {std::to_string(outcome.converted), std::to_string(books + refused.size())})
                    .c_str());
    std::fflush(stdout);
    if (failed > 0) {
        std::fprintf(stderr, "%s\n", CliSay("Failed: %s", {std::to_string(failed)}).c_str());
        for (const qm::TRefusedSource& source : refused) {
            std::fprintf(stderr, "  %s: %s\n", source.path.c_str(), CliText(source.reason).c_str());
        }
        for (const qm::TBookFailure& failure : outcome.failures) {
            std::fprintf(stderr, "  %s: %s\n", failure.sourcePath.c_str(),
                         CliText(failure.reason).c_str());
        }
    }
    if (signal != 0) {
        std::fprintf(stderr, "%s\n", CliSay("Interrupted").c_str());
        return 128 + signal;
    }
    return failed > 0 ? kExitFailure : 0;
}

int ConvertBatch(const qm::TCliOptions& options) {
    std::vector<std::string> sources;
    std::vector<qm::TRefusedSource> refused;
    qm::CollectSources(options.files, options.recursive, true, sources, refused);
    if (sources.size() > 1 && !options.singleFileOptions.empty()) {
        return UsageError(
            CliSay("%s applies to a single book only, and these FILEs hold %s",
                   {options.singleFileOptions.front(), std::to_string(sources.size())}));
    }
    if (sources.empty() && refused.empty()) {
        Complain("no .txt files found");
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
    qm::CliLanguage();  // read once, before any thread
    // Returning from main (not _exit) lets the temporary directory go.
    return Run(std::vector<std::string>(argv + 1, argv + argc));
}
