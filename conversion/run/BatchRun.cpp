#include "conversion/run/BatchRun.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "conversion/run/BookTarget.h"
#include "platform/Exceptions.h"
#include "platform/FileSystem.h"
#include "platform/TempDir.h"
#include "platform/WorkFile.h"

namespace qm {
namespace {

// One book's front end: progress to the batch's listener; warnings come
// back in the result. It stops with the batch's control.
class TBatchBookUi : public TConversionUi {
  public:
    TBatchBookUi(size_t index, const TRunControl* control, TBatchListener& listener)
        : TConversionUi(control), index_(index), listener_(listener) {}

    void ShowWarning(const std::string&, const std::string& text) override {
        warnings.push_back(text);
    }
    void ShowResult(const std::string&, bool) override {}
    void Progress(TConversionPhase phase, int percent) override {
        listener_.BookProgress(index_, phase, percent);
    }

    std::vector<std::string> warnings;  // the run's, in order

  private:
    size_t index_;
    TBatchListener& listener_;
};

// What the work directories of batches are called: ".quillmark-batch-XXXXXX".
constexpr const char* kBatchDirectoryTag = "quillmark-batch-";

std::string JoinReasons(const std::vector<std::string>& warnings, const std::string& reason) {
    std::string text;
    for (const std::string& part : warnings) text += (text.empty() ? "" : "; ") + part;
    // A warning that ended the run is often its reason too.
    if (!reason.empty() && std::find(warnings.begin(), warnings.end(), reason) == warnings.end()) {
        text += (text.empty() ? "" : "; ") + reason;
    }
    return text.empty() ? kConversionFailedText : text;
}

// Puts a finished book where its name leads, as a single run's book is put:
// what the name names is replaced only when it is a regular file, and a link
// is written through (ReplacedTarget). A link to another file system gets
// the book copied beside its file first, so the rename stays whole.
void PutInPlace(const std::string& stagedPath, const std::string& bookPath) {
    const std::string replaced = ReplacedTarget(bookPath);
    const int error = RenameFile(stagedPath, replaced);
    if (error == EXDEV) {
        TWorkFile copy(replaced);
        std::filesystem::copy_file(stagedPath, copy.Path(),
                                   std::filesystem::copy_options::overwrite_existing);
        copy.Commit();
    } else if (error != 0) {
        throw Exception("Cannot put the book in place as \"" + bookPath + "\". " +
                        std::strerror(error));
    }
}

// Converts one book into stagedPath and renames it onto its name; the
// reason when the book was not made.
TConversionResult ConvertBook(const TBatchBook& book, size_t index, const TBatchSettings& settings,
                              const std::string& stagedPath, TBatchListener& listener) {
    // Only an earlier book is replaced: checked before the work and again
    // just before the rename.
    if (TRunStatus target = CheckBookTarget(book.bookPath); !target) return target.Error();
    TConversionInput input = settings.common;
    input.sourcePath = book.sourcePath;
    input.title = book.title;
    input.archiveName = stagedPath;
    TRunResult<TConversionRequest> request = PrepareConversion(input);
    if (!request) return request.Error();
    // Each book packs on one thread when several convert at a time: the
    // jobs share the cores.
    if (request->threads == 0 && settings.jobs > 1) request->threads = 1;
    TBatchBookUi ui(index, settings.control, listener);
    const TConversionResult result = RunConversion(*request, ui);
    if (!result) {
        RemoveTree(stagedPath);
        return TRunError{result.Error().kind, JoinReasons(ui.warnings, result.Error().message)};
    }
    for (const std::string& warning : ui.warnings) listener.BookWarning(index, warning);
    if (TRunStatus target = CheckBookTarget(book.bookPath); !target) {
        RemoveTree(stagedPath);
        return target.Error();
    }
    try {
        PutInPlace(stagedPath, book.bookPath);
    } catch (const std::exception& error) {
        RemoveTree(stagedPath);
        return TRunError{TRunError::Kind::Failed, error.what()};
    }
    return result;
}

// What became of each book: not started (cancelled first), made, or failed
// with its reason.
TBatchOutcome TallyOutcome(const std::vector<TBatchBook>& books,
                           const std::vector<TBatchBookDone>& dones,
                           const std::vector<char>& started) {
    TBatchOutcome outcome;
    for (size_t index = 0; index < books.size(); ++index) {
        const TBatchBookDone& done = dones[index];
        if (!started[index]) {
            ++outcome.notStarted;
        } else if (done.made) {
            ++outcome.converted;
            if (done.dividedByHeadings) ++outcome.dividedByHeadings;
        } else {
            outcome.failures.push_back({books[index].sourcePath, done.reason});
        }
    }
    return outcome;
}

}  // namespace

int DefaultJobCount() {
    cpu_set_t cpus;
    if (::sched_getaffinity(0, sizeof cpus, &cpus) == 0 && CPU_COUNT(&cpus) > 0) {
        return CPU_COUNT(&cpus);
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

TBatchOutcome RunBatch(const std::vector<TBatchBook>& books, const TBatchSettings& settings,
                       const std::string& outputDir, TBatchListener& listener) {
    // Those of batches killed into this directory earlier.
    TWorkDirectory::RemoveStale(outputDir, kBatchDirectoryTag);
    // Beside the books, so that putting one in place is a rename.
    std::optional<TWorkDirectory> staging;
    std::string commonError;
    try {
        staging.emplace(outputDir, kBatchDirectoryTag);
        listener.WorkDirectoryMade(staging->Path());
    } catch (const std::exception& error) {
        commonError = error.what();
    }

    const auto stopped = [&settings] {
        return settings.control != nullptr && settings.control->CancelRequested();
    };
    std::vector<TBatchBookDone> dones(books.size());
    std::vector<char> started(books.size(), 0);
    std::atomic<size_t> next{0};
    auto work = [&] {
        while (!stopped()) {
            const size_t index = next.fetch_add(1);
            if (index >= books.size()) break;
            started[index] = 1;
            const TConversionResult made =
                !commonError.empty()
                    ? TConversionResult(TRunError{TRunError::Kind::NotStarted, commonError})
                    : ConvertBook(books[index], index, settings,
                                  staging->Path() + std::to_string(index) + ".epub", listener);
            TBatchBookDone& done = dones[index];
            done.made = static_cast<bool>(made);
            done.dividedByHeadings = made && made->volumes + made->chapters > 0;
            if (!made) done.reason = made.Error().message;
            listener.BookDone(index, done);
        }
    };
    const int jobs = std::clamp(settings.jobs, 1, std::max<int>(1, books.size()));
    std::vector<std::thread> threads;
    for (int slot = 1; slot < jobs; ++slot) threads.emplace_back(work);
    work();
    for (std::thread& thread : threads) thread.join();

    return TallyOutcome(books, dones, started);
}

}  // namespace qm
