#pragma once
// TZipWriter: writes one new archive from values. Each call hands it one
// entry (bytes held in memory, a file on disk, a directory, or an entry
// copied raw from another archive) with everything the entry needs as
// parameters, and the entries go into the archive in the order given.
// Entries are deflated on worker threads; the archive's bytes do not depend
// on their number. Nothing takes the target's place until Commit; a writer
// that goes without committing leaves the target as it was. No call raises:
// each returns its outcome, and after a failure that left the archive
// half-written every later call returns that failure again.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "zip/ArchiveWriter.h"
#include "zip/DeflatedData.h"
#include "zip/EndCentral.h"
#include "zip/EntryCompressor.h"
#include "zip/SortedLists.h"
#include "zip/ZipRecords.h"
#include "zip/ZipResult.h"

namespace qm {

// The warning about a source that shrank while it was read.
extern const char* const kShrunkSourceText;
// The failure when a source grew past 4 GiB while it was read.
extern const char* const kSourceGrewFormat;
// The refusal of a target that holds something other than an archive.
extern const char* const kNotAZipTargetFormat;

// The percentage of part against whole: 0 when whole <= 0, else rounded
// half to even and never above 100.
int32_t Percentage(int64_t part, int64_t whole);

// One entry as the caller wants it in the archive.
struct TEntryValues {
    std::string name;  // the stored name, "/" between directories
    // Unset: a file's own (its modification time, its attributes); for bytes
    // and directories the time of the call and faArchive (faDirectory).
    std::optional<uint32_t> dosDateTime;
    std::optional<uint32_t> attributes;
    TPacking packing = TPacking::Deflate;
    uint16_t extraFlags = 0;  // general-purpose bits to set, kFlagUtf8Names say
    uint16_t versionMadeBy = kVersionMadeBy;
};

struct TZipWriterOptions {
    int level = 6;    // deflate level 1..9; also sets the level flags of every entry
    int threads = 0;  // deflating workers; below 1, one per core
    bool flushOnClose = false;
    TOEMConvert nameConversion = oemAlways;
    // Asked after every block read or written and while a worker is waited
    // for; true stops the run (TZipError::Kind::Canceled).
    std::function<bool()> stopRequested;
    // Source bytes read, as they are read (progress).
    std::function<void(int64_t count)> onRead;
    // A file became shorter while it was read; its entry holds what was read.
    std::function<void(const std::string& path)> onShrunk;
    // An entry's header and data are in the file (source: the file or the
    // entry's name), with the archive's size so far.
    std::function<void(const std::string& source, const TZipHeaderInfo& entry, int64_t archiveSize)>
        onWritten;
};

class TZipWriter : private TEntryHooks {
  public:
    // Prepares to write target. An existing target must be a regular file
    // (a link is followed, and the file it names is replaced); work files
    // that killed runs left beside it are removed.
    static TZipResult<std::unique_ptr<TZipWriter>> Create(const std::string& target,
                                                          TZipWriterOptions options);
    ~TZipWriter() override;
    TZipWriter(const TZipWriter&) = delete;
    TZipWriter& operator=(const TZipWriter&) = delete;

    // The file the archive will replace when committed (links resolved).
    const std::string& Target() const { return target_; }

    // Takes bytes held in memory; with DeflateAsStreamed, more than
    // kWholeBufferMax of them are streamed through zlib as a file of those
    // bytes would be (AddFile), so the entry is the same either way.
    TZipStatus AddBytes(const TEntryValues& values, std::string bytes);
    // Takes data deflated ahead (DeflateAhead, DeflatedData.h) as a deflated
    // entry; it must have been made at the writer's level, or the entry's
    // flags would not tell it (EZipException).
    TZipStatus AddDeflated(const TEntryValues& values, TDeflatedData data);
    // Reads the file (whole, or streamed through zlib when it is larger than
    // kWholeBufferMax). A file that cannot be opened fails with OpenFailed
    // and leaves the writer as it was.
    TZipStatus AddFile(const TEntryValues& values, const std::string& path);
    TZipStatus AddDirectory(const TEntryValues& values);
    // Copies entry `old` of the archive open in `archive` as it is stored
    // (its data still compressed, its comment and foreign extra blocks
    // kept); it starts on the only disk and keeps its data descriptor only
    // where decryption needs it.
    TZipStatus CopyEntry(TStream& archive, const TZipHeaderInfo& old);

    // Writes the central directory and end record (end: its comment; the
    // counts and offsets are set here) and puts the archive in the target's
    // place. sourceArchive is where copied entries came from, for their
    // foreign extra blocks (may be null). Returns the records in archive
    // order, as a directory the reader can load.
    TZipResult<std::unique_ptr<TSortedZip>> Commit(TEndCentral& end, TStream* sourceArchive);

  private:
    TZipWriter(const std::string& target, TZipWriterOptions options);
    std::unique_ptr<TZipHeaderInfo> Record(const TEntryValues& values, uint32_t dosDateTime,
                                           uint32_t attributes) const;
    void FinishRecord(TZipHeaderInfo& entry, const std::string& path, bool store,
                      int64_t sizeAtOpen, int64_t bytesRead, uint32_t crc);
    void QueueWhole(std::unique_ptr<TZipHeaderInfo> entry, const std::string& source,
                    std::string data, TPacking packing);
    void WriteFile(std::unique_ptr<TZipHeaderInfo> entry, const std::string& path,
                   TBufferedFileStream& source, TPacking packing);
    void Stream(std::unique_ptr<TZipHeaderInfo> entry, const std::string& path, TStream& source,
                bool store, const std::string& readAlready, uint32_t crc);
    void CopyRaw(TStream& archive, const TZipHeaderInfo& old);
    // Runs one step that writes into the archive: a failure poisons the writer.
    template <typename Work>
    TZipStatus Writing(Work&& work);

    // TEntryHooks: progress after reads; the stop request after writes.
    void SourceRead(int64_t count) override;
    void BlockWritten() override;

    std::string target_;
    TZipWriterOptions options_;
    std::optional<TZipError> failure_;
    std::unique_ptr<TArchiveWriter> out_;
};

}  // namespace qm
