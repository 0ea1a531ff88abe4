#pragma once
// The in-memory record of an archive entry, the byte layouts of its local and
// central headers, and the constants every archive record shares. Multi-byte
// values are little-endian; a 64-bit size or offset that does not fit its
// 32-bit field lives in a Zip64 block and the field holds the sentinel
// 0xFFFFFFFF.
//
// Entry names are kept with "/" as the directory separator, byte for byte as
// stored in the archive: on Linux "\" is an ordinary file-name character, so
// no separator translation is done in either direction.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/FileStream.h"

namespace qm {

inline constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr uint32_t kEndRecordSignature = 0x06054B50;
inline constexpr uint32_t kZip64EndRecordSignature = 0x06064B50;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064B50;

inline constexpr int kLocalHeaderSize = 30;
inline constexpr int kCentralHeaderSize = 46;
inline constexpr int kEndRecordSize = 22;
inline constexpr int kZip64EndRecordSize = 56;
inline constexpr int kZip64LocatorSize = 20;

// Compression methods.
inline constexpr uint16_t kMethodStored = 0;   // stored as is
inline constexpr uint16_t kMethodDeflate = 8;  // DEFLATE compressed

// General-purpose flag bits.
inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagMaximumCompression = 0x0002;  // deflate levels 8 and 9
inline constexpr uint16_t kFlagFastCompression = 0x0004;     // deflate levels 1 and 2
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;      // sizes and CRC follow the data
inline constexpr uint16_t kFlagUtf8Names = 0x0800;           // name and comment are UTF-8

inline constexpr uint32_t kDataDescriptorSignature =
    0x08074B50;  // also a spanned archive's first bytes

inline constexpr uint16_t kZip64Tag = 0x0001;
inline constexpr uint32_t kSentinel32 = 0xFFFFFFFF;
inline constexpr uint16_t kSentinel16 = 0xFFFF;
inline constexpr uint16_t kVersionMadeBy = 45;
inline constexpr uint16_t kVersionDefault = 20;
inline constexpr uint16_t kVersionZip64 = 45;
inline constexpr char kDirSeparator = '/';

// How entry names pass between the working code page and the OEM code page.
enum TOEMConvert { oemAlways = 0, oemNever = 1, oemFlexible = 2 };

// The Zip64 extended information block of one entry (32 bytes on disk when
// complete; only the values a header needs are written).
struct TZip64Info {
    uint16_t Tag = kZip64Tag;
    uint16_t Size = 0;
    int64_t UncompressedSize = 0;
    int64_t CompressedSize = 0;
    int64_t RelativeOffset = 0;
    uint32_t DiskStart = 0;
};

// Exactly length bytes: the text cut or padded with zeros, as a record's
// announced length demands.
std::string FixedLength(const std::string& text, size_t length);

// Keeps an MS-DOS date/time word's good parts and replaces each bad one
// (seconds 29, minutes 59, hours 23, day 1, month 1 or 12, year 2099).
uint32_t CheckDosDateTime(uint32_t dosDateTime);

// A header's plain fields with the values of a fresh entry, declared once:
// clearing an entry and copying one both go through this struct.
struct TZipHeaderFields {
    uint16_t VersionMadeBy = kVersionMadeBy;
    uint16_t VersionNeeded = kVersionDefault;
    uint16_t GeneralPurposeFlags = 0;
    uint16_t CompressionMethod = kMethodDeflate;
    uint32_t LastModFileDateTime = 0;
    uint32_t Crc32 = 0xFFFFFFFF;
    // The raw 32-bit fields; use the 64-bit accessors of TZipHeaderInfo for values.
    uint32_t CompressedSize32 = 0;
    uint32_t UncompressedSize32 = 0;
    uint16_t FileNameLength = 0;
    uint16_t CentralExtraLength = 0;
    uint16_t LocalExtraLength = 0;
    uint16_t FileCommentLength = 0;
    uint16_t DiskNumberStart = 0;
    uint16_t InternalAttributes = 1;
    uint32_t ExternalAttributes = 0x00000020;
    uint32_t RelativeOffset32 = 0;
    int64_t CentralOffset = 0;
    uint8_t ByteFlag1 = 0;
    uint8_t ByteFlag2 = 0;
};

class TZipHeaderInfo : public TZipHeaderFields {
  public:
    TZipHeaderInfo() = default;
    explicit TZipHeaderInfo(TOEMConvert convert) : OEMConvert(convert) {}
    TZipHeaderInfo(const TZipHeaderInfo&) = delete;
    TZipHeaderInfo& operator=(const TZipHeaderInfo&) = delete;

