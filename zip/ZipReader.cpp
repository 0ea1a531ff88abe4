#include "zip/ZipReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/AsciiCase.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "zip/RecordCursor.h"
#include "zip/ZipExceptions.h"

namespace qm {

const char* const kUserCanceledNameText = "User canceled setting zip file name.";

namespace {

constexpr int64_t kLongestEndSearch = kEndRecordSize + 0xFFFF;  // 65557
constexpr int64_t kScanPumpStep = 10240;
constexpr int64_t kSelfExtractorStart = 14000;
constexpr int64_t kScanChunk = 65536;

// The extension of the path's last component, dot included, or "".
std::string FileExtension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return path.substr(dot);
}

std::string ChangeFileExtension(const std::string& path, const std::string& extension) {
    const std::string old = FileExtension(path);
    return path.substr(0, path.size() - old.size()) + extension;
}

// A data descriptor found behind an entry's data.
struct TDataDescriptor {
    uint32_t crc32 = 0;
    int64_t compressedSize = 0;
    int64_t uncompressedSize = 0;
    int length = 0;  // bytes on disk, signature included
};

// Reads count bytes at an absolute position; false when the file ends first.
bool ReadAt(TStream& in, int64_t at, unsigned char* out, int count) {
    return in.Seek(at, soBeginning) == at && in.Read(out, count) == count;
}

// Whether a descriptor stands at `at` for data of `dataLength` bytes: one
// with a signature, 32- or 64-bit sizes, or (when followed by another
// record's signature) one without.
bool DescriptorAt(TStream& in, int64_t at, int64_t dataLength, int64_t size,
                  TDataDescriptor& found) {
    unsigned char b[28] = {};
    const int got = static_cast<int>(std::min<int64_t>(28, size - at));
    if (got < 12 || !ReadAt(in, at, b, got)) return false;
    auto nextIsRecord = [&](int offset) {
        if (offset + 4 > got) return at + offset == size;
        const uint32_t signature = le::Get32(b + offset);
        return signature == kLocalHeaderSignature || signature == kCentralHeaderSignature ||
               signature == kEndRecordSignature || signature == kZip64EndRecordSignature;
    };
    // The layouts in the order tried: with the signature (32-bit sizes, then
    // 64-bit), then without it, which only another record after it confirms.
    const struct {
        bool signature, wide;
    } layouts[] = {{true, false}, {true, true}, {false, false}, {false, true}};
    for (const auto& layout : layouts) {
        TReadCursor r(b, static_cast<size_t>(got));
        if (layout.signature && r.U32() != kDataDescriptorSignature) continue;
        const uint32_t crc = r.U32();
        const uint64_t compressed = layout.wide ? r.U64() : r.U32();
        const uint64_t uncompressed = layout.wide ? r.U64() : r.U32();
        const int length = got - static_cast<int>(r.Remaining());
        if (!r.Ok() || compressed != static_cast<uint64_t>(dataLength)) continue;
        if (!layout.signature && !nextIsRecord(length)) continue;
        found = {crc, dataLength, static_cast<int64_t>(uncompressed), length};
        return found.uncompressedSize >= 0;
    }
    return false;
}

// Finds the descriptor that ends an entry whose data starts at dataStart:
// at the local header's size when it gave one, else the first descriptor
// whose compressed size equals the bytes between the data's start and it.
bool FindDataDescriptor(TStream& in, int64_t dataStart, int64_t size, int64_t hint,
                        TDataDescriptor& found) {
    if (hint > 0 && hint <= size - dataStart &&
        DescriptorAt(in, dataStart + hint, hint, size, found))
        return true;
    std::vector<unsigned char> chunk(static_cast<size_t>(kScanChunk));
    for (int64_t chunkStart = dataStart; chunkStart < size;) {
        const int64_t want = std::min<int64_t>(kScanChunk, size - chunkStart);
        if (!ReadAt(in, chunkStart, chunk.data(), static_cast<int>(want))) return false;
        // Candidates are the places where a record's "PK" begins.
        for (int64_t i = 0; i + 1 < want; ++i) {
            if (chunk[static_cast<size_t>(i)] != 'P' || chunk[static_cast<size_t>(i) + 1] != 'K')
                continue;
            const int64_t at = chunkStart + i;
            for (const int64_t candidate : {at, at - 12, at - 20}) {
                if (candidate >= dataStart &&
                    DescriptorAt(in, candidate, candidate - dataStart, size, found))
                    return true;
            }
        }
        chunkStart += want - 1;  // a "PK" across the chunk border is seen next time
        if (want == 1) break;
    }
    return false;
}

}  // namespace

