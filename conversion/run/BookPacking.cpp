#include "conversion/run/BookPacking.h"

#include <memory>
#include <utility>

#include "platform/Exceptions.h"
#include "platform/FileSystem.h"

namespace qm {
namespace {

void Require(const TZipStatus& status) {
    if (!status) throw Exception(status.Error().message);
}

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
    for (const TBookEntry& entry : entries) {
        int64_t size = static_cast<int64_t>(entry.bytes.size());
        if (!entry.path.empty() && !FileSizeOf(entry.path, size)) size = 0;
        total += size;
    }
    TZipResult<std::unique_ptr<TZipWriter>> writer =
        TZipWriter::Create(archiveName, WriterOptions(ui, threads, total));
    if (!writer) throw Exception(writer.Error().message);
    for (TBookEntry& entry : entries) {
        TEntryValues values;
        values.name = std::move(entry.name);
        values.dosDateTime = dosDateTime;
        values.packing = entry.packing;
        Require(entry.path.empty() ? (*writer)->AddBytes(values, std::move(entry.bytes))
                                   : (*writer)->AddFile(values, entry.path));
    }
    std::vector<TBookEntry>().swap(entries);
    TEndCentral end;
    TZipResult<std::unique_ptr<TSortedZip>> committed = (*writer)->Commit(end, nullptr);
    if (!committed) throw Exception(committed.Error().message);
    ui.Progress(TConversionPhase::Packing, 100);
}

}  // namespace qm
