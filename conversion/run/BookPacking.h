#pragma once
// How a book's files reach its archive, for both kinds: one archive writer,
// set up here with the run's progress, warnings and stop request, takes the
// files in order and puts the archive in the target's place when complete.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "conversion/run/ConversionRun.h"
#include "conversion/run/RunResult.h"
#include "zip/ZipWriter.h"

namespace qm {

// The level every book's entries are deflated at.
inline constexpr int kBookDeflateLevel = 6;

// One file of the book: its stored name and its content, held in memory,
// either as it is or already deflated (DeflateAhead at kBookDeflateLevel
// with this packing), which then stands for bytes.
struct TBookEntry {
    std::string name;
    std::string bytes;
    TPacking packing = TPacking::Deflate;
    std::optional<TDeflatedData> deflated;
};

// Packs the entries it is given, in order and as they come, into a new
// archive that takes archiveName's place on Finish; a packer dropped before
// that leaves what was there as it was. Every entry is dated dosDateTime
// when given, else now. With expectedBytes (the entries' content bytes in
// all) the entries' reading is reported as Progress(Packing, percent).
// Add and Finish raise ERunFailure with the writer's reason (a stop of kind
// Canceled); an entry the writer could not add fails the whole packing.
class TBookPacker {
  public:
    TBookPacker(const std::string& archiveName, TConversionUi& ui, int threads,
                std::optional<uint32_t> dosDateTime, int64_t expectedBytes = 0);
    void Add(TBookEntry entry);
    // Writes what is left and the directory, puts the archive in place and
    // reports Progress(Packing, 100).
    void Finish();

  private:
    TConversionUi& ui_;
    std::optional<uint32_t> dosDateTime_;
    std::unique_ptr<TZipWriter> writer_;
};

// Packs entries, in order, through a TBookPacker (above), reporting their
// reading as packing progress.
void PackBook(const std::string& archiveName, std::vector<TBookEntry> entries, TConversionUi& ui,
              int threads, std::optional<uint32_t> dosDateTime = std::nullopt);

}  // namespace qm
