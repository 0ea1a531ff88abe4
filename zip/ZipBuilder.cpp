#include "zip/ZipBuilder.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "platform/AsciiCase.h"
#include "platform/FileSystem.h"
#include "platform/FileTimes.h"
#include "platform/Format.h"
#include "platform/WorkFile.h"
#include "zip/ArchiveWriter.h"
#include "zip/BuildRun.h"
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

bool EndsWithSlash(const std::string& text) {
    return !text.empty() && text.back() == '/';
}

}  // namespace

// Puts back what a run changes in the builder, however the run ends.
class TZipBuilder::RunSettings {
  public:
    explicit RunSettings(TZipBuilder& zip)
        : zip_(zip), sortMode_(zip.SortMode()), keepZipOpen_(zip.KeepZipOpen()) {
        zip.SetKeepZipOpen(true);
        zip.SetSortMode(ByNone);
    }
    ~RunSettings() { Restore(); }
    RunSettings(const RunSettings&) = delete;
    RunSettings& operator=(const RunSettings&) = delete;
    void Restore() {
        if (restored_) return;
        restored_ = true;
        zip_.SetKeepZipOpen(keepZipOpen_);
        zip_.ReleaseReadHandle();
        zip_.SetSortMode(sortMode_);
        zip_.filesList_.clear();
        zip_.memoryFiles_.clear();
    }

  private:
    TZipBuilder& zip_;
    TZipSortMode sortMode_;
    bool keepZipOpen_;
    bool restored_ = false;
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

void TZipBuilder::AddMemoryFile(const std::string& path, std::string bytes) {
    memoryFiles_[path.find('/') == std::string::npos ? rootDir_ + path : path] = std::move(bytes);
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
    if (ZipName().find_first_not_of(' ') == std::string::npos) {  // blank name
        memoryFiles_.clear();
        return 0;
    }
    RunSettings settings(*this);
    RunState run;
    run.archiveName = ZipName();
    totalBytes_ = 0;
    bytesDone_ = 0;
    try {
        ChooseFiles(run);
        OpenOutput(run);
        if (run.updating) {
            OpenArchive();
            MergeExisting(run);
        }
        for (size_t i = 0; i < filesList_.size(); ++i) {
            if (!run.consumed[i]) ZipOneItem(run, filesList_[i]);
        }
        run.writer->Finish(run.newEnd, ReadHandle());
    } catch (const EWriteError&) {
        // A header or the final buffer did not fit: the disk is full.
        throw ENotEnoughRoom(kNotEnoughRoomText);
    }

    if (run.updating) {
        CloseArchive();
        SetZipName(run.archiveName);
    }
    run.writer->Commit();
    InstallDirectory(run.writer->TakeDirectory(), run.newEnd, PathDateTime(run.archiveName));
    run.writer.reset();
    if (OnTotalPercentDone) OnTotalPercentDone(*this, 100);
    if (dispose_) {
        for (const std::string& source : run.compressedSources) RemoveFile(source);
    }
    settings.Restore();
    if (OnZipComplete) OnZipComplete(*this, run.count);
    return run.count;
}

// Which archive is written and which files go into it.
void TZipBuilder::ChooseFiles(RunState& run) {
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
        OnStartZipInfo(*this, static_cast<int32_t>(filesList_.size()), totalBytes_, run.newEnd,
                       stopNow);
        if (stopNow) throw EUserCanceled(kUserCanceledZipText);
    }
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
        if (const auto memory = memoryFiles_.find(path); memory != memoryFiles_.end()) {
            AcceptFound(run, path, static_cast<int64_t>(memory->second.size()));
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
        CheckCancel();
        // An archive never contains itself, nor the work files of its runs.
        if (found == run.archiveName) continue;
        if (TWorkFile::IsWorkFileOf(found, run.replaceTarget)) continue;
        if (run.archiveId.known && FileIdentity(found).SameAs(run.archiveId)) continue;
        AcceptFound(run, found, rec.Size);
    }
}

bool TZipBuilder::AcceptFound(RunState& run, const std::string& path, int64_t size) {
    // A file in memory is new: it has its archive bit.
    if (skipIfArchiveBitNotSet_ && !memoryFiles_.count(path) &&
        !(GetFileAttributes(path) & faArchive)) {
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
    int error = 0;
    const TFileKind kind = FileKindOf(run.archiveName, &error);
    if (kind == TFileKind::Missing) throw EFOpenError(OpenErrorText(run.archiveName, error));
    if (kind != TFileKind::Regular) {
        throw EFOpenError(
            OpenErrorText(run.archiveName, kind == TFileKind::Directory ? EISDIR : EINVAL));
    }
    run.replaceTarget = ResolvedPath(run.archiveName);
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
    run.writer = std::make_unique<TArchiveWriter>(
        run.replaceTarget, FlushFilesOnClose(), threads_, static_cast<TEntryHooks&>(*this),
        [this, &run](TPendingEntry& written) { EntryWritten(*run.writer, written); });
}

void TZipBuilder::MergeExisting(RunState& run) {
    // A repaired directory is news: the user learns what could not be saved.
    if (Rebuilding() && WarningBox) WarningBox(run.archiveName, RepairReport());
    LoadArchiveComment();
    run.newEnd.Assign(EndCentral());
    // The new archive is a single volume whatever disk numbers the old one
    // claimed; copied, they make readers look for volumes that do not exist.
    run.newEnd.SetThisDiskNo(0);
    run.newEnd.SetCentralDiskNo(0);

    // The first FilesList item for each lower-cased stored name.
    std::unordered_map<std::string, size_t> firstItem;
    for (size_t i = 0; i < filesList_.size(); ++i) {
        firstItem.emplace(NameKey(StoredName(filesList_[i])), i);
    }
    TSortedZip* loaded = MutableDirectory();
    const int entryCount = loaded ? loaded->Count() : 0;
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
                DosDateTimeToDateTime(memoryFiles_.count(filesList_[f])
                                          ? UnixTimeToDosDateTime(::time(nullptr))
                                          : PathDosDateTime(filesList_[f]),
                                      fileDate);
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
    run.writer->Drain();  // the kept entry takes its place after those before it
    TStream& output = run.writer->Output();
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
    entry->WriteLocalHeader(output);
    int64_t remaining = extraLength + compressedSize;
    const auto buffer = std::make_unique<unsigned char[]>(kCopyChunk);
    while (remaining > 0) {
        const int64_t chunk = remaining < kCopyChunk ? remaining : kCopyChunk;
        source.ReadBuffer(buffer.get(), chunk);
        if (output.Write(buffer.get(), chunk) < chunk) throw ENotEnoughRoom(kNotEnoughRoomText);
        remaining -= chunk;
        CheckCancel();
    }
    if (keepDescriptor) WriteDataDescriptor(output, *entry);
    // A foreign archive may hold one name twice; both copies stay.
    run.writtenNames.insert(NameKey(entry->StoredName()));
    run.writer->Add(std::move(entry));
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

}  // namespace qm
