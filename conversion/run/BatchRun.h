#pragma once
// Converting a batch of books, several at a time, each in its own temporary
// tree and with its own archive builder, so one book's failure touches no
// other. Front ends (the command line's -O/-r, the window's batch) plan the
// batch (BatchPlan.h), hand it to RunBatch and follow it through a
// TBatchListener; nothing here prints.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "conversion/run/BatchPlan.h"
#include "conversion/run/PrepareConversion.h"
#include "zip/RunControl.h"

namespace qm {

// The number of cores this process may run on.
int DefaultJobCount();

struct TBatchSettings {
    // What every book of the batch shares (parts, author, ...); the source,
    // title and archive are each book's own.
    TConversionInput common;
    int jobs = 1;
    // Asked to stop: the books running stop (each is left as it was) and no
    // further book starts. Null: the batch runs to its end.
    const TRunControl* control = nullptr;
};

// What became of one book.
struct TBatchBookDone {
    bool made = false;
    bool dividedByHeadings = false;  // made, and divided at its own headings
    std::string reason;              // why it was not made (UTF-8)
};

// Follows a batch. Every call may come from any of the batch's threads, and
// several at once: an implementation guards its own state.
class TBatchListener {
  public:
    virtual ~TBatchListener() = default;
    // How far book `index` of the plan has got in this phase, 0..100.
    virtual void BookProgress(size_t /*index*/, TConversionPhase /*phase*/, int /*percent*/) {}
    // A warning of a book that was made (its reasons go with a failure).
    virtual void BookWarning(size_t /*index*/, const std::string& /*text*/) {}
    // Book `index` is over: made or failed (a stop fails the books it ends).
    virtual void BookDone(size_t /*index*/, const TBatchBookDone& /*done*/) {}
    // The batch's work directory, made before any book starts: a front end
    // that may end the process without unwinding removes it then.
    virtual void WorkDirectoryMade(const std::string& /*path*/) {}
};

struct TBookFailure {
    std::string sourcePath;
    std::string reason;
};

struct TBatchOutcome {
    size_t converted = 0;
    size_t dividedByHeadings = 0;        // books made whose own headings divide them
    std::vector<TBookFailure> failures;  // in the order of the plan
    size_t notStarted = 0;               // books a stop kept from starting
};

// Converts every book of the plan, `settings.jobs` at a time. Each book is
// built under a hidden directory in outputDir (which must exist; empty is the
// current directory) and renamed onto its name only when complete, so a book
// of that name from an earlier run is replaced, never torn. What is already
// at a name is taken as a single run takes it (CheckBookTarget,
// ReplacedTarget): a link is written through, anything but an earlier book
// refused. After a stop no further book is started. Never raises.
TBatchOutcome RunBatch(const std::vector<TBatchBook>& books, const TBatchSettings& settings,
                       const std::string& outputDir, TBatchListener& listener);

}  // namespace qm
