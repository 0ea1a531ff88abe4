#pragma once
// Converting a batch of books, several at a time, each in its own temporary
// tree and with its own archive builder, so one book's failure touches no
// other.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/BatchPlan.h"
#include "conversion/run/PrepareConversion.h"

namespace qm {

class TBatchProgress;
class TInterruptWatch;

// The number of cores this process may run on.
int DefaultJobCount();

struct TBatchSettings {
    // What every book of the batch shares (parts, author, ...); the source,
    // title and archive are each book's own.
    TConversionInput common;
    int jobs = 1;
};

struct TBookFailure {
    std::string sourcePath;
    std::string reason;
};

struct TBatchOutcome {
    size_t converted = 0;
    size_t dividedByHeadings = 0;        // books made whose own headings divide them
    std::vector<TBookFailure> failures;  // in the order of the plan
};

// Converts every book of the plan, `settings.jobs` at a time. Each book is
// built under a hidden directory in outputDir (which must exist; empty is the
// current directory) and renamed onto its name only when complete, so a book
// of that name from an earlier run is replaced, never torn. After an
// interrupt no further book is started.
TBatchOutcome RunBatch(const std::vector<TBatchBook>& books, const TBatchSettings& settings,
                       const std::string& outputDir, TBatchProgress& progress,
                       const TInterruptWatch& watch);

}  // namespace qm
