// The builder's per-file work: opening a source (or taking a file held in
// memory), forming its entry and handing it to the archive writer, read
// whole and deflated on the writer's pool, or streamed through zlib when it
// is too large to hold. Every notification happens here, on the calling
// thread.
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "zip/ArchiveWriter.h"
#include "zip/BuildRun.h"
#include "zip/ZipBuilder.h"

namespace qm {

namespace {

bool IsDirectoryItem(const std::string& item) {
    return !item.empty() && item.back() == '/';
}

}  // namespace

void TZipBuilder::ZipOneItem(RunState& run, const std::string& item) {
    auto entry = std::make_unique<TZipHeaderInfo>(OEMConvert());
    const bool isDirectory = IsDirectoryItem(item);
    std::unique_ptr<TBufferedFileStream> source;
    std::string memoryBytes;
    const auto memory = memoryFiles_.find(item);
    const bool inMemory = memory != memoryFiles_.end();
    if (inMemory) {
        memoryBytes = std::move(memory->second);
        memoryFiles_.erase(memory);
        entry->ExternalAttributes = faArchive;
        entry->LastModFileDateTime = UnixTimeToDosDateTime(::time(nullptr));
        entry->SetUncompressedSize(static_cast<int64_t>(memoryBytes.size()));
    } else if (isDirectory) {
        const uint32_t attributes = GetFileAttributes(item);
        uint32_t dos = PathDosDateTime(item);
        if (attributes == kInvalidFileAttributes || dos == kNoDosDateTime) {
            dos = UnixTimeToDosDateTime(::time(nullptr));
        }
        entry->LastModFileDateTime = dos;
        entry->ExternalAttributes = attributes == kInvalidFileAttributes ? faDirectory : attributes;
        entry->CompressionMethod = kMethodStored;
    } else {
        const uint32_t attributes = GetFileAttributes(item);
        if (attributes == kInvalidFileAttributes) {
            NoSuchFile(item);
            return;
        }
        entry->ExternalAttributes = attributes;
        while (!source) {
            try {
                source = std::make_unique<TBufferedFileStream>(item, fmOpenRead | fmShareDenyNone);
            } catch (const EFOpenError&) {
                bool retry = false;
                Skipping(srFileOpenError, item, retry);
                if (!retry) return;
            }
        }
        entry->LastModFileDateTime = FileDosDateTime(source->Handle());
        entry->SetUncompressedSize(source->Size());
    }
    entry->SetStoredName(StoredName(item));
    entry->InternalAttributes = 0;
    entry->DiskNumberStart = 0;

    if (run.writtenNames.count(NameKey(entry->StoredName()))) {
        Skipping(srNoOverwrite, item);
        totalBytes_ -= entry->UncompressedSize();
        return;
    }
    const std::string key = NameKey(entry->StoredName());
    if (isDirectory) {
        run.writer->Drain();
        entry->Crc32 = 0;
        entry->WriteLocalHeader(run.writer->Output());
        run.writer->Add(std::move(entry));
    } else if (inMemory) {
        if (!QueueMemoryEntry(*run.writer, std::move(entry), item, std::move(memoryBytes))) return;
    } else if (CompressEntry(*run.writer, std::move(entry), item, std::move(source))) {
        run.compressedSources.push_back(item);
    } else {
        return;
    }
    run.writtenNames.insert(key);
    ++run.count;
}

// Gives OnStartZip its say on the entry; true when it skips the source.
bool TZipBuilder::SkippedAtStart(TZipHeaderInfo& entry, const std::string& path, int64_t size) {
    if (!OnStartZip) return false;
    bool skip = false;
    OnStartZip(*this, path, entry, skip);
    if (skip) totalBytes_ -= size;
    return skip;
}

// A file held in memory goes to the pool as it is: nothing to read, and
// its record is complete but for the compressed size.
bool TZipBuilder::QueueMemoryEntry(TArchiveWriter& writer, std::unique_ptr<TZipHeaderInfo> entry,
                                   const std::string& path, std::string bytes) {
    const int64_t size = static_cast<int64_t>(bytes.size());
    if (SkippedAtStart(*entry, path, size)) {
        Skipping(srSkippedInStartZip, path);
        return false;
    }
    const bool store = packLevel_ == 0 || NoCompress(entry->FileName());
    FinishRecord(*entry, path, store, size, size, Crc32Of(bytes.data(), bytes.size()));
    entryBytesRead_ = 0;
    entrySize_ = size;
    SourceRead(size);
    auto pending = std::make_unique<TPendingEntry>();
    pending->entry = std::move(entry);
    pending->path = path;
    pending->data = std::move(bytes);
    pending->level = store ? 0 : packLevel_;
    pending->inMemory = true;
    writer.Queue(std::move(pending));
    return true;
}

bool TZipBuilder::CompressEntry(TArchiveWriter& writer, std::unique_ptr<TZipHeaderInfo> entry,
                                const std::string& path,
                                std::unique_ptr<TBufferedFileStream> source) {
    if (SkippedAtStart(*entry, path, source->Size())) {
        source.reset();
        Skipping(srSkippedInStartZip, path);
        return false;
    }
    const int64_t sizeAtOpen = entry->UncompressedSize();
    const bool store = packLevel_ == 0 || NoCompress(entry->FileName());
    entryBytesRead_ = 0;
    entrySize_ = sizeAtOpen;

    std::string readAlready;
    uint32_t crc = kCrcPreset;
    if (sizeAtOpen <= kWholeBufferMax && ReadWhole(*source, sizeAtOpen, store, readAlready, crc)) {
        source.reset();
        const int64_t bytesRead = static_cast<int64_t>(readAlready.size());
        FinishRecord(*entry, path, store, sizeAtOpen, bytesRead, crc ^ 0xFFFFFFFF);
        auto pending = std::make_unique<TPendingEntry>();
        pending->entry = std::move(entry);
        pending->path = path;
        pending->data = std::move(readAlready);
        pending->level = store ? 0 : packLevel_;
        writer.Queue(std::move(pending));
        return true;
    }

    // Streamed through zlib: the header goes first and is rewritten once the
    // sizes are known. A source that grew past what was read whole goes on
    // from where the reading stopped.
    writer.Drain();
    TStream& output = writer.Output();
    if (TZipHeaderInfo::MayNeedZip64(sizeAtOpen)) entry->ReserveLocalZip64();
    entry->WriteLocalHeader(output);
    const int firstHeaderSize = entry->LocalHeaderSize();
    TEntryCompressor compressor(*source, output, *this);
    if (!readAlready.empty()) compressor.Resume(readAlready, crc);
    const int64_t written = store ? compressor.Store() : compressor.Deflate(packLevel_);
    entry->SetCompressedSize(written);
    FinishRecord(*entry, path, store, sizeAtOpen, compressor.BytesRead(), compressor.Crc32());
    // A source that grew past 4 GiB while it was read needs a Zip64 block
    // the first header has no room for; rewriting it would overwrite data.
    if (entry->LocalHeaderSize() != firstHeaderSize)
        throw EZipException(Format(kSourceGrewFormat, path.c_str()));

    TBufferedFileStream& file = writer.Output();
    const int64_t dataEnd = file.Position();
    file.Flush();  // a full disk shows here as EWriteError, not as a failed seek
    file.Seek(entry->RelativeOffset(), soBeginning);
    entry->WriteLocalHeader(file);
    file.Seek(dataEnd, soBeginning);

    source.reset();
    if (resetArchiveBitOnZip_) ClearArchiveAttribute(path);
    if (OnEndZip) {
        OnEndZip(*this, path, entry->UncompressedSize(), entry->CompressedSize(), file.Size());
    }
    writer.Add(std::move(entry));
    return true;
}

// Reads the source into data in the blocks the streaming path reads, with
// the same progress; false when it yields more than its size at opening
// (data then holds what was read, crc its register).
bool TZipBuilder::ReadWhole(TStream& source, int64_t sizeAtOpen, bool store, std::string& data,
                            uint32_t& crc) {
    const int64_t block =
        store ? TEntryCompressor::kStoreBufferSize : TEntryCompressor::kDeflateBufferSize;
    // Reserved, not filled: zeroing a large source's room up front would
    // keep the window waiting. One byte more than announced tells a source
    // that grew.
    data.reserve(static_cast<size_t>(sizeAtOpen) + 1);
    const auto buffer = std::make_unique<char[]>(static_cast<size_t>(block));
    while (true) {
        const int64_t room = sizeAtOpen + 1 - static_cast<int64_t>(data.size());
        const int64_t count = source.Read(buffer.get(), room < block ? room : block);
        if (count <= 0) break;
        crc = UpdateCrc32(crc, buffer.get(), static_cast<size_t>(count));
        data.append(buffer.get(), static_cast<size_t>(count));
        SourceRead(count);
        BlockWritten();  // a large source takes a while to read: handle messages as it goes
        if (static_cast<int64_t>(data.size()) > sizeAtOpen) return false;
    }
    return true;
}

void TZipBuilder::FinishRecord(TZipHeaderInfo& entry, const std::string& path, bool store,
                               int64_t sizeAtOpen, int64_t bytesRead, uint32_t crc) {
    if (store) {
        entry.CompressionMethod = kMethodStored;
        entry.InternalAttributes = 0;
    } else {
        entry.CompressionMethod = kMethodDeflate;
    }
    if (bytesRead < sizeAtOpen) WarnShrunkSource(path);
    entry.SetUncompressedSize(bytesRead);
    entry.Crc32 = crc;
    if (packLevel_ <= 2) entry.GeneralPurposeFlags |= kFlagFastCompression;
    if (packLevel_ >= 8) entry.GeneralPurposeFlags |= kFlagMaximumCompression;
}

// A queued entry is in the file: what the streaming path does after its data.
void TZipBuilder::EntryWritten(TArchiveWriter& writer, TPendingEntry& written) {
    if (resetArchiveBitOnZip_ && !written.inMemory) ClearArchiveAttribute(written.path);
    if (OnEndZip) {
        OnEndZip(*this, written.path, written.entry->UncompressedSize(),
                 written.entry->CompressedSize(), writer.Output().Size());
    }
}

// ------------------------------------------------ notifications and hooks

void TZipBuilder::Skipping(TSkipReason reason, const std::string& fileName, bool& retry) {
    if (OnSkippingFile) OnSkippingFile(*this, reason, fileName, -1, retry);
}

void TZipBuilder::Skipping(TSkipReason reason, const std::string& fileName) {
    bool retry = false;
    Skipping(reason, fileName, retry);
}

void TZipBuilder::NoSuchFile(const std::string& fileName) {
    if (OnNoSuchFile) OnNoSuchFile(*this, fileName);
}

void TZipBuilder::WarnShrunkSource(const std::string& path) {
    if (OnHandleMessage) {
        int32_t answer = 0;
        OnHandleMessage(*this, kShrunkSourceMessageId, kShrunkSourceText, path, 0, answer);
    } else if (WarningBox) {
        WarningBox(path, kShrunkSourceText);
    }
}

void TZipBuilder::SourceRead(int64_t count) {
    entryBytesRead_ += count;
    if (OnFilePercentDone) OnFilePercentDone(*this, Percentage(entryBytesRead_, entrySize_));
    bytesDone_ += count;
    if (OnTotalPercentDone) OnTotalPercentDone(*this, Percentage(bytesDone_, totalBytes_));
}

void TZipBuilder::BlockWritten() {
    CheckCancel();
}

}  // namespace qm