TZipReader::TZipReader() = default;
TZipReader::~TZipReader() = default;

void TZipReader::SetZipName(const std::string& name) {
    // The name dialog belongs to a front end; the core has none to show.
    if (!name.empty() && name.back() == '?') throw EUserCanceled(kUserCanceledNameText);
    if (name == zipName_) return;
    // File names are case-sensitive here: two spellings are the same
    // archive only when they name the same file.
    if (SameTextAscii(name, zipName_) && SameFile(name, zipName_)) return;
    zipName_ = name;
    DropReadHandle();
    ForgetDirectory();
}

void TZipReader::SetSortMode(TZipSortMode mode) {
    sortMode_ = mode;
    RebuildView();
}

void TZipReader::SortView(TZipSortMode mode) {
    SetSortMode(mode);
}

void TZipReader::RebuildView() {
    sortedView_.reset();
    if (!directory_ || sortMode_ == ByNone) return;
    auto view = std::make_unique<TSortedZip>(sortMode_, dupAccept, false);
    view->SetCapacity(directory_->Count());
    for (int i = 0; i < directory_->Count(); ++i) view->Add(directory_->Items(i));
    sortedView_ = std::move(view);
}

const TSortedZip* TZipReader::View() const {
    return sortedView_ ? sortedView_.get() : directory_.get();
}

int TZipReader::Count() const {
    return View() ? View()->Count() : 0;
}

const TZipHeaderInfo& TZipReader::Entry(int index) const {
    if (!View()) throw EListError(Format(kIndexOutOfRangeFormat, index));
    return *View()->Items(index);
}

TDateTime TZipReader::EntryDateTime(int index) const {
    TDateTime value = 0;
    if (DosDateTimeToDateTime(Entry(index).LastModFileDateTime, value)) return value;
    return NowDateTime();
}

void TZipReader::CheckCancel() {
    if (!cancel_ && !(runControl_ && runControl_->CancelRequested())) return;
    cancel_ = false;
    throw EUserCanceled(kUserAbortedText);
}

void TZipReader::PumpMessages() {
    if (doProcessMessages_ && MessagePump) MessagePump();
}

void TZipReader::PumpAndCheckCancel() {
    if (!doProcessMessages_) return;
    PumpMessages();
    CheckCancel();
}

void TZipReader::DropReadHandle() {
    readFile_ = nullptr;
    readHandle_.reset();
}

TBufferedFileStream& TZipReader::OpenReadHandle() {
    if (readHandle_ && !readFile_) throw EFOpenError(OpenErrorText(zipName_, EINVAL));
    if (!readHandle_) {
        // A FIFO or device would block or never end; only plain files are
        // archives.
        const TFileKind kind = FileKindOf(zipName_);
        if (kind != TFileKind::Missing && kind != TFileKind::Regular &&
            kind != TFileKind::Directory)
            throw EFOpenError(OpenErrorText(zipName_, EINVAL));
        auto file = std::make_unique<TBufferedFileStream>(zipName_, fmOpenRead | fmShareDenyWrite);
        file->SetFlushFilesOnClose(flushFilesOnClose_);
        readFile_ = file.get();
        readHandle_ = std::move(file);
    }
    return *readFile_;
}

void TZipReader::OpenArchiveStream(std::unique_ptr<TStream> stream, const std::string& name) {
    DropReadHandle();
    ForgetDirectory();
    zipName_ = name;
    readHandle_ = std::make_unique<TBufferStream>(std::move(stream));
    ReadDirectory();
}

void TZipReader::OpenArchive() {
    // A stream has no file date that could tell of a change since.
    if (readHandle_ && !readFile_) {
        if (!directory_) ReadDirectory();
        return;
    }
    TBufferedFileStream& in = OpenReadHandle();
    if (directory_ && FileDateTime(in.Handle()) == archiveDate_) return;
    ReadDirectory();
}

void TZipReader::ForgetDirectory() {
    sortedView_.reset();
    directory_.reset();
    endCentral_.ClearWithZip64();
    rebuilding_ = false;
}

void TZipReader::CloseArchive() {
    DropReadHandle();
    ForgetDirectory();
    zipName_.clear();
}

void TZipReader::ReleaseReadHandle() {
    if (!keepZipOpen_) DropReadHandle();
}

void TZipReader::InstallDirectory(std::unique_ptr<TSortedZip> directory, const TEndCentral& end,
                                  TDateTime fileDate) {
    sortedView_.reset();
    directory_ = std::move(directory);
    endCentral_.AssignWithZip64(end);
    archiveDate_ = fileDate;
    RebuildView();
}

