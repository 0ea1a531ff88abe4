#include "zip/ZipWriter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <string_view>
#include <utility>

#include "platform/FileSystem.h"
#include "platform/FileTimes.h"
#include "platform/Format.h"
#include "platform/WorkFile.h"
#include "zip/RecordCursor.h"
#include "zip/ZipExceptions.h"

namespace qm {

const char* const kSourceGrewFormat = "File %s grew past 4 GiB while it was packed";
const char* const kShrunkSourceText =
    "The file became shorter while it was read; the entry holds the bytes that were read.";
const char* const kNotAZipTargetFormat =
    "\"%s\" exists and is not a ZIP archive; it was left unchanged.";

namespace {

constexpr const char* kDeflatedAtOtherLevelText =
    "Data deflated at another level than the archive's";
constexpr int kCopyChunk = 16384;

uint32_t Now() {
    return UnixTimeToDosDateTime(::time(nullptr));
}

// Reads source into data in the blocks the streaming path reads; false when
// it yields more than its size at opening (data then holds what was read,
// crc its register).
bool ReadWhole(TStream& source, int64_t sizeAtOpen, bool store, TEntryHooks& hooks,
               std::string& data, uint32_t& crc) {
    const int64_t block =
        store ? TEntryCompressor::kStoreBufferSize : TEntryCompressor::kDeflateBufferSize;
    // Reserved, not filled: zeroing a large source's room up front takes a
    // while. One byte more than announced tells a source that grew.
    data.reserve(static_cast<size_t>(sizeAtOpen) + 1);
    const auto buffer = std::make_unique<char[]>(static_cast<size_t>(block));
    while (true) {
        const int64_t room = sizeAtOpen + 1 - static_cast<int64_t>(data.size());
        const int64_t count = source.Read(buffer.get(), room < block ? room : block);
        if (count <= 0) break;
        crc = UpdateCrc32(crc, buffer.get(), static_cast<size_t>(count));
        data.append(buffer.get(), static_cast<size_t>(count));
        hooks.SourceRead(count);
        hooks.BlockWritten();  // a large source takes a while: the stop request is heard
        if (static_cast<int64_t>(data.size()) > sizeAtOpen) return false;
    }
    return true;
}

// Bytes held in memory, read as a file holding them would be.
class TBytesSource : public TStream {
  public:
    explicit TBytesSource(std::string_view bytes) : bytes_(bytes) {}
    int64_t Read(void* buffer, int64_t count) override {
        const size_t take = std::min(bytes_.size() - next_, static_cast<size_t>(count));
        std::memcpy(buffer, bytes_.data() + next_, take);
        next_ += take;
        return static_cast<int64_t>(take);
    }
    int64_t Write(const void* /*buffer*/, int64_t /*count*/) override { return 0; }
    int64_t Seek(int64_t offset, int origin) override {
        int64_t target = 0;
        const auto size = static_cast<int64_t>(bytes_.size());
        if (!ResolveSeekTarget(offset, origin, static_cast<int64_t>(next_), size, target) ||
            target < 0 || target > size)
            return -1;
        next_ = static_cast<size_t>(target);
        return target;
    }

