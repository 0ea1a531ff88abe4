#include "conversion/run/BookPacking.h"

#include <memory>
#include <utility>

#include "platform/Exceptions.h"
#include "zip/DirSearch.h"
#include "zip/StoredName.h"

namespace qm {
namespace {

// The search mask of a plain walk: read-only and archived files, no hidden
// or system ones.
constexpr uint32_t kPlainFiles = 0x39;

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

std::vector<TBookEntry> TreeEntries(const std::string& rootDir) {
    const std::string root = !rootDir.empty() && rootDir.back() != '/' ? rootDir + "/" : rootDir;
    const std::vector<std::string> relativeTo{root};
    TDirSearch search(root, kPlainFiles, true, "*");
    search.OnTooDeep = [](const std::string& path) {
        throw Exception("Too deep to pack: " + path);
    };
    search.OnUnreadable = [](const std::string& path) {
        throw Exception("Cannot read directory " + path);
    };
    std::vector<TBookEntry> entries;
    TSearchRec rec;
    for (std::string found = search.NextFile(rec); !found.empty(); found = search.NextFile(rec)) {
        if (found.back() == '/') continue;
        TBookEntry entry;
        entry.name = StoredNameOf(found, true, &relativeTo);
        entry.path = found;
        entry.packing = TPacking::DeflateAsStreamed;
        entries.push_back(std::move(entry));
    }
    return entries;
}

void PackBook(const std::string& archiveName, std::vector<TBookEntry> entries, TConversionUi& ui,
              int threads, std::optional<uint32_t> dosDateTime) {
    int64_t total = 0;
    for (const TBookEntry& entry : entries) {
        int64_t size = static_cast<int64_t>(entry.bytes.size());
        if (!entry.path.empty() && !FileSizeOf(entry.path, size)) size = 0;
        total += size;
    }
    const std::unique_ptr<TZipWriter> writer =
        Require(TZipWriter::Create(archiveName, WriterOptions(ui, threads, total)));
    for (TBookEntry& entry : entries) {
        TEntryValues values;
        values.name = std::move(entry.name);
        values.dosDateTime = dosDateTime;
        values.packing = entry.packing;
        Require(entry.path.empty() ? writer->AddBytes(values, std::move(entry.bytes))
                                   : writer->AddFile(values, entry.path));
    }
    std::vector<TBookEntry>().swap(entries);
    TEndCentral end;
    Require(writer->Commit(end, nullptr));
    ui.Progress(TConversionPhase::Packing, 100);
}

}  // namespace qm
