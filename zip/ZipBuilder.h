#pragma once
// TZipBuilder: packs files into a ZIP archive and updates an archive of the
// same name when one exists. It chooses the files and merges them with the
// entries it keeps; TArchiveWriter writes them, deflating on worker threads.
// The old archive stays untouched until its replacement is complete.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "zip/EntryCompressor.h"
#include "zip/ZipExceptions.h"
#include "zip/ZipReader.h"

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
enum TUpdateAction { uaReplacing = 0, uaKeeping };
enum TMultiMode { mmNone = 0, mmSpan, mmBlocks };

// Multi-volume settings. Only mmNone is built; the values are kept for
// callers that set them.
struct TMultiZipInfo {
    TMultiMode MultiMode = mmNone;
    int64_t BlockSize = 1457600;
    bool CheckDiskLabels = true;
    bool WriteDiskLabels = true;
};

// The message of the warning about a source that shrank while it was read.
inline constexpr int32_t kShrunkSourceMessageId = 208;
extern const char* const kShrunkSourceText;
// The run's failure when a source grew past 4 GiB while it was read.
extern const char* const kSourceGrewFormat;
// The refusal of a target that holds something other than an archive.
extern const char* const kNotAZipTargetFormat;

class TArchiveWriter;
struct TPendingEntry;

class TZipBuilder : public TZipReader, private TEntryHooks {
  public:
    TZipBuilder();
    ~TZipBuilder() override;

    // Packs FilesList into ZipName and returns the number of files
    // compressed (entries kept from an existing archive do not count).
    // FilesList is empty afterwards.
    int32_t BuildArchive();

    // Stored with one trailing "/" added (an empty value stays empty);
    // RelativePathList becomes this one line.
    const std::string& RootDir() const { return rootDir_; }
    void SetRootDir(const std::string& dir);
    std::vector<std::string>& RelativePathList() { return relativePathList_; }
    std::vector<std::string>& FilesList() { return filesList_; }
    std::vector<std::string>& ExcludeList() { return excludeList_; }
    std::vector<std::string>& NoCompressList() { return noCompressList_; }
    // Files held in memory rather than on disk: a FilesList item naming
    // path (as it would name a file: relative items are taken below
    // RootDir) is packed from bytes, as a regular file dated when it is
    // packed (OnStartZip may date it otherwise), and nothing is read for
    // it. A run takes every such file, packed or not.
    void AddMemoryFile(const std::string& path, std::string bytes);

    bool Recurse() const { return recurse_; }
    void SetRecurse(bool value) { recurse_ = value; }
    // False also clears RelativePaths and StoreVolumes.
    bool StorePaths() const { return storePaths_; }
    void SetStorePaths(bool value);
    // True also sets StorePaths and Recurse.
    bool RelativePaths() const { return relativePaths_; }
    void SetRelativePaths(bool value);
    // True also sets StorePaths. Linux paths have no drive part, so this
    // changes no stored name.
    bool StoreVolumes() const { return storeVolumes_; }
    void SetStoreVolumes(bool value);

    TZipAction ZipAction() const { return zipAction_; }
    void SetZipAction(TZipAction action) { zipAction_ = action; }
    // Kept for callers. Work files are always made beside the archive, so
    // that the final rename is atomic and cannot cross file systems.
    const std::string& TempPath() const { return tempPath_; }
    void SetTempPath(const std::string& path) { tempPath_ = path; }
    // When set, an existing archive is not read: the run builds a new one
    // from FilesList alone and puts it in its place. A file there that is
    // not a ZIP archive (nor empty) is refused with ENotAZipFile and left
    // as it is.
    bool FreshArchive() const { return freshArchive_; }
    void SetFreshArchive(bool value) { freshArchive_ = value; }
    // Entry names are matched without regard to ASCII letter case unless
    // this is set (two files that differ only in case are then both packed).
    bool CaseSensitiveNames() const { return caseSensitiveNames_; }
    void SetCaseSensitiveNames(bool value) { caseSensitiveNames_ = value; }
    bool AddDirEntriesOnRecurse() const { return addDirEntriesOnRecurse_; }
    void SetAddDirEntriesOnRecurse(bool value) { addDirEntriesOnRecurse_ = value; }