  private:
    std::string_view bytes_;
    size_t next_ = 0;
};

// The descriptor behind a copied entry's data, through the record cursor.
void WriteDataDescriptor(TStream& out, const TZipHeaderInfo& entry) {
    const bool wide =
        entry.CompressedSize() >= kSentinel32 || entry.UncompressedSize() >= kSentinel32;
    std::string bytes;
    TWriteCursor w(bytes);
    w.U32(kDataDescriptorSignature).U32(entry.Crc32);
    if (wide) {
        w.I64(entry.CompressedSize()).I64(entry.UncompressedSize());
    } else {
        w.U32(static_cast<uint32_t>(entry.CompressedSize()))
            .U32(static_cast<uint32_t>(entry.UncompressedSize()));
    }
    if (out.Write(bytes.data(), static_cast<int64_t>(bytes.size())) <
        static_cast<int64_t>(bytes.size()))
        throw ENotEnoughRoom(kNotEnoughRoomText);
}

}  // namespace

int32_t Percentage(int64_t part, int64_t whole) {
    if (whole <= 0) return 0;
    const double value =
        std::nearbyint(static_cast<double>(part) * 100.0 / static_cast<double>(whole));
    return value > 100.0 ? 100 : static_cast<int32_t>(value);
}

TZipWriter::TZipWriter(const std::string& target, TZipWriterOptions options)
    : target_(target), options_(std::move(options)) {}

TZipWriter::~TZipWriter() = default;

TZipResult<std::unique_ptr<TZipWriter>> TZipWriter::Create(const std::string& target,
                                                           TZipWriterOptions options) {
    return Capture([&] {
        const std::string replaced = ReplacedTarget(target);
        TWorkFile::RemoveStale(replaced);
        std::unique_ptr<TZipWriter> writer(new TZipWriter(replaced, std::move(options)));
        writer->out_ = std::make_unique<TArchiveWriter>(
            replaced, writer->options_.flushOnClose, writer->options_.threads,
            static_cast<TEntryHooks&>(*writer), [w = writer.get()](TPendingEntry& written) {
                if (w->options_.onWritten)
                    w->options_.onWritten(written.path, *written.entry, w->out_->Output().Size());
            });
        return writer;
    });
}

template <typename Work>
TZipStatus TZipWriter::Writing(Work&& work) {
    if (failure_) return *failure_;
    TZipStatus status = Capture([&] {
        try {
            work();
        } catch (const EWriteError&) {
            // A header or the final buffer did not fit: the disk is full.
            throw ENotEnoughRoom(kNotEnoughRoomText);
        }
    });
    if (!status) failure_ = status.Error();
    return status;
}

std::unique_ptr<TZipHeaderInfo> TZipWriter::Record(const TEntryValues& values, uint32_t dosDateTime,
                                                   uint32_t attributes) const {
    auto entry = std::make_unique<TZipHeaderInfo>(options_.nameConversion);
    entry->ExternalAttributes = attributes;
    entry->LastModFileDateTime = dosDateTime;
    entry->SetStoredName(values.name);
    entry->VersionMadeBy = values.versionMadeBy;
    entry->GeneralPurposeFlags = values.extraFlags;
    entry->InternalAttributes = 0;
    entry->DiskNumberStart = 0;
    return entry;
}

TZipStatus TZipWriter::AddBytes(const TEntryValues& values, std::string bytes) {
    return Writing([&] {
        auto entry = Record(values, values.dosDateTime.value_or(Now()),
                            values.attributes.value_or(faArchive));
        const int64_t size = static_cast<int64_t>(bytes.size());
        entry->SetUncompressedSize(size);
        // Larger than a file read whole: streamed through zlib as that file
        // would be, so the entry's bytes are the file's.
        if (values.packing == TPacking::DeflateAsStreamed && size > kWholeBufferMax) {
            TBytesSource source(bytes);
            Stream(std::move(entry), values.name, source, false, {}, kCrcPreset);
            return;
        }
        const bool store = values.packing == TPacking::Store;
        FinishRecord(*entry, values.name, store, size, size, Crc32Of(bytes.data(), bytes.size()));
        SourceRead(size);
        QueueWhole(std::move(entry), values.name, std::move(bytes), values.packing);
    });
}

TZipStatus TZipWriter::AddDeflated(const TEntryValues& values, TDeflatedData data) {
    return Writing([&] {
        if (data.level != options_.level) throw EZipException(kDeflatedAtOtherLevelText);
        auto entry = Record(values, values.dosDateTime.value_or(Now()),
                            values.attributes.value_or(faArchive));
        entry->SetUncompressedSize(data.size);
        FinishRecord(*entry, values.name, false, data.size, data.size, data.crc);
        SourceRead(data.size);
        auto pending = std::make_unique<TPendingEntry>();
        pending->entry = std::move(entry);
        pending->path = values.name;
        // Pieces are written after data, which is dropped when there are any.
        pending->pieces = std::move(data.pieces);
        if (pending->pieces.empty()) {
            pending->data = std::move(data.bytes);
        } else if (!data.bytes.empty()) {
            pending->pieces.insert(pending->pieces.begin(), std::move(data.bytes));
        }
        out_->Queue(std::move(pending));
    });
}

TZipStatus TZipWriter::AddDirectory(const TEntryValues& values) {
    return Writing([&] {
        auto entry = Record(values, values.dosDateTime.value_or(Now()),
                            values.attributes.value_or(faDirectory));
        entry->CompressionMethod = kMethodStored;
        entry->Crc32 = 0;
        out_->Drain();
        entry->WriteLocalHeader(out_->Output());
        out_->Add(std::move(entry));
    });
}

TZipStatus TZipWriter::AddFile(const TEntryValues& values, const std::string& path) {
    if (failure_) return *failure_;
    TZipResult<std::unique_ptr<TBufferedFileStream>> opened = Capture(
        [&] { return std::make_unique<TBufferedFileStream>(path, fmOpenRead | fmShareDenyNone); });
    if (!opened) return opened.Error();
    TBufferedFileStream& source = **opened;
    return Writing([&] {
        const uint32_t attributes =
            values.attributes ? *values.attributes : GetFileAttributes(path);
        auto entry = Record(values, values.dosDateTime.value_or(FileDosDateTime(source.Handle())),
                            attributes);
        entry->SetUncompressedSize(source.Size());
        WriteFile(std::move(entry), path, source, values.packing);
    });
}

void TZipWriter::WriteFile(std::unique_ptr<TZipHeaderInfo> entry, const std::string& path,
                           TBufferedFileStream& source, TPacking packing) {
    const int64_t sizeAtOpen = entry->UncompressedSize();
    const bool store = packing == TPacking::Store;
    std::string readAlready;
    uint32_t crc = kCrcPreset;
    if (sizeAtOpen <= kWholeBufferMax &&
        ReadWhole(source, sizeAtOpen, store, *this, readAlready, crc)) {
        const int64_t bytesRead = static_cast<int64_t>(readAlready.size());
        FinishRecord(*entry, path, store, sizeAtOpen, bytesRead, crc ^ 0xFFFFFFFF);
        QueueWhole(std::move(entry), path, std::move(readAlready), packing);
        return;
    }
    Stream(std::move(entry), path, source, store, readAlready, crc);
}

void TZipWriter::QueueWhole(std::unique_ptr<TZipHeaderInfo> entry, const std::string& source,
                            std::string data, TPacking packing) {
    auto pending = std::make_unique<TPendingEntry>();
    pending->entry = std::move(entry);
    pending->path = source;
    pending->data = std::move(data);
    pending->level = packing == TPacking::Store ? 0 : options_.level;
    pending->smallAsStreamed = packing == TPacking::DeflateAsStreamed;
    out_->Queue(std::move(pending));
}

// Streamed through zlib: the header goes first and is rewritten once the
// sizes are known. A source that grew past what was read whole goes on from
// where the reading stopped.
void TZipWriter::Stream(std::unique_ptr<TZipHeaderInfo> entry, const std::string& path,
                        TStream& source, bool store, const std::string& readAlready, uint32_t crc) {
    const int64_t sizeAtOpen = entry->UncompressedSize();
    out_->Drain();
    TBufferedFileStream& file = out_->Output();
    if (TZipHeaderInfo::MayNeedZip64(sizeAtOpen)) entry->ReserveLocalZip64();
    entry->WriteLocalHeader(file);
    const int firstHeaderSize = entry->LocalHeaderSize();
    TEntryCompressor compressor(source, file, *this);
    if (!readAlready.empty()) compressor.Resume(readAlready, crc);
    const int64_t written = store ? compressor.Store() : compressor.Deflate(options_.level);
    entry->SetCompressedSize(written);
    FinishRecord(*entry, path, store, sizeAtOpen, compressor.BytesRead(), compressor.Crc32());
    // A source that grew past 4 GiB while it was read needs a Zip64 block
    // the first header has no room for; rewriting it would overwrite data.
    if (entry->LocalHeaderSize() != firstHeaderSize)
        throw EZipException(Format(kSourceGrewFormat, path.c_str()));

    const int64_t dataEnd = file.Position();
    file.Flush();  // a full disk shows here as EWriteError, not as a failed seek
    file.Seek(entry->RelativeOffset(), soBeginning);
    entry->WriteLocalHeader(file);
    file.Seek(dataEnd, soBeginning);
    if (options_.onWritten) options_.onWritten(path, *entry, file.Size());
    out_->Add(std::move(entry));
}

void TZipWriter::FinishRecord(TZipHeaderInfo& entry, const std::string& path, bool store,
                              int64_t sizeAtOpen, int64_t bytesRead, uint32_t crc) {
    entry.CompressionMethod = store ? kMethodStored : kMethodDeflate;
    if (bytesRead < sizeAtOpen && options_.onShrunk) options_.onShrunk(path);
    entry.SetUncompressedSize(bytesRead);
    entry.Crc32 = crc;
    if (options_.level <= 2) entry.GeneralPurposeFlags |= kFlagFastCompression;
    if (options_.level >= 8) entry.GeneralPurposeFlags |= kFlagMaximumCompression;
}

TZipStatus TZipWriter::CopyEntry(TStream& archive, const TZipHeaderInfo& old) {
    return Writing([&] { CopyRaw(archive, old); });
}

void TZipWriter::CopyRaw(TStream& archive, const TZipHeaderInfo& old) {
    auto entry = std::make_unique<TZipHeaderInfo>(old.OEMConvert);
    entry->Assign(old);
    // Foreign central extra blocks travel with the entry.
    entry->CopySavedExtra(old);
    // A Zip64 size read as a negative number would copy nothing (or
    // overflow) and leave an entry whose data is missing.
    const int64_t compressedSize = old.CompressedSize();
    if (compressedSize < 0 || old.RelativeOffset() < 0 || compressedSize > archive.Size())
        throw EBadZipFile(kNotAValidZipText);
    // The old local header, read through its record: the cursor stops at
    // its extra field, which is copied as it is with the data.
    TZipHeaderInfo local;
    archive.SetPosition(old.RelativeOffset());
    if (!local.ReadLocalHeader(archive)) throw EBadZipFile(kNotAValidZipText);

    // A traditionally encrypted entry checks its password against the high
    // byte of its time when bit 3 is set, of its CRC otherwise: the bit and
    // the descriptor stay, or the entry no longer decrypts.
    const bool keepDescriptor = (old.GeneralPurposeFlags & kFlagEncrypted) &&
                                (old.GeneralPurposeFlags & kFlagDataDescriptor);
    if (!keepDescriptor) entry->GeneralPurposeFlags &= static_cast<uint16_t>(~kFlagDataDescriptor);
    // Every entry of the new archive starts on its only disk; an old disk
    // number would also sort the entry out of archive order.
    entry->DiskNumberStart = 0;
    entry->LocalExtraLength = local.LocalExtraLength;
    out_->Drain();  // the copy takes its place after the entries before it
    TStream& output = out_->Output();
    entry->WriteLocalHeader(output);
    int64_t remaining = local.LocalExtraLength + compressedSize;
    const auto buffer = std::make_unique<unsigned char[]>(kCopyChunk);
    while (remaining > 0) {
        const int64_t chunk = remaining < kCopyChunk ? remaining : kCopyChunk;
        archive.ReadBuffer(buffer.get(), chunk);
        if (output.Write(buffer.get(), chunk) < chunk) throw ENotEnoughRoom(kNotEnoughRoomText);
        remaining -= chunk;
        BlockWritten();
    }
    if (keepDescriptor) WriteDataDescriptor(output, *entry);
    out_->Add(std::move(entry));
}

TZipResult<std::unique_ptr<TSortedZip>> TZipWriter::Commit(TEndCentral& end,
                                                           TStream* sourceArchive) {
    TZipStatus finished = Writing([&] { out_->Finish(end, sourceArchive); });
    if (!finished) return finished.Error();
    return Capture([&] {
        out_->Commit();
        std::unique_ptr<TSortedZip> directory = out_->TakeDirectory();
        out_.reset();
        return directory;
    });
}

void TZipWriter::SourceRead(int64_t count) {
    if (options_.onRead) options_.onRead(count);
}

void TZipWriter::BlockWritten() {
    if (options_.stopRequested && options_.stopRequested()) throw EUserCanceled(kUserAbortedText);
}

}  // namespace qm