void TZipReader::FailBadZip() {
    CloseArchive();
    throw EBadZipFile(kNotAValidZipText);
}

void TZipReader::ReadDirectory() {
    TBufferStream& in = *readHandle_;
    archiveDate_ = readFile_ ? FileDateTime(readFile_->Handle()) : 0;
    readSize_ = in.Size();
    // Nothing of a previous read stays, the rebuild mark included: the file
    // may have been repaired or damaged since.
    ForgetDirectory();
    try {
        ReadDirectoryFrom(in, readSize_);
    } catch (...) {
        sortedView_.reset();
        directory_.reset();
        throw;
    }
    RebuildView();
}

void TZipReader::ReadDirectoryFrom(TStream& in, int64_t size) {
    if (size == 0) {  // an empty file is an archive without entries
        directory_ = std::make_unique<TSortedZip>(ByNone, dupError, true);
        return;
    }
    if (FindEndRecord(in, size)) {
        ReadCentralHeaders(in, size, endCentral_.TotalEntries(), false);
        return;
    }
    // A multi-volume archive keeps a copy of its central directory beside it.
    // A stream has no files beside it.
    const std::string sidePath = ChangeFileExtension(zipName_, ".zfc");
    if (readFile_ && RegularFileExists(sidePath)) {
        TBufferedFileStream side(sidePath, fmOpenRead | fmShareDenyWrite);
        const int64_t sideSize = side.Size();
        if (FindEndRecord(side, sideSize)) {
            ReadCentralHeaders(side, sideSize, endCentral_.TotalEntries(), true);
            return;
        }
    }
    endCentral_.Clear();
    TIncompleteZipMode mode = incompleteZipMode_;
    if (OnInCompleteZip) OnInCompleteZip(*this, mode);
    if (mode == izAssumeNotAZip) throw ENotAZipFile(kNotAValidZipText);
    if (mode == izAssumeMulti) throw EIncompleteZip(kIncompleteZipText);
    if (!RebuildFromLocalHeaders()) FailBadZip();
}

bool TZipReader::FindEndRecord(TStream& in, int64_t size) {
    if (size < kEndRecordSize) return false;
    const int64_t tailLength = std::min(kLongestEndSearch, size);
    const int64_t tailStart = size - tailLength;
    std::vector<unsigned char> tail(static_cast<size_t>(tailLength));
    if (in.Seek(tailStart, soBeginning) != tailStart ||
        in.Read(tail.data(), tailLength) != tailLength)
        return false;
    int64_t found = -1;
    for (int64_t i = tailLength - kEndRecordSize; i >= 0; --i) {
        if (tail[static_cast<size_t>(i)] == 'P' &&
            le::Get32(&tail[static_cast<size_t>(i)]) == kEndRecordSignature) {
            found = i;
            break;
        }
    }
    if (found < 0) return false;
    const int64_t signatureAt = tailStart + found;
    endCentral_.ClearWithZip64();
    endCentral_.EndRecord = TEndCentral::ParseEndRecord(&tail[static_cast<size_t>(found)]);
    endCentral_.CommentPosition = signatureAt + kEndRecordSize;

    if (signatureAt >= kZip64LocatorSize) {
        unsigned char locatorBytes[kZip64LocatorSize];
        if (in.Seek(signatureAt - kZip64LocatorSize, soBeginning) ==
                signatureAt - kZip64LocatorSize &&
            in.Read(locatorBytes, kZip64LocatorSize) == kZip64LocatorSize &&
            le::Get32(locatorBytes) == kZip64LocatorSignature) {
            const TZip64LocatorImage locator = TEndCentral::ParseZip64Locator(locatorBytes);
            unsigned char recordBytes[kZip64EndRecordSize];
            const int64_t at = locator.Zip64EndOffset;
            if (at >= 0 && at <= size - kZip64EndRecordSize && in.Seek(at, soBeginning) == at &&
                in.Read(recordBytes, kZip64EndRecordSize) == kZip64EndRecordSize &&
                le::Get32(recordBytes) == kZip64EndRecordSignature) {
                endCentral_.Zip64Locator = std::make_unique<TZip64LocatorImage>(locator);
                endCentral_.Zip64EndRecord = std::make_unique<TZip64EndRecordImage>(
                    TEndCentral::ParseZip64EndRecord(recordBytes));
            }
        }
    }
    return endCentral_.ThisDiskNo() >= endCentral_.CentralDiskNo();
}

