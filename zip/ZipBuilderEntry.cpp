// The builder's merge and per-file work: the reader loop over an old
// archive's entries, each kept (copied raw) or replaced, and each file's
// values formed and handed to the writer. Every notification happens here,
// on the calling thread.
#include <cstdint>
#include <ctime>
#include <string>
#include <unordered_map>

#include "platform/FileSystem.h"
#include "platform/FileTimes.h"
#include "zip/BuildRun.h"
#include "zip/ZipBuilder.h"

namespace qm {

namespace {

bool EndsWithSlash(const std::string& text) {
    return !text.empty() && text.back() == '/';
}

void Check(const TZipStatus& status) {
    if (!status) throw EZipFailure(status.Error());
}

}  // namespace

void TZipBuilder::MergeExisting(RunState& run) {
    TStream& source = OpenReadHandle();
    LoadArchiveComment();
    run.newEnd.Assign(EndCentral());
    // The new archive is a single volume whatever disk numbers the old one
    // claimed; copied, they make readers look for volumes that do not exist.
    run.newEnd.SetThisDiskNo(0);
    run.newEnd.SetCentralDiskNo(0);

    // The first FilesList item for each stored name.
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
        if (match != firstItem.end() && !run.consumed[match->second]) {
            const std::string& path = filesList_[match->second];
            run.consumed[match->second] = true;
            if (!KeepsOld(old, path)) {
                const int32_t before = run.count;
                ZipOneItem(run, path);
                // A replacement that could not be written leaves the old entry.
                if (run.count != before) continue;
            }
        }
        LoadEntryComment(old);
        Check(run.writer->CopyEntry(source, old));
        // A foreign archive may hold one name twice; both copies stay.
        run.writtenNames.insert(NameKey(old.StoredName()));
    }
}

// Whether an old entry stays rather than the file of its name: only when
// updating or freshening, and the entry is not older than the file.
bool TZipBuilder::KeepsOld(const TZipHeaderInfo& old, const std::string& path) const {
    if (zipAction_ == zaReplace) return false;
    TDateTime fileDate = 0;
    DosDateTimeToDateTime(PathDosDateTime(path), fileDate);
    TDateTime entryDate = 0;
    if (!DosDateTimeToDateTime(old.LastModFileDateTime, entryDate)) entryDate = NowDateTime();
    return entryDate >= fileDate;
}

void TZipBuilder::ZipOneItem(RunState& run, const std::string& item) {
    TEntryValues values;
    values.name = StoredName(item);
    const std::string key = NameKey(values.name);
    if (run.writtenNames.count(key)) {
        Skipping(srNoOverwrite, item);
        return;
    }
    if (EndsWithSlash(item)) {
        // Unset values are the writer's: now, and a plain directory.
        const uint32_t attributes = GetFileAttributes(item);
        const uint32_t dos = PathDosDateTime(item);
        if (attributes != kInvalidFileAttributes) {
            values.attributes = attributes;
            if (dos != kNoDosDateTime) values.dosDateTime = dos;
        }
        Check(run.writer->AddDirectory(values));
    } else if (!ZipFile(run, item, values)) {
        return;
    }
    run.writtenNames.insert(key);
    ++run.count;
}

// A file's entry: OnStartZip has its say first, and a file that cannot be
// opened is skipped unless the handler of the skip asks for a retry.
bool TZipBuilder::ZipFile(RunState& run, const std::string& item, TEntryValues& values) {
    const uint32_t attributes = GetFileAttributes(item);
    if (attributes == kInvalidFileAttributes) {
        NoSuchFile(item);
        return false;
    }
    values.attributes = attributes;
    // libdeflate at every size: about twice zlib's speed at the same ratio,
    // and a tree of small files gains most. Only a book keeps zlib's bytes.
    values.packing = packLevel_ == 0 ? TPacking::Store : TPacking::Deflate;
    if (OnStartZip) {
        TZipHeaderInfo header(OEMConvert());
        header.SetStoredName(values.name);
        header.ExternalAttributes = attributes;
        header.LastModFileDateTime = PathDosDateTime(item);
        bool skip = false;
        OnStartZip(*this, item, header, skip);
        if (skip) {
            Skipping(srSkippedInStartZip, item);
            return false;
        }
        values.name = header.StoredName();
        values.attributes = header.ExternalAttributes;
        values.dosDateTime = header.LastModFileDateTime;
        values.extraFlags = header.GeneralPurposeFlags;
        values.versionMadeBy = header.VersionMadeBy;
    }
    while (true) {
        const TZipStatus added = run.writer->AddFile(values, item);
        if (added) return true;
        if (added.Error().kind != TZipError::Kind::OpenFailed) throw EZipFailure(added.Error());
        bool retry = false;
        Skipping(srFileOpenError, item, retry);
        if (!retry) return false;
    }
}

}  // namespace qm
