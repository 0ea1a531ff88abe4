#include "conversion/run/BookPacking.h"

#include <memory>
#include <utility>

namespace qm {
namespace {

TZipWriterOptions WriterOptions(TConversionUi& ui, int threads, int64_t total) {
    TZipWriterOptions options;
    options.level = kBookDeflateLevel;
    options.threads = threads;
    options.stopRequested = [&ui] { return ui.Control().CancelRequested(); };
    if (total > 0) {
        auto done = std::make_shared<int64_t>(0);
        options.onRead = [&ui, done, total](int64_t count) {
            *done += count;
            ui.Progress(TConversionPhase::Packing, Percentage(*done, total));
        };
    }
    options.onShrunk = [&ui](const std::string& path) { ui.ShowWarning(path, kShrunkSourceText); };
    return options;
}

}  // namespace

TBookPacker::TBookPacker(const std::string& archiveName, TConversionUi& ui, int threads,
                         std::optional<uint32_t> dosDateTime, int64_t expectedBytes)
    : ui_(ui),
      dosDateTime_(dosDateTime),
      writer_(Require(TZipWriter::Create(archiveName, WriterOptions(ui, threads, expectedBytes)))) {
}

void TBookPacker::Add(TBookEntry entry) {
    TEntryValues values;
    values.name = std::move(entry.name);
    values.dosDateTime = dosDateTime_;
    values.packing = entry.packing;
    if (entry.deflated) {
        Require(writer_->AddDeflated(values, std::move(*entry.deflated)));
    } else {
        Require(writer_->AddBytes(values, std::move(entry.bytes)));
    }
}

void TBookPacker::Finish() {
    TEndCentral end;
    Require(writer_->Commit(end, nullptr));
    ui_.Progress(TConversionPhase::Packing, 100);
}

void PackBook(const std::string& archiveName, std::vector<TBookEntry> entries, TConversionUi& ui,
              int threads, std::optional<uint32_t> dosDateTime) {
    int64_t total = 0;
    for (const TBookEntry& entry : entries) total += static_cast<int64_t>(entry.bytes.size());
    TBookPacker packer(archiveName, ui, threads, dosDateTime, total);
    for (TBookEntry& entry : entries) {
        packer.Add(std::move(entry));
    }
    std::vector<TBookEntry>().swap(entries);
    packer.Finish();
}

}  // namespace qm
