#pragma once
// TZipReader: holds an archive's name and, once read, its directory (entry
// records in archive order plus a view in the chosen sort order) and its end
// record. The archive builder derives from it. The file may come from
// anywhere, so reading trusts no count or offset in it.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileTimes.h"
#include "zip/BufferedStream.h"
#include "zip/EndCentral.h"
#include "zip/RunControl.h"
#include "zip/SortedLists.h"
#include "zip/ZipRecords.h"

namespace qm {

enum TIncompleteZipMode { izAssumeMulti = 0, izAssumeBad, izAssumeNotAZip };

extern const char* const kUserCanceledNameText;  // "User canceled setting zip file name."
// A rebuild refused because an entry's end cannot be known (%s: its name).
extern const char* const kDescriptorDisagreesFormat;
// The report of a rebuild, and the start of the list of entries it could
// not give their attributes back.
extern const char* const kRebuiltDirectoryText;
extern const char* const kUnrecoveredAttributesText;

class TZipReader {
  public:
    TZipReader();
    virtual ~TZipReader();
    TZipReader(const TZipReader&) = delete;
    TZipReader& operator=(const TZipReader&) = delete;

    // A different name forgets the loaded directory; the same name (byte
    // for byte, or differing only in letter case while naming the same file)
    // changes nothing. Nothing is opened or read. A name ending in "?" would
    // ask for the name in a dialog, which the core cannot show: it raises
    // EUserCanceled "User canceled setting zip file name.".
    const std::string& ZipName() const { return zipName_; }
    void SetZipName(const std::string& name);

    TZipSortMode SortMode() const { return sortMode_; }
    // Rebuilds the view when a directory is loaded.
    void SetSortMode(TZipSortMode mode);
    bool KeepZipOpen() const { return keepZipOpen_; }
    void SetKeepZipOpen(bool value) { keepZipOpen_ = value; }
    TIncompleteZipMode IncompleteZipMode() const { return incompleteZipMode_; }
    void SetIncompleteZipMode(TIncompleteZipMode mode) { incompleteZipMode_ = mode; }
    TOEMConvert OEMConvert() const { return oemConvert_; }
    void SetOEMConvert(TOEMConvert value) { oemConvert_ = value; }
    bool FlushFilesOnClose() const { return flushFilesOnClose_; }
    void SetFlushFilesOnClose(bool value) { flushFilesOnClose_ = value; }
    // The cancel request; the next check raises EUserCanceled "User Aborted
    // Operation" and clears it.
    bool Cancel() const { return cancel_; }
    void SetCancel(bool value) { cancel_ = value; }
    // A run's shared stop request, read at the same checks as Cancel (null:
    // none). The front end sets it from whatever thread it likes.
    const TRunControl* RunControl() const { return runControl_; }
    void SetRunControl(const TRunControl* control) { runControl_ = control; }

    // A file without an end record is being read; the handler may change
    // the mode for this read.
    std::function<void(TZipReader& sender, TIncompleteZipMode& mode)> OnInCompleteZip;

    // Opens the read handle when closed; reads the directory unless the
    // loaded one is current (same file date as when it was read).
    void OpenArchive();
    // Reads the directory of an archive held in a stream rather than a file
    // (bytes in memory, say), as OpenArchive reads a file's. name stands in
    // for the file's name where the reading goes by it (a rebuild of an
    // ".exe" starts past its program). The stream is the read handle until
    // the archive is closed or renamed; an update still needs a file.
    void OpenArchiveStream(std::unique_ptr<TStream> stream, const std::string& name);
    // Releases the handle (even with KeepZipOpen), forgets the directory and
    // end record, clears the rebuilding flag and ZipName.
    void CloseArchive();
    // Releases the read handle unless KeepZipOpen is set.
    void ReleaseReadHandle();
    // Rebuilds the view in the given order and makes it the SortMode.
    void SortView(TZipSortMode mode);

    // The view: Count entries, Entry(i) in SortMode order. EListError
    // "Index %d is out of range" outside.
    int Count() const;
    const TZipHeaderInfo& Entry(int index) const;
    // Entry i's date; a stored value that is no valid date gives now.
    TDateTime EntryDateTime(int index) const;

