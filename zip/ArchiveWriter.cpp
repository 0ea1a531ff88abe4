#include "zip/ArchiveWriter.h"

#include <chrono>
#include <utility>

#include "zip/ZipExceptions.h"

namespace qm {
namespace {

constexpr int64_t kWriteBlock = TEntryCompressor::kDeflateBufferSize;

// True when every job has run.
bool AllDone(std::vector<std::future<void>>& jobs) {
    for (std::future<void>& job : jobs) {
        if (job.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) return false;
    }
    return true;
}

}  // namespace

TArchiveWriter::TArchiveWriter(const std::string& target, bool flushFilesOnClose, int threads,
                               TEntryHooks& hooks, std::function<void(TPendingEntry&)> written)
    : workFile_(target),
      output_(std::make_unique<TBufferedFileStream>(workFile_.Path(), fmCreate)),
      threads_(threads < 1 ? TWorkerPool::DefaultThreads() : threads),
      hooks_(hooks),
      written_(std::move(written)) {
    output_->SetFlushFilesOnClose(flushFilesOnClose);
}

TArchiveWriter::~TArchiveWriter() = default;

void TArchiveWriter::Add(std::unique_ptr<TZipHeaderInfo> entry) {
    entries_.push_back(std::move(entry));
}

void TArchiveWriter::Queue(std::unique_ptr<TPendingEntry> pending) {
    const int64_t size = static_cast<int64_t>(pending->data.size());
    while (!queue_.empty() && (bytesInFlight_ + size > kBytesInFlight ||
                               static_cast<int>(queue_.size()) >= threads_ * kEntriesPerWorker)) {
        WriteHead();
    }
    Slot slot;
    slot.pending = std::shared_ptr<TPendingEntry>(std::move(pending));
    slot.sourceSize = size;
    // Each job deflates its share into its own place; the writer takes
    // them in order.
    auto submit = [this, &slot](std::function<void()> work) {
        if (!pool_) pool_ = std::make_unique<TWorkerPool>(threads_);
        slot.done.push_back(pool_->Run(std::move(work)));
    };
    const std::shared_ptr<TPendingEntry> job = slot.pending;
    if (job->level == 0) {
        // Stored: nothing to do.
    } else if (size >= kSplitDeflateMin) {
        const size_t count = static_cast<size_t>(size / kDeflatePiece);
        job->pieces.resize(count);
        for (size_t k = 0; k < count; ++k) {
            submit([job, k, count] {
                const size_t start = k * static_cast<size_t>(kDeflatePiece);
                const size_t length =
                    k + 1 < count ? static_cast<size_t>(kDeflatePiece) : job->data.size() - start;
                job->pieces[k] = TEntryCompressor::DeflatePiece(
                    std::string_view(job->data).substr(start, length), job->level, k + 1 == count);
            });
        }
    } else {
        submit([job] {
            std::string deflated =
                TEntryCompressor::DeflateBuffer(job->data, job->level, job->smallAsStreamed);
            job->data.swap(deflated);
        });
    }
    bytesInFlight_ += size;
    queue_.push_back(std::move(slot));
    WriteReady();
}

void TArchiveWriter::WriteReady() {
    while (!queue_.empty() && AllDone(queue_.front().done)) {
        WriteHead();
    }
}

void TArchiveWriter::WriteData(const std::string& bytes) {
    const char* data = bytes.data();
    int64_t remaining = static_cast<int64_t>(bytes.size());
    while (remaining > 0) {
        const int64_t block = remaining < kWriteBlock ? remaining : kWriteBlock;
        if (output_->Write(data, block) < block) throw ENotEnoughRoom(kNotEnoughRoomText);
        data += block;
        remaining -= block;
        hooks_.BlockWritten();
    }
}

void TArchiveWriter::Drain() {
    while (!queue_.empty()) WriteHead();
}

// The head's header is complete once its data is: written once, then the
// data in blocks, with the hooks told after each.
void TArchiveWriter::WriteHead() {
    Slot& slot = queue_.front();
    // A worker's failure is the run's.
    for (std::future<void>& job : slot.done) job.get();
    TPendingEntry& pending = *slot.pending;
    TZipHeaderInfo& entry = *pending.entry;
    if (!pending.pieces.empty()) std::string().swap(pending.data);  // the source, now deflated
    int64_t size = static_cast<int64_t>(pending.data.size());
    for (const std::string& piece : pending.pieces) size += static_cast<int64_t>(piece.size());
    entry.SetCompressedSize(size);
    entry.WriteLocalHeader(*output_);
    WriteData(pending.data);
    for (std::string& piece : pending.pieces) {
        WriteData(piece);
        std::string().swap(piece);
    }
    std::string().swap(pending.data);
    bytesInFlight_ -= slot.sourceSize;
    if (written_) written_(pending);
    entries_.push_back(std::move(pending.entry));
    queue_.pop_front();
}

void TArchiveWriter::Finish(TEndCentral& end, TStream* sourceArchive) {
    Drain();
    TStream& out = *output_;
    const int64_t start = out.Position();
    end.SetCentralDirOffset(start);
    for (const auto& record : entries_) {
        TZipHeaderInfo& entry = *record;
        const int64_t headerStart = out.Position();
        const int zip64Data = entry.Zip64DataSize(true);
        entry.WriteCentralHeader(out, sourceArchive);
        // The records become the loaded directory of the new archive: their
        // extra fields must now be found there, not in the old archive.
        entry.SavedExtraPosition = headerStart + kCentralHeaderSize + entry.FileNameLength;
        entry.SavedExtraLength = entry.CentralExtraLength;
        entry.SavedZip64Length = static_cast<uint16_t>(zip64Data > 0 ? zip64Data + 4 : 0);
    }
    end.SetTotalEntries(static_cast<uint32_t>(entries_.size()));
    end.SetEntriesOnThisDisk(static_cast<uint32_t>(entries_.size()));
    end.SetCentralDirSize(out.Position() - start);
    end.WriteEndRecord(out);
    output_->Flush();
}

void TArchiveWriter::Commit() {
    output_.reset();
    workFile_.Commit();
}

std::unique_ptr<TSortedZip> TArchiveWriter::TakeDirectory() {
    auto directory = std::make_unique<TSortedZip>(ByNone, dupError, true);
    directory->SetCapacity(static_cast<int>(entries_.size()));
    for (auto& entry : entries_) directory->Add(entry.release());
    entries_.clear();
    return directory;
}

}  // namespace qm