    std::unique_ptr<TZip64Info> Zip64Info;
    // The entry comment once loaded; FileCommentLength may announce one that
    // has not been read from the archive yet.
    std::optional<std::string> FileComment;
    TOEMConvert OEMConvert = oemNever;
    // Where this entry's central extra field lies in the archive it was read
    // from, its length and the length of the Zip64 block inside it.
    int64_t SavedExtraPosition = 0;
    uint16_t SavedExtraLength = 0;
    uint16_t SavedZip64Length = 0;

    // Defaults of a fresh entry; frees the Zip64 block and the comment.
    // The saved-extra fields stay.
    void Clear();
    // The saved-extra fields: forgotten, or taken from another entry whose
    // central extra field lies in the same archive.
    void ForgetSavedExtra();
    void CopySavedExtra(const TZipHeaderInfo& source);
    // Takes over another entry's header fields, names, Zip64 block and
    // (when announced) comment; not OEMConvert nor the saved-extra fields.
    void Assign(const TZipHeaderInfo& source);

    // Name without path, and path with a trailing "/" (or empty). Setting
    // either keeps FileNameLength equal to the joined length.
    const std::string& FileName() const { return fileName_; }
    const std::string& Directory() const { return directory_; }
    void SetFileName(const std::string& name);
    void SetDirectory(const std::string& directory);
    // Directory + FileName, as stored.
    std::string StoredName() const { return directory_ + fileName_; }
    // Splits a stored name after its last "/" into Directory and FileName.
    void SetStoredName(const std::string& name);

    // 64-bit values; 0xFFFFFFFF or more goes into the Zip64 block.
    int64_t CompressedSize() const;
    int64_t UncompressedSize() const;
    int64_t RelativeOffset() const;
    void SetCompressedSize(int64_t value);
    void SetUncompressedSize(int64_t value);
    void SetRelativeOffset(int64_t value);

    // Bytes of Zip64 data the local (false) or central (true) header needs;
    // 0 means no block.
    int Zip64DataSize(bool forCentral) const;
    // Makes the local header carry a Zip64 block with both sizes from the
    // start, so that a rewrite after compression keeps the header's length
    // even when the compressed size then reaches 4 GiB. Call before the
    // first WriteLocalHeader of a source that may deflate to 4 GiB or more.
    void ReserveLocalZip64();
    bool LocalZip64Reserved() const { return localZip64Reserved_; }
    // Whether a source of this size may deflate (or grow) to 4 GiB or more,
    // counting deflate's worst-case expansion.
    static bool MayNeedZip64(int64_t sourceSize);
    // Bytes WriteLocalHeader writes with the current values.
    int LocalHeaderSize() const;

    void ConvertNameForWrite(std::string& name);
    void ConvertNameForRead(std::string& name) const;

    // Writes the local header at the stream's position and records that
    // position as RelativeOffset. Raises what the stream raises (EWriteError
    // on a short write).
    void WriteLocalHeader(TStream& stream);
    // Writes the central header; foreign extra blocks are copied from
    // sourceArchive (the archive this entry was read from) when known.
    void WriteCentralHeader(TStream& stream, TStream* sourceArchive);
    // Return false, with the stream back where it was, when no valid header
    // stands at the position. After ReadCentralHeader the stream stands at
    // the extra field; after ReadLocalHeader at the local extra field.
    bool ReadCentralHeader(TStream& stream);
    bool ReadLocalHeader(TStream& stream);

    // The name bytes as written into both headers.
    std::string NameForWrite();

  private:
    TZip64Info& EnsureZip64();
    // FileNameLength = length of Directory + FileName, at most 0xFFFF.
    void UpdateNameLength();
    void StoreLarge(uint32_t& field, int64_t TZip64Info::*wide, int64_t value);
    void ParseZip64Block(const unsigned char* data, size_t size, bool forCentral);
    // Appends the Zip64 block a header carries (z bytes of data).
    void WriteZip64Block(std::string& out, int z, bool bothSizes) const;

    std::string fileName_;
    std::string directory_;
    bool localZip64Reserved_ = false;
};

}  // namespace qm