    // The search attribute mask (0x3F at first; 0x39 with the defaults)
    // that every file search of a run uses.
    uint32_t SearchAttribute() const { return searchAttribute_; }
    bool IncludeReadOnlyFiles() const { return (searchAttribute_ & 0x01) != 0; }
    bool IncludeHiddenFiles() const { return (searchAttribute_ & 0x02) != 0; }
    bool IncludeSysFiles() const { return (searchAttribute_ & 0x04) != 0; }
    bool IncludeArchiveFiles() const { return (searchAttribute_ & 0x20) != 0; }
    void SetIncludeReadOnlyFiles(bool value) { SetSearchBit(0x01, value); }
    void SetIncludeHiddenFiles(bool value) { SetSearchBit(0x02, value); }
    void SetIncludeSysFiles(bool value) { SetSearchBit(0x04, value); }
    void SetIncludeArchiveFiles(bool value) { SetSearchBit(0x20, value); }

    bool SkipIfArchiveBitNotSet() const { return skipIfArchiveBitNotSet_; }
    void SetSkipIfArchiveBitNotSet(bool value) { skipIfArchiveBitNotSet_ = value; }
    bool ResetArchiveBitOnZip() const { return resetArchiveBitOnZip_; }
    void SetResetArchiveBitOnZip(bool value) { resetArchiveBitOnZip_ = value; }
    bool Store83Names() const { return store83Names_; }
    void SetStore83Names(bool value) { store83Names_ = value; }
    bool Dispose() const { return dispose_; }
    void SetDispose(bool value) { dispose_ = value; }
    // 0 stores every file; 1..9 are zlib's levels.
    int32_t PackLevel() const { return packLevel_; }
    void SetPackLevel(int32_t level) { packLevel_ = level; }
    TMultiZipInfo& MultiZipInfo() { return multiZipInfo_; }
    // Worker threads that deflate entries; 0 (the default) means one per
    // core. The archive's bytes are the same for any number.
    int32_t Threads() const { return threads_; }
    void SetThreads(int32_t threads) { threads_ = threads < 0 ? 0 : threads; }

    // Notifications, each skipped when empty.
    std::function<void(TZipBuilder& sender, const std::string& fileName)> OnRecursingFile;
    std::function<void(TZipBuilder& sender, TSkipReason reason, const std::string& fileName,
                       int32_t fileIndex, bool& retry)>
        OnSkippingFile;
    std::function<void(TZipBuilder& sender, const std::string& fileName)> OnNoSuchFile;
    // endCentralRecord is the new archive's end record: a handler may set a
    // comment for a new archive; an update keeps the old archive's instead.
    std::function<void(TZipBuilder& sender, int32_t numFiles, int64_t totalBytes,
                       TEndCentral& endCentralRecord, bool& stopNow)>
        OnStartZipInfo;
    std::function<void(TZipBuilder& sender, TUpdateAction action, int32_t fileIndex)> OnUpdate;
    std::function<void(TZipBuilder& sender, const std::string& fileName, TZipHeaderInfo& zipHeader,
                       bool& skip)>
        OnStartZip;
    std::function<void(TZipBuilder& sender, const std::string& fileName, int64_t uncompressedSize,
                       int64_t compressedSize, int64_t currentZipSize)>
        OnEndZip;
    std::function<void(TZipBuilder& sender, int32_t percent)> OnFilePercentDone;
    std::function<void(TZipBuilder& sender, int32_t percent)> OnTotalPercentDone;
    std::function<void(TZipBuilder& sender, int32_t fileCount)> OnZipComplete;
    std::function<void(TZipBuilder& sender, int32_t messageId, const std::string& msg1,
                       const std::string& msg2, uint32_t flags, int32_t& returnValue)>
        OnHandleMessage;
    // The front end's message box (caption, text); empty = nothing shown.
    std::function<void(const std::string& caption, const std::string& text)> WarningBox;