void TZipReader::ReadCentralHeaders(TStream& in, int64_t size, uint64_t count, bool fromSideFile) {
    auto directory = std::make_unique<TSortedZip>(ByNone, dupError, true);
    // A count from the file is no reason to allocate: each header takes at
    // least 46 bytes of it.
    directory->SetCapacity(static_cast<int>(
        std::min<uint64_t>(count, static_cast<uint64_t>(size) / kCentralHeaderSize)));
    bool failed = false;
    if (count > 0) {
        const int64_t offset = fromSideFile ? 0 : endCentral_.CentralDirOffset();
        failed = offset < 0 || offset > size || in.Seek(offset, soBeginning) != offset;
    }
    TZipHeaderInfo* previous = nullptr;
    for (uint64_t n = 0; n < count && !failed; ++n) {
        PumpAndCheckCancel();
        auto entry = std::make_unique<TZipHeaderInfo>(oemConvert_);
        bool read = entry->ReadCentralHeader(in);
        if (!read && previous && previous->CentralExtraLength > 0) {
            // The previous header announced an extra field that is not
            // there: read this header again where it would then stand.
            const int64_t back = previous->CentralExtraLength;
            previous->CentralExtraLength = 0;
            previous->ForgetSavedExtra();
            const int64_t at = in.Position() - back;
            read = at >= 0 && in.Seek(at, soBeginning) == at && entry->ReadCentralHeader(in);
        }
        if (!read) {
            failed = true;
            break;
        }
        const int64_t next = in.Position() + entry->CentralExtraLength;
        if (fromSideFile) {
            // Positions in the side file mean nothing in the archive.
            entry->ForgetSavedExtra();
            if (entry->FileCommentLength > 0 && in.Seek(next, soBeginning) == next) {
                std::string comment(entry->FileCommentLength, '\0');
                entry->FileCommentLength = static_cast<uint16_t>(
                    std::max<int64_t>(0, in.Read(comment.data(), entry->FileCommentLength)));
                comment.resize(entry->FileCommentLength);
                entry->FileComment = comment;
            }
        }
        try {
            directory->Add(entry.get());
        } catch (const EListError&) {
            failed = true;
            break;
        }
        previous = entry.release();
        in.Seek(next + previous->FileCommentLength, soBeginning);
    }
    if (!failed) {
        directory_ = std::move(directory);
        return;
    }
    if (!RebuildFromLocalHeaders()) FailBadZip();
}

// The first local header signature followed by a plausible version at or
// after start; -1 when there is none.
int64_t TZipReader::FindLocalHeader(TStream& in, int64_t start, int64_t size) {
    int64_t found = -1;
    std::vector<unsigned char> chunk(static_cast<size_t>(kScanChunk));
    int64_t chunkStart = start;
    int64_t chunkLength = 0;
    int64_t nextPump = start + kScanPumpStep;
    for (int64_t at = start; at + 6 <= size && found < 0;) {
        if (at >= nextPump) {
            PumpAndCheckCancel();
            nextPump += kScanPumpStep;
            continue;
        }
        if (at + 6 > chunkStart + chunkLength) {
            if (in.Seek(at, soBeginning) != at) break;
            chunkStart = at;
            chunkLength = std::max<int64_t>(0, in.Read(chunk.data(), kScanChunk));
            if (chunkLength < 6) break;
        }
        const int64_t limit = std::min(chunkStart + chunkLength - 5, nextPump);
        const unsigned char* base = chunk.data();
        const void* hit =
            std::memchr(base + (at - chunkStart), 'P', static_cast<size_t>(limit - at));
        if (!hit) {
            at = limit;
            continue;
        }
        const int64_t p = static_cast<const unsigned char*>(hit) - base;
        if (le::Get32(base + p) == kLocalHeaderSignature && base[p + 5] < 10) {
            found = chunkStart + p;
        } else {
            at = chunkStart + p + 1;
        }
    }
    return found;
}