    // The loaded directory in archive order (null when none), the view, the
    // end record and the archive's file date when it was read or built.
    const TSortedZip* LoadedDirectory() const { return directory_.get(); }
    const TSortedZip* View() const;
    const TEndCentral& EndCentral() const { return endCentral_; }
    TDateTime ArchiveDate() const { return archiveDate_; }
    bool Rebuilding() const { return rebuilding_; }
    // After a rebuild: the stored names of the entries that no surviving
    // central record describes, and a sentence for the user saying what
    // the rebuild did and naming them ("" without a rebuild).
    const std::vector<std::string>& UnrecoveredAttributes() const { return unrecoveredAttributes_; }
    std::string RepairReport() const;
    bool IsOpen() const { return readHandle_ != nullptr; }

    // Loads the archive comment into EndCentral() when announced and not
    // read yet (the read handle must be open).
    void LoadArchiveComment();
    // Loads an entry's comment from the open archive when announced and not
    // read yet; the entry must come from the loaded directory.
    void LoadEntryComment(TZipHeaderInfo& entry);

  protected:
    // Raises EUserCanceled "User Aborted Operation" when cancel is
    // requested, clearing the request.
    void CheckCancel();

    // Opens the read handle when it is closed (deny-write read mode).
    // EFOpenError when the archive was opened from a stream.
    TBufferedFileStream& OpenReadHandle();
    // The open read handle when it is a file, or null.
    TBufferedFileStream* ReadHandle() { return readFile_; }
    TSortedZip* MutableDirectory() { return directory_.get(); }
    // Takes over a freshly built archive: its entries (archive order,
    // owning), its end record and its file date; the view follows SortMode.
    void InstallDirectory(std::unique_ptr<TSortedZip> directory, const TEndCentral& end,
                          TDateTime fileDate);
    // Forgets the directory, view and end record; clears rebuilding.
    void ForgetDirectory();

  private:
    void ReadDirectory();
    void DropReadHandle();
    void ReadDirectoryFrom(TStream& stream, int64_t streamSize);
    // Finds the end record nearest to the end whose directory stands before
    // it; a side file holds its directory from its start.
    bool FindEndRecord(TStream& stream, int64_t streamSize, bool sideFile = false);
    // Takes the end record (and its Zip64 records) whose signature is at
    // signatureAt; false when its directory could not stand before it.
    bool TakeEndRecord(TStream& stream, int64_t streamSize, int64_t signatureAt,
                       const unsigned char* record, bool sideFile);
    void ReadCentralHeaders(TStream& stream, int64_t streamSize, uint64_t count, bool fromSideFile);
    bool RebuildFromLocalHeaders();
    // Where the entry whose data starts at dataStart ends (next): told by its
    // local sizes, or for a streamed entry by the descriptor that agrees with
    // its data. False, with the reason kept, when no descriptor agrees.
    bool FindEntryEnd(TStream& in, TZipHeaderInfo& entry, int64_t dataStart, int64_t size,
                      int64_t& next);
    int64_t FindRecord(TStream& in, int64_t start, int64_t size, uint32_t signature);
    int64_t FindLocalHeader(TStream& in, int64_t start, int64_t size);
    void MatchCentralHeaders(TStream& stream, int64_t streamSize, int64_t start);
    [[noreturn]] void FailBadZip();
    void RebuildView();

    std::string zipName_;
    TZipSortMode sortMode_ = ByNone;
    bool keepZipOpen_ = false;
    TIncompleteZipMode incompleteZipMode_ = izAssumeMulti;
    TOEMConvert oemConvert_ = oemAlways;
    bool flushFilesOnClose_ = false;
    bool cancel_ = false;
    const TRunControl* runControl_ = nullptr;

    std::unique_ptr<TBufferStream> readHandle_;
    TBufferedFileStream* readFile_ = nullptr;  // readHandle_ when it is a file
    int64_t readSize_ = 0;
    std::unique_ptr<TSortedZip> directory_;
    std::unique_ptr<TSortedZip> sortedView_;
    TEndCentral endCentral_;
    TDateTime archiveDate_ = 0;
    bool rebuilding_ = false;
    std::string rebuildFailure_;  // why the last rebuild was refused, when it can say
    std::vector<std::string> unrecoveredAttributes_;
};

}  // namespace qm
