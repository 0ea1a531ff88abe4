#include "zip/ZipBuilder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "platform/AsciiCase.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "platform/WorkFile.h"
#include "zip/DirSearch.h"
#include "zip/LittleEndian.h"
#include "zip/StoredName.h"
#include "zip/Wildcard.h"
#include "zip/ZipExceptions.h"

namespace qm {

const char* const kSourceGrewFormat = "File %s grew past 4 GiB while it was packed";
const char* const kNotAZipTargetFormat =
    "\"%s\" exists and is not a ZIP archive; it was left unchanged.";
const char* const kShrunkSourceText =
    "The file became shorter while it was read; the entry holds the bytes that were read.";

namespace {

constexpr int kCopyChunk = 16384;
constexpr uint32_t kDataDescriptorSignature = 0x08074B50;  // also a spanned archive's first bytes
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;  // sizes and CRC follow the data

bool EndsWithSlash(const std::string& text) {
    return !text.empty() && text.back() == '/';
}

TDateTime PathDateTime(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return NowDateTime();
    const TDateTime date = FileDateTime(fd);
    ::close(fd);
    return date;
}

}  // namespace

// Everything one run owns; released when the run ends, however it ends.
struct TZipBuilder::RunState {
    std::vector<int64_t> sizes;  // parallel to FilesList: each item's size
    std::vector<bool> consumed;  // parallel to FilesList: taken by the merge
    std::vector<std::string> wildcards;
    TFileIdentity archiveId;
    std::string archiveName;
    std::string replaceTarget;  // the file the result replaces (links resolved)
    bool updating = false;
    std::unique_ptr<TWorkFile> work;  // the file this run writes
    std::unique_ptr<TBufferedFileStream> output;
    std::unordered_set<std::string> writtenNames;  // NameKey of every entry written
    std::unique_ptr<TSortedZip> outList;
    std::unique_ptr<TEndCentral> newEnd = std::make_unique<TEndCentral>();
    std::unordered_map<std::string, bool> loadedNames;  // NameKeys, for freshening
    std::vector<std::string> compressedSources;
    int32_t count = 0;
};

TZipBuilder::TZipBuilder() {
    searchAttribute_ = 0x3F;
    SetIncludeReadOnlyFiles(true);
    SetIncludeHiddenFiles(false);
    SetIncludeSysFiles(false);
    SetIncludeArchiveFiles(true);
}

TZipBuilder::~TZipBuilder() = default;

void TZipBuilder::SetRootDir(const std::string& dir) {
    rootDir_ = dir;
    if (!rootDir_.empty() && rootDir_.back() != '/') rootDir_ += '/';
    relativePathList_.clear();
    relativePathList_.push_back(rootDir_);
}

void TZipBuilder::SetStorePaths(bool value) {
    storePaths_ = value;
    if (!value) {
        relativePaths_ = false;
        storeVolumes_ = false;
    }
}

void TZipBuilder::SetRelativePaths(bool value) {
    relativePaths_ = value;
    if (value) {
        storePaths_ = true;
        recurse_ = true;
    }
}

void TZipBuilder::SetStoreVolumes(bool value) {
    storeVolumes_ = value;
    if (value) storePaths_ = true;
}

void TZipBuilder::SetSearchBit(uint32_t bit, bool value) {
    searchAttribute_ = value ? (searchAttribute_ | bit) : (searchAttribute_ & ~bit);
}

int32_t TZipBuilder::Percentage(int64_t part, int64_t whole) {
    if (whole <= 0) return 0;
    const double value =
        std::nearbyint(static_cast<double>(part) * 100.0 / static_cast<double>(whole));
    return value > 100.0 ? 100 : static_cast<int32_t>(value);
}

// ---------------------------------------------------------------- the run

int32_t TZipBuilder::BuildArchive() {
    SetCancel(false);
    if (ZipName().find_first_not_of(' ') == std::string::npos) return 0;  // blank name
    const TZipSortMode savedSortMode = SortMode();
    const bool savedKeepZipOpen = KeepZipOpen();
    SetKeepZipOpen(true);
    SetSortMode(ByNone);

    RunState run;
    run.archiveName = ZipName();
    totalBytes_ = 0;
    bytesDone_ = 0;
    auto cleanUp = [&]() {
        run.newEnd.reset();
        SetKeepZipOpen(savedKeepZipOpen);
        ReleaseReadHandle();
        SetSortMode(savedSortMode);
        filesList_.clear();
    };
    auto abandonOutput = [&]() {
        run.output.reset();
        run.outList.reset();
        run.work.reset();
    };

    try {
        run.archiveId = FileIdentity(run.archiveName);
        run.replaceTarget = run.archiveName;
        run.updating = PathExists(run.archiveName);
        if (run.updating) CheckUpdatable(run);
        if (run.updating && freshArchive_) {
            CheckIsZip(run.replaceTarget);
            run.updating = false;
        }
        TWorkFile::RemoveStale(run.replaceTarget);
        if (run.updating && zipAction_ == zaFreshen) {
            // Freshening needs the existing names while the list is built.
            OpenArchive();
            const TSortedZip* loaded = LoadedDirectory();
            for (int i = 0; loaded && i < loaded->Count(); ++i) {
                run.loadedNames[NameKey(loaded->Items(i)->StoredName())] = true;
            }
        }
        if (!filesList_.empty()) BuildFileList(run);
        if (!filesList_.empty() && OnStartZipInfo) {
            bool stopNow = false;
            OnStartZipInfo(*this, static_cast<int32_t>(filesList_.size()), totalBytes_, *run.newEnd,
                           stopNow);
            if (stopNow) throw EUserCanceled(kUserCanceledZipText);
        }
        OpenOutput(run);
        if (run.updating) {
            OpenArchive();
            MergeExisting(run);
        }
        for (size_t i = 0; i < filesList_.size(); ++i) {
            if (!run.consumed[i]) ZipOneItem(run, filesList_[i]);
        }
        WriteCentralDirectory(run);
        run.output->Flush();
        run.output.reset();
    } catch (const EWriteError&) {
        // A header or the final buffer did not fit: the disk is full.
        abandonOutput();
        cleanUp();
        throw ENotEnoughRoom(kNotEnoughRoomText);
    } catch (...) {
        abandonOutput();
        cleanUp();
        throw;
    }

    if (run.updating) {
        CloseArchive();
        SetZipName(run.archiveName);
    }
    try {
        run.work->Commit();
    } catch (...) {
        run.work.reset();
        run.outList.reset();
        cleanUp();
        throw;
    }
    run.work.reset();
    InstallDirectory(std::move(run.outList), *run.newEnd, PathDateTime(run.archiveName));
    if (OnTotalPercentDone) OnTotalPercentDone(*this, 100);
    if (dispose_) {
        for (const std::string& source : run.compressedSources) ::unlink(source.c_str());
    }
    cleanUp();
    if (OnZipComplete) OnZipComplete(*this, run.count);
    return run.count;
}

// ------------------------------------------------------ building the list

void TZipBuilder::BuildFileList(RunState& run) {
    std::vector<std::string> items;
    items.swap(filesList_);
    run.sizes.clear();
    for (const std::string& item : items) {
        if (EndsWithSlash(item)) {
            filesList_.push_back(item);
            run.sizes.push_back(0);
            continue;
        }
        if (IsWildcard(item)) {
            run.wildcards.push_back(item);
            continue;
        }
        const std::string path = item.find('/') == std::string::npos ? rootDir_ + item : item;
        if (Excluded(path)) {
            Skipping(srExcludeList, path);
            continue;
        }
        TSearchRec rec;
        if (!FindSinglePath(path, searchAttribute_, rec) || (rec.Attr & faDirectory)) {
            NoSuchFile(path);
            continue;
        }
        AcceptFound(run, path, rec.Size);
    }
    for (const std::string& item : run.wildcards) AddWildcardItem(run, item);
    run.consumed.assign(filesList_.size(), false);
}

void TZipBuilder::AddWildcardItem(RunState& run, const std::string& wildcardItem) {
    std::string item = wildcardItem;
    bool recurse = recurse_;
    if (!item.empty() && (item[0] == '|' || item[0] == '>')) {
        recurse = item[0] == '>';
        item.erase(0, 1);
    }
    const size_t slash = item.rfind('/');
    std::string directory = slash == std::string::npos ? std::string() : item.substr(0, slash + 1);
    if (directory.empty()) directory = rootDir_.empty() ? std::string("./") : rootDir_;
    std::string pattern = slash == std::string::npos ? item : item.substr(slash + 1);
    if (pattern == "*.*") pattern = "*";

    if (!IsWildcard(directory) && !DirectoryExists(directory)) {
        NoSuchFile(wildcardItem);
        return;
    }
    TDirSearch search(directory, searchAttribute_, recurse, pattern);
    // A directory too deep to walk cannot be read: say so rather than leave
    // its files out in silence.
    search.OnTooDeep = [this](const std::string& path) { Skipping(srFileOpenError, path); };
    search.OnUnreadable = search.OnTooDeep;
    TSearchRec rec;
    for (std::string found = search.NextFile(rec); !found.empty(); found = search.NextFile(rec)) {
        if (OnRecursingFile) OnRecursingFile(*this, found);
        if (EndsWithSlash(found)) {
            if (addDirEntriesOnRecurse_) {
                filesList_.push_back(found);
                run.sizes.push_back(0);
            }
            continue;
        }
        if (Excluded(found)) {
            Skipping(srExcludeList, found);
            continue;
        }
        PumpMessages();
        CheckCancel();
        // An archive never contains itself, nor the work files of its runs.
        if (found == run.archiveName) continue;
        if (TWorkFile::IsWorkFileOf(found, run.replaceTarget)) continue;
        if (run.archiveId.known && FileIdentity(found).SameAs(run.archiveId)) continue;
        AcceptFound(run, found, rec.Size);
    }
}

bool TZipBuilder::AcceptFound(RunState& run, const std::string& path, int64_t size) {
    if (skipIfArchiveBitNotSet_ && !(GetFileAttributes(path) & faArchive)) {
        Skipping(srArchiveBitNotSet, path);
        return false;
    }
    if (zipAction_ == zaFreshen && !run.loadedNames.count(NameKey(StoredName(path)))) {
        Skipping(srNoFileToFreshen, path);
        return false;
    }
    filesList_.push_back(path);
    run.sizes.push_back(size);
    totalBytes_ += size;
    return true;
}

bool TZipBuilder::Excluded(const std::string& path) const {
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (const std::string& pattern : excludeList_) {
        const bool wholePath = pattern.find('/') != std::string::npos;
        if (WildcardMatch(pattern, wholePath ? path : name)) return true;
    }
    return false;
}

bool TZipBuilder::NoCompress(const std::string& fileName) const {
    for (const std::string& pattern : noCompressList_) {
        if (WildcardMatch(pattern, fileName)) return true;
    }
    return false;
}

std::string TZipBuilder::NameKey(const std::string& storedName) const {
    return caseSensitiveNames_ ? storedName : AsciiLower(storedName);
}

std::string TZipBuilder::StoredName(const std::string& path) const {
    return StoredNameOf(path, storePaths_, relativePaths_ ? &relativePathList_ : nullptr);
}

// ------------------------------------------------------ output and merge

// Only a regular file is updated: renaming a work file over a device or a
// directory would destroy it. A link is followed, so the link stays.
void TZipBuilder::CheckUpdatable(RunState& run) {
    struct stat st {};
    if (::stat(run.archiveName.c_str(), &st) != 0) {
        throw EFOpenError(OpenErrorText(run.archiveName, errno));
    }
    if (!S_ISREG(st.st_mode)) {
        throw EFOpenError(OpenErrorText(run.archiveName, S_ISDIR(st.st_mode) ? EISDIR : EINVAL));
    }
    run.replaceTarget = run.archiveName;
    char* resolved = ::realpath(run.archiveName.c_str(), nullptr);
    if (resolved) {
        run.replaceTarget = resolved;
        std::free(resolved);
    }
}

// Every archive, new or updated, is written beside its target and renamed
// over it when complete: two runs on one name, or a run killed half-way,
// leave a whole archive (old or new), never a torn one.
void TZipBuilder::CheckIsZip(const std::string& path) {
    unsigned char head[4] = {};
    TBufferedFileStream file(path, fmOpenRead | fmShareDenyNone);
    const int64_t got = file.Read(head, sizeof head);
    if (got == 0) return;  // an empty file holds nothing to lose
    const uint32_t signature = got == 4 ? le::Get32(head) : 0;
    if (signature == kLocalHeaderSignature || signature == kEndRecordSignature ||
        signature == kDataDescriptorSignature)
        return;
    throw ENotAZipFile(Format(kNotAZipTargetFormat, path.c_str()));
}

void TZipBuilder::OpenOutput(RunState& run) {
    run.work = std::make_unique<TWorkFile>(run.replaceTarget);
    run.output = std::make_unique<TBufferedFileStream>(run.work->Path(), fmCreate);
    run.output->SetFlushFilesOnClose(FlushFilesOnClose());
    // MergeExisting makes room for the kept entries once they are known.
    run.outList = std::make_unique<TSortedZip>(ByNone, dupError, true);
    run.outList->SetCapacity(static_cast<int>(filesList_.size()));
}

void TZipBuilder::MergeExisting(RunState& run) {
    LoadArchiveComment();
    run.newEnd->Assign(EndCentral());
    run.newEnd->SetEntriesOnThisDisk(0);
    run.newEnd->SetTotalEntries(0);
    // The new archive is a single volume whatever disk numbers the old one
    // claimed; copied, they make readers look for volumes that do not exist.
    run.newEnd->SetThisDiskNo(0);
    run.newEnd->SetCentralDiskNo(0);

    // The first FilesList item for each lower-cased stored name.
    std::unordered_map<std::string, size_t> firstItem;
    for (size_t i = 0; i < filesList_.size(); ++i) {
        firstItem.emplace(NameKey(StoredName(filesList_[i])), i);
    }
    TSortedZip* loaded = MutableDirectory();
    const int entryCount = loaded ? loaded->Count() : 0;
    const int capacity = static_cast<int>(filesList_.size()) + entryCount;
    run.outList->SetCapacity(capacity);
    for (int i = 0; i < entryCount; ++i) {
        CheckCancel();
        TZipHeaderInfo& old = *loaded->Items(i);
        const auto match = firstItem.find(NameKey(old.StoredName()));
        const bool found = match != firstItem.end() && !run.consumed[match->second];
        if (found) {
            const size_t f = match->second;
            bool keep = false;
            if (zipAction_ != zaReplace) {
                TDateTime fileDate = 0;
                DosDateTimeToDateTime(PathDosDateTime(filesList_[f]), fileDate);
                TDateTime entryDate = 0;
                if (!DosDateTimeToDateTime(old.LastModFileDateTime, entryDate)) {
                    entryDate = NowDateTime();
                }
                keep = entryDate >= fileDate;
            }
            run.consumed[f] = true;
            if (keep) {
                totalBytes_ += old.CompressedSize() - run.sizes[f];
            } else {
                if (OnUpdate) OnUpdate(*this, uaReplacing, i);
                const int32_t before = run.count;
                ZipOneItem(run, filesList_[f]);
                // A replacement that could not be written leaves the old entry.
                if (run.count != before) continue;
            }
        }
        if (OnUpdate) OnUpdate(*this, uaKeeping, i);
        CopyKeptEntry(run, old);
    }
}

void TZipBuilder::CopyKeptEntry(RunState& run, TZipHeaderInfo& old) {
    LoadEntryComment(old);
    auto entry = std::make_unique<TZipHeaderInfo>(OEMConvert());
    entry->Assign(old);
    // Foreign central extra blocks travel with the entry.
    entry->CopySavedExtra(old);

    TBufferedFileStream& source = OpenReadHandle();
    // A Zip64 size read as a negative number would copy nothing (or
    // overflow) and leave an entry whose data is missing.
    const int64_t compressedSize = old.CompressedSize();
    if (compressedSize < 0 || old.RelativeOffset() < 0 || compressedSize > source.Size())
        throw EBadZipFile(kNotAValidZipText);
    unsigned char header[kLocalHeaderSize];
    source.SetPosition(old.RelativeOffset());
    source.ReadBuffer(header, sizeof header);
    if (le::Get32(header) != kLocalHeaderSignature) throw EBadZipFile(kNotAValidZipText);
    const int nameLength = le::Get16(header + 26);
    const int extraLength = le::Get16(header + 28);
    source.Seek(nameLength, soCurrent);

    // A traditionally encrypted entry checks its password against the high
    // byte of its time when bit 3 is set, of its CRC otherwise: the bit and
    // the descriptor stay, or the entry no longer decrypts.
    const bool keepDescriptor = (old.GeneralPurposeFlags & kFlagEncrypted) &&
                                (old.GeneralPurposeFlags & kFlagDataDescriptor);
    if (!keepDescriptor) entry->GeneralPurposeFlags &= static_cast<uint16_t>(~kFlagDataDescriptor);
    // Every entry of the new archive starts on its only disk; an old disk
    // number would also sort the entry out of archive order.
    entry->DiskNumberStart = 0;
    entry->LocalExtraLength = static_cast<uint16_t>(extraLength);
    entry->WriteLocalHeader(*run.output);
    int64_t remaining = extraLength + compressedSize;
    const auto buffer = std::make_unique<unsigned char[]>(kCopyChunk);
    while (remaining > 0) {
        const int64_t chunk = remaining < kCopyChunk ? remaining : kCopyChunk;
        source.ReadBuffer(buffer.get(), chunk);
        if (run.output->Write(buffer.get(), chunk) < chunk)
            throw ENotEnoughRoom(kNotEnoughRoomText);
        remaining -= chunk;
        PumpMessages();
        CheckCancel();
    }
    if (keepDescriptor) WriteDataDescriptor(*run.output, *entry);
    TZipHeaderInfo* kept = entry.release();
    run.outList->Add(kept);
    // A foreign archive may hold one name twice; both copies stay.
    run.writtenNames.insert(NameKey(kept->StoredName()));
    run.newEnd->SetTotalEntries(run.newEnd->TotalEntries() + 1);
}

void TZipBuilder::WriteDataDescriptor(TStream& out, const TZipHeaderInfo& entry) {
    const bool wide =
        entry.CompressedSize() >= kSentinel32 || entry.UncompressedSize() >= kSentinel32;
    std::string bytes;
    le::Put32(bytes, kDataDescriptorSignature);
    le::Put32(bytes, entry.Crc32);
    if (wide) {
        le::Put64(bytes, static_cast<uint64_t>(entry.CompressedSize()));
        le::Put64(bytes, static_cast<uint64_t>(entry.UncompressedSize()));
    } else {
        le::Put32(bytes, static_cast<uint32_t>(entry.CompressedSize()));
        le::Put32(bytes, static_cast<uint32_t>(entry.UncompressedSize()));
    }
    if (out.Write(bytes.data(), static_cast<int64_t>(bytes.size())) <
        static_cast<int64_t>(bytes.size()))
        throw ENotEnoughRoom(kNotEnoughRoomText);
}

// --------------------------------------------------------- one file

void TZipBuilder::ZipOneItem(RunState& run, const std::string& item) {
    auto entry = std::make_unique<TZipHeaderInfo>(OEMConvert());
    const bool isDirectory = EndsWithSlash(item);
    std::unique_ptr<TStream> source;
    if (isDirectory) {
        const uint32_t attributes = GetFileAttributes(item);
        uint32_t dos = PathDosDateTime(item);
        if (attributes == kInvalidFileAttributes || dos == kNoDosDateTime) {
            dos = UnixTimeToDosDateTime(::time(nullptr));
        }
        entry->LastModFileDateTime = dos;
        entry->ExternalAttributes = attributes == kInvalidFileAttributes ? faDirectory : attributes;
        entry->CompressionMethod = 0;
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
        auto& file = static_cast<TBufferedFileStream&>(*source);
        entry->LastModFileDateTime = FileDosDateTime(file.Handle());
        entry->SetUncompressedSize(file.Size());
    }
    entry->SetStoredName(StoredName(item));
    entry->SetRelativeOffset(run.output->Position());
    entry->InternalAttributes = 0;
    entry->DiskNumberStart = 0;

    if (run.writtenNames.count(NameKey(entry->StoredName()))) {
        Skipping(srNoOverwrite, item);
        totalBytes_ -= entry->UncompressedSize();
        return;
    }
    if (isDirectory) {
        entry->Crc32 = 0;
        entry->WriteLocalHeader(*run.output);
    } else if (!CompressEntry(run, *entry, item, std::move(source))) {
        return;
    }
    if (!isDirectory) run.compressedSources.push_back(item);
    AddToOutput(run, std::move(entry));
    ++run.count;
}

bool TZipBuilder::CompressEntry(RunState& run, TZipHeaderInfo& entry, const std::string& path,
                                std::unique_ptr<TStream> source) {
    if (OnStartZip) {
        bool skip = false;
        OnStartZip(*this, path, entry, skip);
        if (skip) {
            totalBytes_ -= source->Size();
            source.reset();
            Skipping(srSkippedInStartZip, path);
            return false;
        }
    }
    const int64_t sizeAtOpen = entry.UncompressedSize();
    if (TZipHeaderInfo::MayNeedZip64(sizeAtOpen)) entry.ReserveLocalZip64();
    entry.WriteLocalHeader(*run.output);
    const int firstHeaderSize = entry.LocalHeaderSize();
    entryBytesRead_ = 0;
    entrySize_ = sizeAtOpen;

    TEntryCompressor compressor(*source, *run.output, *this);
    int64_t written = 0;
    if (packLevel_ == 0 || NoCompress(entry.FileName())) {
        written = compressor.Store();
        entry.CompressionMethod = 0;
        entry.InternalAttributes = 0;
    } else {
        written = compressor.Deflate(packLevel_);
        entry.CompressionMethod = 8;
    }
    entry.SetCompressedSize(written);
    if (compressor.BytesRead() < sizeAtOpen) WarnShrunkSource(path);
    entry.SetUncompressedSize(compressor.BytesRead());
    entry.Crc32 = compressor.Crc32();
    if (packLevel_ <= 2) entry.GeneralPurposeFlags |= 0x0004;
    if (packLevel_ >= 8) entry.GeneralPurposeFlags |= 0x0002;
    // A source that grew past 4 GiB while it was read needs a Zip64 block
    // the first header has no room for; rewriting it would overwrite data.
    if (entry.LocalHeaderSize() != firstHeaderSize)
        throw EZipException(Format(kSourceGrewFormat, path.c_str()));

    const int64_t dataEnd = run.output->Position();
    run.output->Flush();  // a full disk shows here as EWriteError, not as a failed seek
    run.output->Seek(entry.RelativeOffset(), soBeginning);
    entry.WriteLocalHeader(*run.output);
    run.output->Seek(dataEnd, soBeginning);

    source.reset();
    if (resetArchiveBitOnZip_) ClearArchiveAttribute(path);
    if (OnEndZip) {
        OnEndZip(*this, path, entry.UncompressedSize(), entry.CompressedSize(), run.output->Size());
    }
    return true;
}

void TZipBuilder::AddToOutput(RunState& run, std::unique_ptr<TZipHeaderInfo> entry) {
    TZipHeaderInfo* record = entry.release();
    run.outList->Add(record);
    run.writtenNames.insert(NameKey(record->StoredName()));
    run.newEnd->SetTotalEntries(run.newEnd->TotalEntries() + 1);
}

void TZipBuilder::WriteCentralDirectory(RunState& run) {
    TStream& out = *run.output;
    const int64_t start = out.Position();
    run.newEnd->SetCentralDirOffset(start);
    TStream* source = ReadHandle();
    for (int i = 0; i < run.outList->Count(); ++i) {
        TZipHeaderInfo& entry = *run.outList->Items(i);
        const int64_t headerStart = out.Position();
        const int zip64Data = entry.Zip64DataSize(true);
        entry.WriteCentralHeader(out, source);
        // The records become the loaded directory of the new archive: their
        // extra fields must now be found there, not in the old archive.
        entry.SavedExtraPosition = headerStart + kCentralHeaderSize + entry.FileNameLength;
        entry.SavedExtraLength = entry.CentralExtraLength;
        entry.SavedZip64Length = static_cast<uint16_t>(zip64Data > 0 ? zip64Data + 4 : 0);
    }
    run.newEnd->SetEntriesOnThisDisk(static_cast<uint32_t>(run.outList->Count()));
    run.newEnd->SetCentralDirSize(out.Position() - start);
    run.newEnd->WriteEndRecord(out);
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
    PumpMessages();
    CheckCancel();
    while (pause_ && DoProcessMessages() && MessagePump) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        PumpMessages();
        CheckCancel();
    }
}

}  // namespace qm