bool TZipReader::RebuildFromLocalHeaders() {
    if (rebuilding_ || !readHandle_) return false;
    rebuilding_ = true;
    sortedView_.reset();
    directory_.reset();
    TBufferStream& in = *readHandle_;
    const int64_t size = readSize_;
    const int64_t start = SameTextAscii(FileExtension(zipName_), ".exe") ? kSelfExtractorStart : 0;

    const int64_t found = FindLocalHeader(in, start, size);
    if (found < 0) return false;

    auto directory = std::make_unique<TSortedZip>(ByNone, dupError, true);
    int64_t place = found;
    int64_t walkEnd = found;  // where the last entry found ends
    while (place >= 0 && place < size) {
        PumpAndCheckCancel();
        auto entry = std::make_unique<TZipHeaderInfo>(oemConvert_);
        if (in.Seek(place, soBeginning) != place || !entry->ReadLocalHeader(in)) {
            // Bytes that are no header: the walk goes on at the next header
            // behind them, so that no entry past a damaged stretch is lost.
            place = FindLocalHeader(in, place + 1, size);
            continue;
        }
        const int64_t dataStart =
            place + kLocalHeaderSize + entry->FileNameLength + entry->LocalExtraLength;
        int64_t next = size;  // a size beyond the file ends the list there
        if (entry->GeneralPurposeFlags & kFlagDataDescriptor) {
            // The local sizes may be zero: only the descriptor behind the
            // data tells where the entry ends. Without one the entry cannot
            // be kept, and a rebuild without it would lose it.
            TDataDescriptor descriptor;
            if (!FindDataDescriptor(in, dataStart, size, entry->CompressedSize(), descriptor))
                return false;
            entry->Crc32 = descriptor.crc32;
            entry->SetCompressedSize(descriptor.compressedSize);
            entry->SetUncompressedSize(descriptor.uncompressedSize);
            next = dataStart + descriptor.compressedSize + descriptor.length;
        } else {
            const int64_t compressed = entry->CompressedSize();
            if (compressed >= 0 && compressed <= size) next = dataStart + compressed;
        }
        try {
            directory->Add(entry.get());
        } catch (const EListError&) {
            break;
        }
        entry.release();
        place = walkEnd = std::min(next, size);
    }
    const int entryCount = directory->Count();
    if (entryCount == 0) return false;
    directory_ = std::move(directory);
    endCentral_.ClearWithZip64();
    endCentral_.SetThisDiskNo(0);
    endCentral_.SetCentralDirOffset(walkEnd);
    endCentral_.SetTotalEntries(static_cast<uint32_t>(entryCount));
    MatchCentralHeaders(in, size, walkEnd, entryCount);
    return true;
}

void TZipReader::MatchCentralHeaders(TStream& in, int64_t size, int64_t start, int found) {
    if (start >= size || in.Seek(start, soBeginning) != start) return;
    for (int n = 0; n < found; ++n) {
        PumpAndCheckCancel();
        TZipHeaderInfo central(oemConvert_);
        if (!central.ReadCentralHeader(in)) return;
        const int64_t next = in.Position() + central.CentralExtraLength + central.FileCommentLength;
        int index = 0;
        if (directory_->Find(central, index)) {
            TZipHeaderInfo& entry = *directory_->Items(index);
            const int64_t offset = entry.RelativeOffset();
            const uint16_t localExtra = entry.LocalExtraLength;
            entry.Assign(central);
            entry.CopySavedExtra(central);
            entry.LocalExtraLength = localExtra;
            entry.SetRelativeOffset(offset);
        }
        if (in.Seek(next, soBeginning) != next) return;
    }
}

void TZipReader::LoadArchiveComment() {
    TEndRecordImage& record = endCentral_.EndRecord;
    if (endCentral_.ArchiveComment || record.CommentLength == 0 || !readHandle_) return;
    std::string comment(record.CommentLength, '\0');
    int64_t got = 0;
    if (readHandle_->Seek(endCentral_.CommentPosition, soBeginning) == endCentral_.CommentPosition)
        got = std::max<int64_t>(0, readHandle_->Read(comment.data(), record.CommentLength));
    // A comment cut short by the end of the file is kept as far as it goes.
    comment.resize(static_cast<size_t>(got));
    record.CommentLength = static_cast<uint16_t>(got);
    endCentral_.ArchiveComment = comment;
}

void TZipReader::LoadEntryComment(TZipHeaderInfo& entry) {
    if (entry.FileComment || entry.FileCommentLength == 0 || !readHandle_) return;
    const int64_t at =
        entry.CentralOffset + kCentralHeaderSize + entry.FileNameLength + entry.CentralExtraLength;
    std::string comment(entry.FileCommentLength, '\0');
    int64_t got = 0;
    if (readHandle_->Seek(at, soBeginning) == at)
        got = std::max<int64_t>(0, readHandle_->Read(comment.data(), entry.FileCommentLength));
    comment.resize(static_cast<size_t>(got));
    entry.FileCommentLength = static_cast<uint16_t>(got);
    entry.FileComment = comment;
}

}  // namespace qm
