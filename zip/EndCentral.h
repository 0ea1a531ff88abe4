#pragma once
// The end of an archive: the end of central directory record, and the Zip64
// end record and locator that carry the values overflowing its fields.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/FileStream.h"
#include "zip/ZipRecords.h"

namespace qm {

// The end of central directory record image.
struct TEndRecordImage {
    uint32_t Signature = kEndRecordSignature;
    uint16_t ThisDiskNo = 0;
    uint16_t CentralDiskNo = 0;
    uint16_t EntriesOnThisDisk = 0;
    uint16_t TotalEntries = 0;
    uint32_t CentralDirSize = 0;
    uint32_t CentralDirOffset = 0;
    uint16_t CommentLength = 0;
};

struct TZip64EndRecordImage {
    uint32_t Signature = kZip64EndRecordSignature;
    int64_t RecordSize = 44;
    uint16_t VersionMadeBy = kVersionMadeBy;
    uint16_t VersionNeeded = kVersionZip64;
    uint32_t ThisDiskNo = 0;
    uint32_t CentralDiskNo = 0;
    int64_t EntriesOnThisDisk = 0;
    int64_t TotalEntries = 0;
    int64_t CentralDirSize = 0;
    int64_t CentralDirOffset = 0;
};

struct TZip64LocatorImage {
    uint32_t Signature = kZip64LocatorSignature;
    uint32_t Zip64EndDisk = 0;
    int64_t Zip64EndOffset = 0;
    uint32_t TotalDisks = 1;
};

class TEndCentral {
  public:
    TEndCentral() = default;
    TEndCentral(const TEndCentral&) = delete;
    TEndCentral& operator=(const TEndCentral&) = delete;

    TEndRecordImage EndRecord;
    std::optional<std::string> ArchiveComment;
    int64_t CommentPosition = 0;
    bool CommentModified = false;
    std::unique_ptr<TZip64EndRecordImage> Zip64EndRecord;
    std::unique_ptr<TZip64LocatorImage> Zip64Locator;

    // Resets EndRecord, frees the comment, zeroes CommentPosition and
    // CommentModified; the Zip64 images stay.
    void Clear();
    // Clear, and drops the Zip64 images too: nothing of a previous end is left.
    void ClearWithZip64();
    // EndRecord, the comment (when announced) and CommentPosition.
    void Assign(const TEndCentral& source);
    // Also the Zip64 images, for taking over a built archive's end.
    void AssignWithZip64(const TEndCentral& source);

    uint32_t ThisDiskNo() const;
    uint32_t CentralDiskNo() const;
    uint32_t EntriesOnThisDisk() const;
    uint32_t TotalEntries() const;
    int64_t CentralDirSize() const;
    int64_t CentralDirOffset() const;
    void SetThisDiskNo(uint32_t value);
    void SetCentralDiskNo(uint32_t value);
    void SetEntriesOnThisDisk(uint32_t value);
    void SetTotalEntries(uint32_t value);
    void SetCentralDirSize(int64_t value);
    void SetCentralDirOffset(int64_t value);

    // Writes the Zip64 end record and locator when a field overflowed, then
    // the end record and the comment.
    void WriteEndRecord(TStream& stream);

    // Parse images from bytes (exactly the record's size is read).
    static TEndRecordImage ParseEndRecord(const unsigned char* bytes);
    static TZip64EndRecordImage ParseZip64EndRecord(const unsigned char* bytes);
    static TZip64LocatorImage ParseZip64Locator(const unsigned char* bytes);

  private:
    // Fills the Zip64 end record and locator (which would stand at position)
    // and appends them when a field of the end record holds its sentinel;
    // otherwise forgets them.
    void AppendZip64Records(std::string& out, int64_t position);

    TZip64EndRecordImage& EnsureZip64();
    template <typename Field, typename Wide>
    void StoreLarge(Field TEndRecordImage::*field, Wide TZip64EndRecordImage::*wide, int64_t value);
};

}  // namespace qm
