#include "conversion/run/BookPacking.h"

#include <memory>
#include <utility>

namespace qm {
namespace {

TZipWriterOptions WriterOptions(TConversionUi& ui, int threads, int64_t total) {
    TZipWriterOptions options;
    options.threads = threads;
    options.stopRequested = [&ui] { return ui.Control().CancelRequested(); };
    auto done = std::make_shared<int64_t>(0);
    options.onRead = [&ui, done, total](int64_t count) {
        *done += count;
        ui.Progress(TConversionPhase::Packing, Percentage(*done, total));
    };
    options.onShrunk = [&ui](const std::string& path) { ui.ShowWarning(path, kShrunkSourceText); };
    return options;
}

}  // namespace

void PackBook(const std::string& archiveName, std::vector<TBookEntry> entries, TConversionUi& ui,
              int threads, std::optional<uint32_t> dosDateTime) {
    int64_t total = 0;
    for (const TBookEntry& entry : entries) total += static_cast<int64_t>(entry.bytes.size());
    const std::unique_ptr<TZipWriter> writer =
        Require(TZipWriter::Create(archiveName, WriterOptions(ui, threads, total)));
    for (TBookEntry& entry : entries) {
        TEntryValues values;
        values.name = std::move(entry.name);
        values.dosDateTime = dosDateTime;
        values.packing = entry.packing;
        Require(writer->AddBytes(values, std::move(entry.bytes)));
    }
    std::vector<TBookEntry>().swap(entries);
    TEndCentral end;
    Require(writer->Commit(end, nullptr));
    ui.Progress(TConversionPhase::Packing, 100);
}

}  // namespace qm