    // The percentage of part against whole: 0 when whole <= 0, else rounded
    // half to even and never above 100.
    static int32_t Percentage(int64_t part, int64_t whole);

  private:
    struct RunState;
    class RunSettings;

    void SetSearchBit(uint32_t bit, bool value);
    void BuildFileList(RunState& run);
    void AddWildcardItem(RunState& run, const std::string& item);
    bool AcceptFound(RunState& run, const std::string& path, int64_t size);
    bool Excluded(const std::string& path) const;
    bool NoCompress(const std::string& fileName) const;
    std::string StoredName(const std::string& path) const;
    // The key under which two stored names count as the same entry.
    std::string NameKey(const std::string& storedName) const;
    void ChooseFiles(RunState& run);
    void CheckUpdatable(RunState& run);
    static void CheckIsZip(const std::string& path);
    static void WriteDataDescriptor(TStream& out, const TZipHeaderInfo& entry);
    void OpenOutput(RunState& run);
    void MergeExisting(RunState& run);
    void CopyKeptEntry(RunState& run, TZipHeaderInfo& old);
    void ZipOneItem(RunState& run, const std::string& item);
    bool CompressEntry(TArchiveWriter& writer, std::unique_ptr<TZipHeaderInfo> entry,
                       const std::string& path, std::unique_ptr<TBufferedFileStream> source);
    bool QueueMemoryEntry(TArchiveWriter& writer, std::unique_ptr<TZipHeaderInfo> entry,
                          const std::string& path, std::string bytes);
    bool SkippedAtStart(TZipHeaderInfo& entry, const std::string& path, int64_t size);
    bool ReadWhole(TStream& source, int64_t sizeAtOpen, bool store, std::string& data,
                   uint32_t& crc);
    void FinishRecord(TZipHeaderInfo& entry, const std::string& path, bool store,
                      int64_t sizeAtOpen, int64_t bytesRead, uint32_t crc);
    void EntryWritten(TArchiveWriter& writer, TPendingEntry& written);
    void Skipping(TSkipReason reason, const std::string& fileName, bool& retry);
    void Skipping(TSkipReason reason, const std::string& fileName);
    void NoSuchFile(const std::string& fileName);
    void WarnShrunkSource(const std::string& path);

    // TEntryHooks: progress after reads; cancel after writes.
    void SourceRead(int64_t count) override;
    void BlockWritten() override;

    std::string rootDir_;
    std::vector<std::string> relativePathList_;
    std::vector<std::string> filesList_;
    std::vector<std::string> excludeList_;
    std::vector<std::string> noCompressList_;
    std::unordered_map<std::string, std::string> memoryFiles_;
    bool recurse_ = false;
    bool storePaths_ = false;
    bool relativePaths_ = false;
    bool storeVolumes_ = false;
    TZipAction zipAction_ = zaUpdate;
    std::string tempPath_;
    bool freshArchive_ = false;
    bool caseSensitiveNames_ = false;
    bool addDirEntriesOnRecurse_ = false;
    uint32_t searchAttribute_ = 0x39;
    bool skipIfArchiveBitNotSet_ = false;
    bool resetArchiveBitOnZip_ = false;
    bool store83Names_ = false;
    bool dispose_ = false;
    int32_t packLevel_ = 6;
    TMultiZipInfo multiZipInfo_;
    int32_t threads_ = 0;

    // Progress of the current run and entry.
    int64_t totalBytes_ = 0;
    int64_t bytesDone_ = 0;
    int64_t entryBytesRead_ = 0;
    int64_t entrySize_ = 0;
};

}  // namespace qm
