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

// One file of the book: its stored name and its content, held in memory or
// (when path is set) read from that file.
struct TBookEntry {
    std::string name;
    std::string bytes;
    std::string path;
    TPacking packing = TPacking::Deflate;
};

// The files below rootDir (a walk of the whole tree, each directory in the
// order it lists), stored by their paths relative to it and deflated as a
// file from disk is: the classic book's packing. A directory that cannot be
// read, or lies too deep to walk, raises: no page is left out in silence.
std::vector<TBookEntry> TreeEntries(const std::string& rootDir);

// Packs entries, in order, into a new archive that takes archiveName's
// place once complete; a failed run leaves what was there as it was. Every
// entry is dated dosDateTime when given, else as its file (bytes: now).
// Raises ERunFailure with the writer's reason (a stop of kind Canceled);
// an entry the writer could not add fails the whole packing.
void PackBook(const std::string& archiveName, std::vector<TBookEntry> entries, TConversionUi& ui,
              int threads, std::optional<uint32_t> dosDateTime = std::nullopt);

}  // namespace qm
