#pragma once
// How a book's files reach its archive, for both kinds: one archive writer,
// set up here with the run's progress, warnings and stop request, takes the
// files in order and puts the archive in the target's place when complete.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "conversion/run/ConversionRun.h"
#include "conversion/run/RunResult.h"
#include "zip/ZipWriter.h"

namespace qm {

// One file of the book: its stored name and its content, held in memory.
struct TBookEntry {
    std::string name;
    std::string bytes;
    TPacking packing = TPacking::Deflate;
};

// Packs entries, in order, into a new archive that takes archiveName's
// place once complete; a failed run leaves what was there as it was. Every
// entry is dated dosDateTime when given, else now.
// Raises ERunFailure with the writer's reason (a stop of kind Canceled);
// an entry the writer could not add fails the whole packing.
void PackBook(const std::string& archiveName, std::vector<TBookEntry> entries, TConversionUi& ui,
              int threads, std::optional<uint32_t> dosDateTime = std::nullopt);

}  // namespace qm
