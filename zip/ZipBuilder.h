#pragma once
// TZipBuilder: the directory packer qm-zipdir drives. It packs the files a
// list names into a ZIP archive, or updates an archive of that name: it
// reads the old archive's entries in order and hands each, kept or replaced,
// to a TZipWriter, then the files that are new. The old archive stays
// untouched until its replacement is complete.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "zip/ZipExceptions.h"
#include "zip/ZipReader.h"
#include "zip/ZipResult.h"
#include "zip/ZipWriter.h"

namespace qm {

enum TZipAction { zaUpdate = 0, zaReplace, zaFreshen };
enum TSkipReason {
    srBadPassword = 0,
    srNoOverwrite,
    srFileOpenError,
    srCreateError,
    srExcludeList,
    srArchiveBitNotSet,
    srNoFileToFreshen,
    srSkippedInStartZip
};

// No longer supported: files held in memory, fresh-archive mode, exclude and
// no-compress lists, drive/8.3/multi-volume settings, a temp path, disposing
// of sources or their archive bits, system files, pausing, and the
// notifications qm-zipdir never used (recursing, start info, update, end,
// percentages, completion, message handler): a program that needs them
// writes with TZipWriter.
class TZipBuilder : public TZipReader {
  public:
    TZipBuilder() = default;
    ~TZipBuilder() override;

    // Packs FilesList into ZipName and returns the number of files
    // compressed (entries kept from an existing archive do not count), or
    // why it could not. FilesList is empty afterwards.
    TZipResult<int32_t> BuildArchive();

    // Stored with one trailing "/" added (an empty value stays empty); stored
    // names are made relative to it when RelativePaths is set.
    const std::string& RootDir() const { return rootDir_; }
    void SetRootDir(const std::string& dir);
    std::vector<std::string>& FilesList() { return filesList_; }

    bool Recurse() const { return recurse_; }
    void SetRecurse(bool value) { recurse_ = value; }
    // False also clears RelativePaths.
    bool StorePaths() const { return storePaths_; }
    void SetStorePaths(bool value);
    // True also sets StorePaths and Recurse.
    bool RelativePaths() const { return relativePaths_; }
    void SetRelativePaths(bool value);

    TZipAction ZipAction() const { return zipAction_; }
    void SetZipAction(TZipAction action) { zipAction_ = action; }
    // Entry names are matched without regard to ASCII letter case unless
    // this is set (two files that differ only in case are then both packed).
    bool CaseSensitiveNames() const { return caseSensitiveNames_; }
    void SetCaseSensitiveNames(bool value) { caseSensitiveNames_ = value; }
    bool AddDirEntriesOnRecurse() const { return addDirEntriesOnRecurse_; }
    void SetAddDirEntriesOnRecurse(bool value) { addDirEntriesOnRecurse_ = value; }

    // Which files the searches of a run take besides plain ones (read-only
    // ones at first, hidden ones not).
    bool IncludeReadOnlyFiles() const { return (searchAttribute_ & 0x01) != 0; }
    bool IncludeHiddenFiles() const { return (searchAttribute_ & 0x02) != 0; }
    void SetIncludeReadOnlyFiles(bool value) { SetSearchBit(0x01, value); }
    void SetIncludeHiddenFiles(bool value) { SetSearchBit(0x02, value); }

    // 0 stores every file; 1..9 are zlib's levels.
    int32_t PackLevel() const { return packLevel_; }
    void SetPackLevel(int32_t level) { packLevel_ = level; }
    // Worker threads that deflate entries; 0 (the default) means one per
    // core. The archive's bytes are the same for any number.
    int32_t Threads() const { return threads_; }
    void SetThreads(int32_t threads) { threads_ = threads < 0 ? 0 : threads; }

    // Notifications, each skipped when empty.
    std::function<void(TZipBuilder& sender, TSkipReason reason, const std::string& fileName,
                       int32_t fileIndex, bool& retry)>
        OnSkippingFile;
    std::function<void(TZipBuilder& sender, const std::string& fileName)> OnNoSuchFile;
    // Before a file is read: the handler may change the header's name,
    // time, attributes, flags and made-by version, or skip the file.
    std::function<void(TZipBuilder& sender, const std::string& fileName, TZipHeaderInfo& zipHeader,
                       bool& skip)>
        OnStartZip;
    // The front end's message box (caption, text); empty = nothing shown.
    std::function<void(const std::string& caption, const std::string& text)> WarningBox;

  private:
    struct RunState;

    int32_t Run();
    void SetSearchBit(uint32_t bit, bool value);
    void ChooseFiles(RunState& run);
    void BuildFileList(RunState& run);
    void AddWildcardItem(RunState& run, const std::string& item);
    bool AcceptFound(RunState& run, const std::string& path);
    std::string StoredName(const std::string& path) const;
    // The key under which two stored names count as the same entry.
    std::string NameKey(const std::string& storedName) const;
    void MergeExisting(RunState& run);
    bool KeepsOld(const TZipHeaderInfo& old, const std::string& path) const;
    void ZipOneItem(RunState& run, const std::string& item);
    bool ZipFile(RunState& run, const std::string& item, TEntryValues& values);
    void Skipping(TSkipReason reason, const std::string& fileName, bool& retry);
    void Skipping(TSkipReason reason, const std::string& fileName);
    void NoSuchFile(const std::string& fileName);

    std::string rootDir_;
    std::vector<std::string> filesList_;
    bool recurse_ = false;
    bool storePaths_ = false;
    bool relativePaths_ = false;
    TZipAction zipAction_ = zaUpdate;
    bool caseSensitiveNames_ = false;
    bool addDirEntriesOnRecurse_ = false;
    uint32_t searchAttribute_ = 0x39;
    int32_t packLevel_ = 6;
    int32_t threads_ = 0;
};

}  // namespace qm
