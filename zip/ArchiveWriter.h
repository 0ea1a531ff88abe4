#pragma once
// TArchiveWriter: the output side of one build run. It owns the work file
// beside the target, the buffered stream into it and the entry records
// written so far, and puts entries into the file in the order they are
// given. Entries held in memory are deflated on a pool of worker threads,
// several at a time, and written by the calling thread in their turn: the
// archive's bytes do not depend on the number of threads. Like a
// transactional output buffer, the work file takes the target's place only
// on Commit(); a writer that goes without committing removes it.
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "platform/WorkFile.h"
#include "zip/BufferedStream.h"
#include "zip/EndCentral.h"
#include "zip/EntryCompressor.h"
#include "zip/SortedLists.h"
#include "zip/WorkerPool.h"
#include "zip/ZipRecords.h"

namespace qm {

// An entry whose source has been read whole: the record is complete but for
// its compressed size, which the writer sets.
struct TPendingEntry {
    std::unique_ptr<TZipHeaderInfo> entry;
    std::string path;  // the source file
    std::string data;  // the source's bytes; the entry's data once deflated
    int level = 0;     // deflate level; 0 writes data as it is (stored, or deflated ahead)
    // Below kWholeBufferMin through zlib, as the streaming path would; else
    // libdeflate at any size.
    bool smallAsStreamed = true;
    // A large source's data deflated in pieces, in order (see
    // kSplitDeflateMin); data is then the source until the entry is written.
    std::vector<std::string> pieces;
};

class TArchiveWriter {
  public:
    // Source bytes of the entries queued and not yet written are kept below
    // this, but for one entry alone, which may reach kWholeBufferMax.
    static constexpr int64_t kBytesInFlight = int64_t{64} << 20;
    // At most this many entries per worker wait in the queue.
    static constexpr int kEntriesPerWorker = 8;

    // Creates the work file for target (EFCreateError naming the target).
    // threads < 1 means one per core. written is told of each queued entry
    // once its header and data are in the file; hooks.BlockWritten after
    // every block written.
    TArchiveWriter(const std::string& target, bool flushFilesOnClose, int threads,
                   TEntryHooks& hooks, std::function<void(TPendingEntry&)> written);
    // Waits for the workers, then removes the work file unless committed.
    ~TArchiveWriter();
    TArchiveWriter(const TArchiveWriter&) = delete;
    TArchiveWriter& operator=(const TArchiveWriter&) = delete;

    // The archive stream. Write to it only after Drain().
    TBufferedFileStream& Output() { return *output_; }
    // Writes every queued entry, waiting for the workers.
    void Drain();
    // Takes an entry whose header and data the caller wrote after Drain().
    void Add(std::unique_ptr<TZipHeaderInfo> entry);
    // Deflates the entry on the pool and writes it after those queued before
    // it, with its local header written once. May write earlier entries (and
    // wait for them) to keep memory in bounds. A failure of the worker is
    // raised here or in a later call.
    void Queue(std::unique_ptr<TPendingEntry> pending);
    // Entries given so far, queued ones included.
    int Count() const { return static_cast<int>(entries_.size() + queue_.size()); }

    // Drains, writes the central directory and end (its counts, offset and
    // size set here) and flushes them to the file. sourceArchive is the archive kept
    // entries came from, for their foreign extra blocks (may be null).
    void Finish(TEndCentral& end, TStream* sourceArchive);
    // Closes the finished archive and puts it in the target's place (see
    // TWorkFile).
    void Commit();
    // The records in archive order, as a directory the reader can load.
    std::unique_ptr<TSortedZip> TakeDirectory();

  private:
    struct Slot {
        std::shared_ptr<TPendingEntry> pending;
        std::vector<std::future<void>> done;  // one per job on the pool
        int64_t sourceSize = 0;
    };
    void WriteData(const std::string& bytes);
    void WriteHead();
    void WriteReady();

    TWorkFile workFile_;
    std::unique_ptr<TBufferedFileStream> output_;
    int threads_;
    TEntryHooks& hooks_;
    std::function<void(TPendingEntry&)> written_;
    std::vector<std::unique_ptr<TZipHeaderInfo>> entries_;
    std::deque<Slot> queue_;
    int64_t bytesInFlight_ = 0;
    // Last: goes first, so no worker outlives what it works on.
    std::unique_ptr<TWorkerPool> pool_;
};

}  // namespace qm
