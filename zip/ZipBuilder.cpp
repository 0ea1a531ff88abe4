#include "zip/ZipBuilder.h"

#include <utility>

#include "platform/AsciiCase.h"
#include "platform/FileSystem.h"
#include "platform/WorkFile.h"
#include "zip/BuildRun.h"
#include "zip/DirSearch.h"
#include "zip/StoredName.h"
#include "zip/Wildcard.h"

namespace qm {
namespace {

bool EndsWithSlash(const std::string& text) {
    return !text.empty() && text.back() == '/';
}

// Raises the failure a writer call returned: inside the builder errors are
// raised, and BuildArchive gives them back as its result.
void Check(const TZipStatus& status) {
    if (!status) throw EZipFailure(status.Error());
}

}  // namespace

TZipBuilder::~TZipBuilder() = default;

void TZipBuilder::SetRootDir(const std::string& dir) {
    rootDir_ = dir;
    if (!rootDir_.empty() && rootDir_.back() != '/') rootDir_ += '/';
}

void TZipBuilder::SetStorePaths(bool value) {
    storePaths_ = value;
    if (!value) relativePaths_ = false;
}

void TZipBuilder::SetRelativePaths(bool value) {
    relativePaths_ = value;
    if (value) {
        storePaths_ = true;
        recurse_ = true;
    }
}

void TZipBuilder::SetSearchBit(uint32_t bit, bool value) {
    searchAttribute_ = value ? (searchAttribute_ | bit) : (searchAttribute_ & ~bit);
}

std::string TZipBuilder::NameKey(const std::string& storedName) const {
    return caseSensitiveNames_ ? storedName : AsciiLower(storedName);
}

std::string TZipBuilder::StoredName(const std::string& path) const {
    const std::vector<std::string> relativeTo{rootDir_};
    return StoredNameOf(path, storePaths_, relativePaths_ ? &relativeTo : nullptr);
}

// ---------------------------------------------------------------- the run

TZipResult<int32_t> TZipBuilder::BuildArchive() {
    SetCancel(false);
    TZipResult<int32_t> result = 0;
    if (ZipName().find_first_not_of(' ') != std::string::npos) {  // not a blank name
        result = Capture([this] { return Run(); });
    }
    filesList_.clear();
    ReleaseReadHandle();
    return result;
}

int32_t TZipBuilder::Run() {
    RunState run;
    run.archiveName = ZipName();
    TZipWriterOptions options;
    options.level = packLevel_;
    options.threads = threads_;
    options.flushOnClose = FlushFilesOnClose();
    options.nameConversion = OEMConvert();
    options.stopRequested = [this] {
        CheckCancel();
        return false;
    };
    options.onShrunk = [this](const std::string& path) {
        if (WarningBox) WarningBox(path, kShrunkSourceText);
    };
    TZipResult<std::unique_ptr<TZipWriter>> writer =
        TZipWriter::Create(run.archiveName, std::move(options));
    Check(writer ? TZipStatus() : TZipStatus(writer.Error()));
    run.writer = std::move(*writer);
    run.replaceTarget = run.writer->Target();
    ChooseFiles(run);
    if (run.updating) MergeExisting(run);
    for (size_t i = 0; i < filesList_.size(); ++i) {
        if (!run.consumed[i]) ZipOneItem(run, filesList_[i]);
    }
    TZipResult<std::unique_ptr<TSortedZip>> directory =
        run.writer->Commit(run.newEnd, run.updating ? ReadHandle() : nullptr);
    Check(directory ? TZipStatus() : TZipStatus(directory.Error()));
    if (run.updating) {
        CloseArchive();
        SetZipName(run.archiveName);
    }
    InstallDirectory(std::move(*directory), run.newEnd, PathDateTime(run.archiveName));
    return run.count;
}

// Which files go into the archive, and whether an old one is read.
void TZipBuilder::ChooseFiles(RunState& run) {
    run.archiveId = FileIdentity(run.archiveName);
    run.updating = PathExists(run.archiveName);
    if (run.updating) {
        OpenArchive();
        // A repaired directory is news: the user learns what could not be saved.
        if (Rebuilding() && WarningBox) WarningBox(run.archiveName, RepairReport());
    }
    if (run.updating && zipAction_ == zaFreshen) {
        // Freshening needs the existing names while the list is built.
        const TSortedZip* loaded = LoadedDirectory();
        for (int i = 0; loaded && i < loaded->Count(); ++i) {
            run.loadedNames.insert(NameKey(loaded->Items(i)->StoredName()));
        }
    }
    if (!filesList_.empty()) BuildFileList(run);
    run.consumed.assign(filesList_.size(), false);
}

// ------------------------------------------------------ building the list

void TZipBuilder::BuildFileList(RunState& run) {
    std::vector<std::string> items;
    items.swap(filesList_);
    for (const std::string& item : items) {
        if (EndsWithSlash(item)) {
            filesList_.push_back(item);
            continue;
        }
        if (IsWildcard(item)) {
            run.wildcards.push_back(item);
            continue;
        }
        const std::string path = item.find('/') == std::string::npos ? rootDir_ + item : item;
        TSearchRec rec;
        if (!FindSinglePath(path, searchAttribute_, rec) || (rec.Attr & faDirectory)) {
            NoSuchFile(path);
            continue;
        }
        AcceptFound(run, path);
    }
    for (const std::string& item : run.wildcards) AddWildcardItem(run, item);
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
        if (EndsWithSlash(found)) {
            if (addDirEntriesOnRecurse_) filesList_.push_back(found);
            continue;
        }
        CheckCancel();
        // An archive never contains itself, nor the work files of its runs.
        if (found == run.archiveName) continue;
        if (TWorkFile::IsWorkFileOf(found, run.replaceTarget)) continue;
        if (run.archiveId.known && FileIdentity(found).SameAs(run.archiveId)) continue;
        AcceptFound(run, found);
    }
}

bool TZipBuilder::AcceptFound(RunState& run, const std::string& path) {
    if (zipAction_ == zaFreshen && !run.loadedNames.count(NameKey(StoredName(path)))) {
        Skipping(srNoFileToFreshen, path);
        return false;
    }
    filesList_.push_back(path);
    return true;
}

// ------------------------------------------------ notifications

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

}  // namespace qm
