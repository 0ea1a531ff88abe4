#include "zip/ZipReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/AsciiCase.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "zip/DataDescriptor.h"
#include "zip/RecordCursor.h"
#include "zip/StoredName.h"
#include "zip/ZipExceptions.h"

namespace qm {

const char* const kUserCanceledNameText = "User canceled setting zip file name.";
const char* const kDescriptorDisagreesFormat =
    "The archive's central directory is damaged, and entry \"%s\" cannot be recovered: no "
    "data descriptor behind it agrees with its data. The archive was left unchanged.";
const char* const kRebuiltDirectoryText =
    "The archive's central directory was damaged; its entries were recovered from their "
    "local headers.";
const char* const kUnrecoveredAttributesText =
    " These entries lost their attributes (host, file mode, link type), which only the "
    "damaged directory held: ";

namespace {

constexpr int64_t kLongestEndSearch = kEndRecordSize + 0xFFFF;  // 65557
constexpr int64_t kScanCheckStep = 10240;
constexpr int64_t kSelfExtractorStart = 14000;
constexpr int64_t kScanChunk = 65536;
constexpr uint16_t kHostUnix = 3;                 // "version made by": the file system of origin
constexpr uint32_t kPlainFileMode = 0100644;      // regular file, rw-r--r--
constexpr uint32_t kPlainDirectoryMode = 040755;  // directory, rwxr-xr-x

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
    rebuildFailure_.clear();
    unrecoveredAttributes_.clear();
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
    const std::string text = rebuildFailure_.empty() ? kNotAValidZipText : rebuildFailure_;
    CloseArchive();
    throw EBadZipFile(text);
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
        if (FindEndRecord(side, sideSize, true)) {
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

bool TZipReader::FindEndRecord(TStream& in, int64_t size, bool sideFile) {
    if (size < kEndRecordSize) return false;
    const int64_t tailLength = std::min(kLongestEndSearch, size);
    const int64_t tailStart = size - tailLength;
    std::vector<unsigned char> tail(static_cast<size_t>(tailLength));
    if (in.Seek(tailStart, soBeginning) != tailStart ||
        in.Read(tail.data(), tailLength) != tailLength)
        return false;
    // The nearest signature to the end wins unless the directory it describes
    // could not stand before it: such a one is a name or data that happens to
    // hold the signature, and taking it would lose the real directory.
    for (int64_t i = tailLength - kEndRecordSize; i >= 0; --i) {
        if (tail[static_cast<size_t>(i)] == 'P' &&
            le::Get32(&tail[static_cast<size_t>(i)]) == kEndRecordSignature &&
            TakeEndRecord(in, size, tailStart + i, &tail[static_cast<size_t>(i)], sideFile))
            return endCentral_.ThisDiskNo() >= endCentral_.CentralDiskNo();
    }
    return false;
}

bool TZipReader::TakeEndRecord(TStream& in, int64_t size, int64_t signatureAt,
                               const unsigned char* record, bool sideFile) {
    endCentral_.ClearWithZip64();
    endCentral_.EndRecord = TEndCentral::ParseEndRecord(record);
    endCentral_.CommentPosition = signatureAt + kEndRecordSize;
    int64_t directoryEnd = signatureAt;
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
                directoryEnd = std::min(directoryEnd, at);
            }
        }
    }
    // A side file holds its directory from its start; an archive holds it
    // where the record says.
    const int64_t start = sideFile ? 0 : endCentral_.CentralDirOffset();
    const int64_t length = endCentral_.CentralDirSize();
    return start >= 0 && length >= 0 && length <= directoryEnd - start;
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
        CheckCancel();
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

// The first place at or after start where signature stands (for a local
// header, followed by a plausible version); -1 when there is none.
int64_t TZipReader::FindRecord(TStream& in, int64_t start, int64_t size, uint32_t signature) {
    int64_t found = -1;
    std::vector<unsigned char> chunk(static_cast<size_t>(kScanChunk));
    int64_t chunkStart = start;
    int64_t chunkLength = 0;
    int64_t nextCheck = start + kScanCheckStep;
    for (int64_t at = start; at + 6 <= size && found < 0;) {
        if (at >= nextCheck) {
            CheckCancel();
            nextCheck += kScanCheckStep;
            continue;
        }
        if (at + 6 > chunkStart + chunkLength) {
            if (in.Seek(at, soBeginning) != at) break;
            chunkStart = at;
            chunkLength = std::max<int64_t>(0, in.Read(chunk.data(), kScanChunk));
            if (chunkLength < 6) break;
        }
        const int64_t limit = std::min(chunkStart + chunkLength - 5, nextCheck);
        const unsigned char* base = chunk.data();
        const void* hit =
            std::memchr(base + (at - chunkStart), 'P', static_cast<size_t>(limit - at));
        if (!hit) {
            at = limit;
            continue;
        }
        const int64_t p = static_cast<const unsigned char*>(hit) - base;
        if (le::Get32(base + p) == signature &&
            (signature != kLocalHeaderSignature || base[p + 5] < 10)) {
            found = chunkStart + p;
        } else {
            at = chunkStart + p + 1;
        }
    }
    return found;
}

int64_t TZipReader::FindLocalHeader(TStream& in, int64_t start, int64_t size) {
    return FindRecord(in, start, size, kLocalHeaderSignature);
}

bool TZipReader::FindEntryEnd(TStream& in, TZipHeaderInfo& entry, int64_t dataStart, int64_t size,
                              int64_t& next) {
    if ((entry.GeneralPurposeFlags & kFlagDataDescriptor) == 0) {
        const int64_t compressed = entry.CompressedSize();
        if (compressed >= 0 && compressed <= size) next = dataStart + compressed;
        return true;
    }
    // The local sizes may be zero: only the descriptor behind the data tells
    // where the entry ends. Without one that agrees with the data the entry
    // cannot be kept, and a rebuild without it would lose it.
    TDataDescriptor descriptor;
    if (!FindDataDescriptor(
            in, entry, dataStart, size, [this] { CheckCancel(); }, descriptor)) {
        rebuildFailure_ = Format(kDescriptorDisagreesFormat, entry.StoredName().c_str());
        return false;
    }
    entry.Crc32 = descriptor.crc32;
    entry.SetCompressedSize(descriptor.compressedSize);
    entry.SetUncompressedSize(descriptor.uncompressedSize);
    next = dataStart + descriptor.compressedSize + descriptor.length;
    return true;
}

bool TZipReader::RebuildFromLocalHeaders() {
    if (rebuilding_ || !readHandle_) return false;
    rebuilding_ = true;
    sortedView_.reset();
    directory_.reset();
    rebuildFailure_.clear();
    unrecoveredAttributes_.clear();
    TBufferStream& in = *readHandle_;
    const int64_t size = readSize_;
    const int64_t start = SameTextAscii(FileExtension(zipName_), ".exe") ? kSelfExtractorStart : 0;

    const int64_t found = FindLocalHeader(in, start, size);
    if (found < 0) return false;

    auto directory = std::make_unique<TSortedZip>(ByNone, dupError, true);
    int64_t place = found;
    int64_t walkEnd = found;  // where the last entry found ends
    while (place >= 0 && place < size) {
        CheckCancel();
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
        if (!FindEntryEnd(in, *entry, dataStart, size, next)) return false;
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
    MatchCentralHeaders(in, size, walkEnd);
    return true;
}

// Each central record that survives behind the entries, wherever the damage
// left it, gives its entry (the one its offset and name point to) what only
// the central record holds: host, mode, link type, comment, extra blocks.
void TZipReader::MatchCentralHeaders(TStream& in, int64_t size, int64_t start) {
    const int count = directory_->Count();
    std::vector<bool> matched(static_cast<size_t>(count), false);
    int left = count;
    for (int64_t at = FindRecord(in, start, size, kCentralHeaderSignature); at >= 0 && left > 0;
         at = FindRecord(in, at + 1, size, kCentralHeaderSignature)) {
        CheckCancel();
        TZipHeaderInfo central(oemConvert_);
        int index = 0;
        if (in.Seek(at, soBeginning) != at || !central.ReadCentralHeader(in) ||
            !directory_->Find(central, index) || matched[static_cast<size_t>(index)])
            continue;
        TZipHeaderInfo& entry = *directory_->Items(index);
        if (entry.StoredName() != central.StoredName()) continue;
        const int64_t offset = entry.RelativeOffset();
        const uint16_t localExtra = entry.LocalExtraLength;
        const uint16_t localFlags = entry.GeneralPurposeFlags;
        const uint32_t crc = entry.Crc32;
        const int64_t compressed = entry.CompressedSize();
        const int64_t uncompressed = entry.UncompressedSize();
        entry.Assign(central);
        entry.CopySavedExtra(central);
        entry.LocalExtraLength = localExtra;
        entry.SetRelativeOffset(offset);
        entry.GeneralPurposeFlags |= localFlags & kFlagUtf8Names;
        if (localFlags & kFlagDataDescriptor) {
            // What the descriptor said agrees with the data; the bytes
            // copied are those it measured.
            entry.Crc32 = crc;
            entry.SetCompressedSize(compressed);
            entry.SetUncompressedSize(uncompressed);
        }
        matched[static_cast<size_t>(index)] = true;
        --left;
    }
    for (int i = 0; i < count; ++i) {
        if (matched[static_cast<size_t>(i)]) continue;
        TZipHeaderInfo& entry = *directory_->Items(i);
        unrecoveredAttributes_.push_back(entry.StoredName());
        // A UTF-8 name from an MS-DOS host is read in an OEM code page by
        // unzip; from a Unix host as it is. A Unix entry needs a mode, or
        // it is extracted with none.
        if ((entry.GeneralPurposeFlags & kFlagUtf8Names) || IsUtf8BeyondAscii(entry.StoredName())) {
            const bool directory = !entry.StoredName().empty() && entry.StoredName().back() == '/';
            const uint32_t mode = directory ? kPlainDirectoryMode : kPlainFileMode;
            entry.VersionMadeBy = static_cast<uint16_t>((kHostUnix << 8) | kVersionMadeBy);
            entry.ExternalAttributes = (mode << 16) | (directory ? faDirectory : faArchive);
        }
    }
}

std::string TZipReader::RepairReport() const {
    if (!rebuilding_ || !directory_) return {};
    std::string text = kRebuiltDirectoryText;
    if (unrecoveredAttributes_.empty()) return text;
    text += kUnrecoveredAttributesText;
    for (size_t i = 0; i < unrecoveredAttributes_.size(); ++i)
        text += (i > 0 ? ", " : "") + unrecoveredAttributes_[i];
    return text + ".";
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
