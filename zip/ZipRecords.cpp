#include "zip/ZipRecords.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "platform/CodePage.h"
#include "zip/LittleEndian.h"

namespace qm {

namespace {

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        return lower(x) == lower(y);
    });
}

// Reads exactly count bytes or reports false.
bool ReadExactly(TStream& stream, void* buffer, int64_t count) {
    return count <= 0 || stream.Read(buffer, count) == count;
}

// Exactly length bytes: the text cut or padded with zeros.
std::string FixedLength(const std::string& text, size_t length) {
    std::string out = text.substr(0, std::min(text.size(), length));
    out.resize(length, '\0');
    return out;
}

}  // namespace

uint32_t CheckDosDateTime(uint32_t dos) {
    uint32_t seconds = dos & 0x1F;
    uint32_t minutes = (dos >> 5) & 0x3F;
    uint32_t hours = (dos >> 11) & 0x1F;
    uint32_t day = (dos >> 16) & 0x1F;
    uint32_t month = (dos >> 21) & 0x0F;
    uint32_t year = (dos >> 25) & 0x7F;
    if (seconds >= 30) seconds = 29;
    if (minutes >= 60) minutes = 59;
    if (hours > 23) hours = 23;
    if (day == 0) day = 1;
    if (month == 0) month = 1;
    if (month > 12) month = 12;
    if (year >= 120) year = 119;
    return (year << 25) | (month << 21) | (day << 16) | (hours << 11) | (minutes << 5) | seconds;
}

// ---------------------------------------------------------------- entries

void TZipHeaderInfo::Clear() {
    VersionMadeBy = kVersionMadeBy;
    VersionNeeded = kVersionDefault;
    GeneralPurposeFlags = 0;
    CompressionMethod = 8;
    LastModFileDateTime = 0;
    Crc32 = 0xFFFFFFFF;
    CompressedSize32 = 0;
    UncompressedSize32 = 0;
    FileNameLength = 0;
    CentralExtraLength = 0;
    LocalExtraLength = 0;
    FileCommentLength = 0;
    DiskNumberStart = 0;
    InternalAttributes = 1;
    ExternalAttributes = 0x00000020;
    RelativeOffset32 = 0;
    CentralOffset = 0;
    fileName_.clear();
    directory_.clear();
    Zip64Info.reset();
    FileComment.reset();
    ByteFlag1 = 0;
    ByteFlag2 = 0;
    OEMConvert = oemNever;
    localZip64Reserved_ = false;
}

void TZipHeaderInfo::Assign(const TZipHeaderInfo& source) {
    if (&source == this) return;
    VersionMadeBy = source.VersionMadeBy;
    VersionNeeded = source.VersionNeeded;
    GeneralPurposeFlags = source.GeneralPurposeFlags;
    CompressionMethod = source.CompressionMethod;
    LastModFileDateTime = source.LastModFileDateTime;
    Crc32 = source.Crc32;
    CompressedSize32 = source.CompressedSize32;
    UncompressedSize32 = source.UncompressedSize32;
    FileNameLength = source.FileNameLength;
    CentralExtraLength = source.CentralExtraLength;
    LocalExtraLength = source.LocalExtraLength;
    FileCommentLength = source.FileCommentLength;
    DiskNumberStart = source.DiskNumberStart;
    InternalAttributes = source.InternalAttributes;
    ExternalAttributes = source.ExternalAttributes;
    RelativeOffset32 = source.RelativeOffset32;
    CentralOffset = source.CentralOffset;
    fileName_ = source.fileName_;
    directory_ = source.directory_;
    ByteFlag1 = source.ByteFlag1;
    ByteFlag2 = source.ByteFlag2;
    Zip64Info = source.Zip64Info ? std::make_unique<TZip64Info>(*source.Zip64Info) : nullptr;
    FileComment.reset();
    if (source.FileComment && source.FileCommentLength > 0) FileComment = source.FileComment;
    localZip64Reserved_ = source.localZip64Reserved_;
}

void TZipHeaderInfo::SetFileName(const std::string& name) {
    if (name == fileName_) return;
    fileName_ = name;
    FileNameLength =
        static_cast<uint16_t>(std::min<size_t>(directory_.size() + fileName_.size(), 0xFFFF));
}

void TZipHeaderInfo::SetDirectory(const std::string& directory) {
    std::string value = directory;
    if (!value.empty() && value.back() != kDirSeparator) value += kDirSeparator;
    if (value == directory_) return;
    directory_ = value;
    FileNameLength =
        static_cast<uint16_t>(std::min<size_t>(directory_.size() + fileName_.size(), 0xFFFF));
}

void TZipHeaderInfo::SetNameFromStored(const std::string& name) {
    const size_t slash = name.rfind(kDirSeparator);
    directory_ = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    fileName_ = slash == std::string::npos ? name : name.substr(slash + 1);
    FileNameLength = static_cast<uint16_t>(std::min<size_t>(name.size(), 0xFFFF));
}

TZip64Info& TZipHeaderInfo::EnsureZip64() {
    if (!Zip64Info) Zip64Info = std::make_unique<TZip64Info>();
    return *Zip64Info;
}

int64_t TZipHeaderInfo::CompressedSize() const {
    if (CompressedSize32 == kSentinel32 && Zip64Info) return Zip64Info->CompressedSize;
    return CompressedSize32;
}

int64_t TZipHeaderInfo::UncompressedSize() const {
    if (UncompressedSize32 == kSentinel32 && Zip64Info) return Zip64Info->UncompressedSize;
    return UncompressedSize32;
}

int64_t TZipHeaderInfo::RelativeOffset() const {
    if (RelativeOffset32 == kSentinel32 && Zip64Info) return Zip64Info->RelativeOffset;
    return RelativeOffset32;
}

void TZipHeaderInfo::SetCompressedSize(int64_t value) {
    if (value >= static_cast<int64_t>(kSentinel32)) {
        EnsureZip64().CompressedSize = value;
        CompressedSize32 = kSentinel32;
    } else {
        CompressedSize32 = static_cast<uint32_t>(value);
    }
}

void TZipHeaderInfo::SetUncompressedSize(int64_t value) {
    if (value >= static_cast<int64_t>(kSentinel32)) {
        EnsureZip64().UncompressedSize = value;
        UncompressedSize32 = kSentinel32;
    } else {
        UncompressedSize32 = static_cast<uint32_t>(value);
    }
}

void TZipHeaderInfo::SetRelativeOffset(int64_t value) {
    if (value >= static_cast<int64_t>(kSentinel32)) {
        EnsureZip64().RelativeOffset = value;
        RelativeOffset32 = kSentinel32;
    } else {
        RelativeOffset32 = static_cast<uint32_t>(value);
    }
}

int TZipHeaderInfo::Zip64DataSize(bool forCentral) const {
    int size = 0;
    if (!forCentral && localZip64Reserved_) {
        size += 16;
    } else {
        if (UncompressedSize32 == kSentinel32) size += 8;
        if (CompressedSize32 == kSentinel32 || (!forCentral && UncompressedSize32 == kSentinel32))
            size += 8;
    }
    if (RelativeOffset32 == kSentinel32) size += 8;
    if (DiskNumberStart == kSentinel16) size += 4;
    return size;
}

void TZipHeaderInfo::ReserveLocalZip64() {
    localZip64Reserved_ = true;
}

bool TZipHeaderInfo::MayNeedZip64(int64_t sourceSize) {
    // zlib's worst case stays well below 1/1024 of expansion.
    return sourceSize + (sourceSize >> 10) + 1024 >= static_cast<int64_t>(kSentinel32);
}

int TZipHeaderInfo::LocalHeaderSize() const {
    const int z = Zip64DataSize(false);
    return kLocalHeaderSize + FileNameLength + (z > 0 ? 4 + z : 0);
}

void TZipHeaderInfo::ConvertNameForWrite(std::string& name) {
    switch (OEMConvert) {
        case oemNever:
            break;
        case oemAlways:
            CharToOem(name);
            break;
        case oemFlexible: {
            std::string oem = name;
            CharToOem(oem);
            std::string back = oem;
            OemToChar(back);
            if (SameTextIgnoringCase(back, name)) {
                name = oem;
            } else {
                VersionMadeBy = static_cast<uint16_t>((0x0B << 8) | (VersionMadeBy & 0xFF));
            }
            break;
        }
    }
}

void TZipHeaderInfo::ConvertNameForRead(std::string& name) const {
    if (OEMConvert == oemAlways ||
        (OEMConvert == oemFlexible && (VersionMadeBy & 0x0B00) != 0x0B00))
        OemToChar(name);
}

std::string TZipHeaderInfo::NameForWrite() {
    std::string name = StoredName();
    ConvertNameForWrite(name);
    return FixedLength(name, FileNameLength);
}

void TZipHeaderInfo::WriteLocalHeader(TStream& stream) {
    SetRelativeOffset(stream.Position());
    const int z = Zip64DataSize(false);
    VersionNeeded = z > 0 ? kVersionZip64 : kVersionDefault;
    const std::string name = FileNameLength > 0 ? NameForWrite() : std::string();
    const bool bothInBlock = localZip64Reserved_ || UncompressedSize32 == kSentinel32;

    std::string out;
    out.reserve(static_cast<size_t>(kLocalHeaderSize + name.size() + 36));
    le::Put32(out, kLocalHeaderSignature);
    le::Put16(out, VersionNeeded);
    le::Put16(out, GeneralPurposeFlags);
    le::Put16(out, CompressionMethod);
    le::Put32(out, LastModFileDateTime);
    le::Put32(out, Crc32);
    le::Put32(out, bothInBlock ? kSentinel32 : CompressedSize32);
    le::Put32(out, localZip64Reserved_ ? kSentinel32 : UncompressedSize32);
    le::Put16(out, FileNameLength);
    le::Put16(out, static_cast<uint16_t>(LocalExtraLength + (z > 0 ? 4 + z : 0)));
    out += name;
    if (z > 0) {
        le::Put16(out, kZip64Tag);
        le::Put16(out, static_cast<uint16_t>(z));
        if (bothInBlock) {
            le::Put64(out, static_cast<uint64_t>(UncompressedSize()));
            le::Put64(out, static_cast<uint64_t>(CompressedSize()));
        } else if (CompressedSize32 == kSentinel32) {
            le::Put64(out, static_cast<uint64_t>(CompressedSize()));
        }
        if (RelativeOffset32 == kSentinel32)
            le::Put64(out, static_cast<uint64_t>(RelativeOffset()));
        if (DiskNumberStart == kSentinel16) le::Put32(out, Zip64Info ? Zip64Info->DiskStart : 0);
    }
    stream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
}

void TZipHeaderInfo::WriteCentralHeader(TStream& stream, TStream* sourceArchive) {
    // The foreign extra blocks come first so that the announced extra length
    // matches the bytes written even when the source's field is malformed.
    std::string foreign;
    if (SavedExtraLength > 0 && sourceArchive) {
        std::vector<unsigned char> saved(SavedExtraLength);
        const int64_t back = sourceArchive->Position();
        int64_t got = 0;
        if (sourceArchive->Seek(SavedExtraPosition, soBeginning) == SavedExtraPosition)
            got = std::max<int64_t>(0, sourceArchive->Read(saved.data(), SavedExtraLength));
        sourceArchive->Seek(back, soBeginning);
        // Whole blocks only: a malformed tail would swallow the Zip64 block
        // that follows it.
        int64_t at = 0;
        while (at + 4 <= got) {
            const uint16_t tag = le::Get16(&saved[at]);
            const int64_t blockEnd = at + 4 + le::Get16(&saved[at + 2]);
            if (blockEnd > got) break;
            if (tag != kZip64Tag)
                foreign.append(reinterpret_cast<const char*>(&saved[at]), blockEnd - at);
            at = blockEnd;
        }
    }

    std::string name = FileNameLength > 0 ? NameForWrite() : std::string();
    const int z = Zip64DataSize(true);
    VersionNeeded = z > 0 ? kVersionZip64 : kVersionDefault;
    const size_t zip64Bytes = z > 0 ? static_cast<size_t>(4 + z) : 0;
    if (foreign.size() + zip64Bytes > 0xFFFF) foreign.clear();
    CentralExtraLength = static_cast<uint16_t>(foreign.size() + zip64Bytes);
    // A comment announced but never loaded cannot be written; announcing
    // it anyway would misplace every following header.
    const uint16_t commentLength = FileComment ? FileCommentLength : 0;

    std::string out;
    out.reserve(kCentralHeaderSize + name.size() + CentralExtraLength + commentLength);
    le::Put32(out, kCentralHeaderSignature);
    le::Put16(out, VersionMadeBy);
    le::Put16(out, VersionNeeded);
    le::Put16(out, GeneralPurposeFlags);
    le::Put16(out, CompressionMethod);
    le::Put32(out, LastModFileDateTime);
    le::Put32(out, Crc32);
    le::Put32(out, CompressedSize32);
    le::Put32(out, UncompressedSize32);
    le::Put16(out, FileNameLength);
    le::Put16(out, CentralExtraLength);
    le::Put16(out, commentLength);
    le::Put16(out, DiskNumberStart);
    le::Put16(out, InternalAttributes);
    le::Put32(out, ExternalAttributes);
    le::Put32(out, RelativeOffset32);
    out += name;
    if (z == 0) Zip64Info.reset();
    out += foreign;
    if (z > 0) {
        le::Put16(out, kZip64Tag);
        le::Put16(out, static_cast<uint16_t>(z));
        if (UncompressedSize32 == kSentinel32)
            le::Put64(out, static_cast<uint64_t>(UncompressedSize()));
        if (CompressedSize32 == kSentinel32)
            le::Put64(out, static_cast<uint64_t>(CompressedSize()));
        if (RelativeOffset32 == kSentinel32)
            le::Put64(out, static_cast<uint64_t>(RelativeOffset()));
        if (DiskNumberStart == kSentinel16) le::Put32(out, Zip64Info ? Zip64Info->DiskStart : 0);
    }
    if (commentLength > 0) out += FixedLength(*FileComment, commentLength);
    stream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
}

void TZipHeaderInfo::ParseZip64Block(const unsigned char* data, int size, bool forCentral) {
    int at = 0;
    auto take64 = [&](bool wanted, int64_t& target) {
        if (!wanted || at + 8 > size) return;
        target = static_cast<int64_t>(le::Get64(data + at));
        at += 8;
    };
    TZip64Info& info = EnsureZip64();
    // Our own local headers carry both sizes when either overflowed.
    const bool uncompressed = UncompressedSize32 == kSentinel32;
    const bool compressed = CompressedSize32 == kSentinel32 || (!forCentral && uncompressed);
    take64(uncompressed, info.UncompressedSize);
    take64(compressed, info.CompressedSize);
    take64(RelativeOffset32 == kSentinel32, info.RelativeOffset);
    if (DiskNumberStart == kSentinel16 && at + 4 <= size) info.DiskStart = le::Get32(data + at);
}

bool TZipHeaderInfo::ReadCentralHeader(TStream& stream) {
    const int64_t start = stream.Position();
    unsigned char h[kCentralHeaderSize];
    if (stream.Read(h, kCentralHeaderSize) != kCentralHeaderSize ||
        le::Get32(h) != kCentralHeaderSignature) {
        stream.Seek(start, soBeginning);
        return false;
    }
    const uint16_t nameLength = le::Get16(h + 28);
    std::string name(nameLength, '\0');
    if (!ReadExactly(stream, name.data(), nameLength)) {
        stream.Seek(start, soBeginning);
        return false;
    }
    VersionMadeBy = le::Get16(h + 4);
    if ((VersionMadeBy >> 8) == 0) ConvertNameForRead(name);
    VersionNeeded = le::Get16(h + 6);
    GeneralPurposeFlags = le::Get16(h + 8);
    CompressionMethod = le::Get16(h + 10);
    LastModFileDateTime = CheckDosDateTime(le::Get32(h + 12));
    Crc32 = le::Get32(h + 16);
    CompressedSize32 = le::Get32(h + 20);
    UncompressedSize32 = le::Get32(h + 24);
    CentralExtraLength = le::Get16(h + 30);
    FileCommentLength = le::Get16(h + 32);
    DiskNumberStart = le::Get16(h + 34);
    InternalAttributes = le::Get16(h + 36);
    ExternalAttributes = le::Get32(h + 38);
    RelativeOffset32 = le::Get32(h + 42);
    CentralOffset = start;
    SetNameFromStored(name);
    Zip64Info.reset();
    FileComment.reset();
    SavedExtraPosition = 0;
    SavedExtraLength = 0;
    SavedZip64Length = 0;
    localZip64Reserved_ = false;

    if (CentralExtraLength > 0) {
        SavedExtraPosition = stream.Position();
        SavedExtraLength = CentralExtraLength;
        std::vector<unsigned char> extra(CentralExtraLength);
        const int64_t got = std::max<int64_t>(0, stream.Read(extra.data(), CentralExtraLength));
        int64_t at = 0;
        while (at + 4 <= got) {
            const uint16_t tag = le::Get16(&extra[at]);
            const uint16_t size = le::Get16(&extra[at + 2]);
            const int available = static_cast<int>(std::min<int64_t>(size, got - at - 4));
            if (tag == kZip64Tag && SavedZip64Length == 0) {
                SavedZip64Length = static_cast<uint16_t>(std::min(size + 4, 0xFFFF));
                ParseZip64Block(&extra[at + 4], available, true);
            }
            at += 4 + size;
        }
        stream.Seek(SavedExtraPosition, soBeginning);
    }
    return true;
}

bool TZipHeaderInfo::ReadLocalHeader(TStream& stream) {
    const int64_t start = stream.Position();
    unsigned char h[kLocalHeaderSize];
    if (stream.Read(h, kLocalHeaderSize) != kLocalHeaderSize ||
        le::Get32(h) != kLocalHeaderSignature) {
        stream.Seek(start, soBeginning);
        return false;
    }
    const uint16_t nameLength = le::Get16(h + 26);
    std::string name(nameLength, '\0');
    if (!ReadExactly(stream, name.data(), nameLength)) {
        stream.Seek(start, soBeginning);
        return false;
    }
    ConvertNameForRead(name);
    VersionNeeded = le::Get16(h + 4);
    GeneralPurposeFlags = le::Get16(h + 6);
    CompressionMethod = le::Get16(h + 8);
    LastModFileDateTime = CheckDosDateTime(le::Get32(h + 10));
    Crc32 = le::Get32(h + 14);
    CompressedSize32 = le::Get32(h + 18);
    UncompressedSize32 = le::Get32(h + 22);
    LocalExtraLength = le::Get16(h + 28);
    SetNameFromStored(name);
    VersionMadeBy = 0;
    CentralExtraLength = 0;
    FileCommentLength = 0;
    DiskNumberStart = 0;
    InternalAttributes = 0;
    ExternalAttributes = 0;
    RelativeOffset32 = 0;
    CentralOffset = 0;
    Zip64Info.reset();
    FileComment.reset();
    localZip64Reserved_ = false;

    if (LocalExtraLength > 0) {
        // Only the Zip64 block matters here; the walk stays inside the
        // announced extra field.
        const int64_t extraStart = stream.Position();
        std::vector<unsigned char> extra(LocalExtraLength);
        const int64_t got = std::max<int64_t>(0, stream.Read(extra.data(), LocalExtraLength));
        int64_t at = 0;
        while (at + 4 <= got) {
            const uint16_t tag = le::Get16(&extra[at]);
            const uint16_t size = le::Get16(&extra[at + 2]);
            if (tag == kZip64Tag) {
                ParseZip64Block(&extra[at + 4],
                                static_cast<int>(std::min<int64_t>(size, got - at - 4)), false);
                break;
            }
            at += 4 + size;
        }
        stream.Seek(extraStart, soBeginning);
    }
    SetRelativeOffset(start);
    return true;
}

// ---------------------------------------------------------------- the end

void TEndCentral::Clear() {
    EndRecord = TEndRecordImage{};
    ArchiveComment.reset();
    CommentPosition = 0;
    CommentModified = false;
}

void TEndCentral::Assign(const TEndCentral& source) {
    if (&source == this) return;
    EndRecord = source.EndRecord;
    ArchiveComment.reset();
    if (source.ArchiveComment && source.EndRecord.CommentLength > 0)
        ArchiveComment = source.ArchiveComment;
    CommentPosition = source.CommentPosition;
}

void TEndCentral::AssignWithZip64(const TEndCentral& source) {
    if (&source == this) return;
    Assign(source);
    Zip64EndRecord = source.Zip64EndRecord
                         ? std::make_unique<TZip64EndRecordImage>(*source.Zip64EndRecord)
                         : nullptr;
    Zip64Locator =
        source.Zip64Locator ? std::make_unique<TZip64LocatorImage>(*source.Zip64Locator) : nullptr;
}

TZip64EndRecordImage& TEndCentral::EnsureZip64() {
    if (!Zip64EndRecord) Zip64EndRecord = std::make_unique<TZip64EndRecordImage>();
    return *Zip64EndRecord;
}

uint32_t TEndCentral::ThisDiskNo() const {
    if (EndRecord.ThisDiskNo == kSentinel16 && Zip64EndRecord) return Zip64EndRecord->ThisDiskNo;
    return EndRecord.ThisDiskNo;
}

uint32_t TEndCentral::CentralDiskNo() const {
    if (EndRecord.CentralDiskNo == kSentinel16 && Zip64EndRecord)
        return Zip64EndRecord->CentralDiskNo;
    return EndRecord.CentralDiskNo;
}

namespace {
uint32_t ClampCount(int64_t value) {
    return value < 0 ? 0 : static_cast<uint32_t>(std::min<int64_t>(value, 0xFFFFFFFF));
}
}  // namespace

uint32_t TEndCentral::EntriesOnThisDisk() const {
    if (EndRecord.EntriesOnThisDisk == kSentinel16 && Zip64EndRecord)
        return ClampCount(Zip64EndRecord->EntriesOnThisDisk);
    return EndRecord.EntriesOnThisDisk;
}

uint32_t TEndCentral::TotalEntries() const {
    if (EndRecord.TotalEntries == kSentinel16 && Zip64EndRecord)
        return ClampCount(Zip64EndRecord->TotalEntries);
    return EndRecord.TotalEntries;
}

int64_t TEndCentral::CentralDirSize() const {
    if (EndRecord.CentralDirSize == kSentinel32 && Zip64EndRecord)
        return Zip64EndRecord->CentralDirSize;
    return EndRecord.CentralDirSize;
}

int64_t TEndCentral::CentralDirOffset() const {
    if (EndRecord.CentralDirOffset == kSentinel32 && Zip64EndRecord)
        return Zip64EndRecord->CentralDirOffset;
    return EndRecord.CentralDirOffset;
}

// A value that fits stays in the end record; from its field's sentinel on
// it goes to the Zip64 end record and the field holds the sentinel.
template <typename Field, typename Wide>
void TEndCentral::StoreLarge(Field TEndRecordImage::*field, Wide TZip64EndRecordImage::*wide,
                             int64_t value) {
    constexpr Field sentinel = std::numeric_limits<Field>::max();
    if (value >= static_cast<int64_t>(sentinel)) {
        EnsureZip64().*wide = static_cast<Wide>(value);
        EndRecord.*field = sentinel;
    } else {
        EndRecord.*field = static_cast<Field>(value);
    }
}

void TEndCentral::SetThisDiskNo(uint32_t value) {
    StoreLarge(&TEndRecordImage::ThisDiskNo, &TZip64EndRecordImage::ThisDiskNo, value);
}
void TEndCentral::SetCentralDiskNo(uint32_t value) {
    StoreLarge(&TEndRecordImage::CentralDiskNo, &TZip64EndRecordImage::CentralDiskNo, value);
}
void TEndCentral::SetEntriesOnThisDisk(uint32_t value) {
    StoreLarge(&TEndRecordImage::EntriesOnThisDisk, &TZip64EndRecordImage::EntriesOnThisDisk,
               value);
}
void TEndCentral::SetTotalEntries(uint32_t value) {
    StoreLarge(&TEndRecordImage::TotalEntries, &TZip64EndRecordImage::TotalEntries, value);
}
void TEndCentral::SetCentralDirSize(int64_t value) {
    StoreLarge(&TEndRecordImage::CentralDirSize, &TZip64EndRecordImage::CentralDirSize, value);
}
void TEndCentral::SetCentralDirOffset(int64_t value) {
    StoreLarge(&TEndRecordImage::CentralDirOffset, &TZip64EndRecordImage::CentralDirOffset, value);
}

void TEndCentral::WriteEndRecord(TStream& stream) {
    std::string out;
    if (Zip64EndRecord) {
        if (!Zip64Locator) Zip64Locator = std::make_unique<TZip64LocatorImage>();
        TZip64EndRecordImage& z = *Zip64EndRecord;
        TZip64LocatorImage& locator = *Zip64Locator;
        const uint32_t thisDisk = ThisDiskNo();
        locator.Zip64EndDisk = thisDisk;
        locator.Zip64EndOffset = stream.Position();
        locator.TotalDisks = thisDisk + 1;
        bool needed = false;
        auto take16 = [&](uint16_t field, uint32_t& target) {
            if (field == kSentinel16)
                needed = true;
            else
                target = field;
        };
        auto takeCount = [&](uint16_t field, int64_t& target) {
            if (field == kSentinel16)
                needed = true;
            else
                target = field;
        };
        auto take32 = [&](uint32_t field, int64_t& target) {
            if (field == kSentinel32)
                needed = true;
            else
                target = field;
        };
        take16(EndRecord.CentralDiskNo, z.CentralDiskNo);
        take16(EndRecord.ThisDiskNo, z.ThisDiskNo);
        takeCount(EndRecord.EntriesOnThisDisk, z.EntriesOnThisDisk);
        takeCount(EndRecord.TotalEntries, z.TotalEntries);
        take32(EndRecord.CentralDirSize, z.CentralDirSize);
        take32(EndRecord.CentralDirOffset, z.CentralDirOffset);
        if (needed) {
            le::Put32(out, z.Signature);
            le::Put64(out, static_cast<uint64_t>(z.RecordSize));
            le::Put16(out, z.VersionMadeBy);
            le::Put16(out, z.VersionNeeded);
            le::Put32(out, z.ThisDiskNo);
            le::Put32(out, z.CentralDiskNo);
            le::Put64(out, static_cast<uint64_t>(z.EntriesOnThisDisk));
            le::Put64(out, static_cast<uint64_t>(z.TotalEntries));
            le::Put64(out, static_cast<uint64_t>(z.CentralDirSize));
            le::Put64(out, static_cast<uint64_t>(z.CentralDirOffset));
            le::Put32(out, locator.Signature);
            le::Put32(out, locator.Zip64EndDisk);
            le::Put64(out, static_cast<uint64_t>(locator.Zip64EndOffset));
            le::Put32(out, locator.TotalDisks);
        } else {
            Zip64EndRecord.reset();
            Zip64Locator.reset();
        }
    }
    // A comment announced but not loaded is not announced; one that is
    // loaded is written at exactly its announced length.
    const uint16_t commentLength = ArchiveComment ? EndRecord.CommentLength : 0;
    le::Put32(out, EndRecord.Signature);
    le::Put16(out, EndRecord.ThisDiskNo);
    le::Put16(out, EndRecord.CentralDiskNo);
    le::Put16(out, EndRecord.EntriesOnThisDisk);
    le::Put16(out, EndRecord.TotalEntries);
    le::Put32(out, EndRecord.CentralDirSize);
    le::Put32(out, EndRecord.CentralDirOffset);
    le::Put16(out, commentLength);
    if (commentLength > 0) out += FixedLength(*ArchiveComment, commentLength);
    stream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
}

TEndRecordImage TEndCentral::ParseEndRecord(const unsigned char* b) {
    TEndRecordImage r;
    r.Signature = le::Get32(b);
    r.ThisDiskNo = le::Get16(b + 4);
    r.CentralDiskNo = le::Get16(b + 6);
    r.EntriesOnThisDisk = le::Get16(b + 8);
    r.TotalEntries = le::Get16(b + 10);
    r.CentralDirSize = le::Get32(b + 12);
    r.CentralDirOffset = le::Get32(b + 16);
    r.CommentLength = le::Get16(b + 20);
    return r;
}

TZip64EndRecordImage TEndCentral::ParseZip64EndRecord(const unsigned char* b) {
    TZip64EndRecordImage r;
    r.Signature = le::Get32(b);
    r.RecordSize = static_cast<int64_t>(le::Get64(b + 4));
    r.VersionMadeBy = le::Get16(b + 12);
    r.VersionNeeded = le::Get16(b + 14);
    r.ThisDiskNo = le::Get32(b + 16);
    r.CentralDiskNo = le::Get32(b + 20);
    r.EntriesOnThisDisk = static_cast<int64_t>(le::Get64(b + 24));
    r.TotalEntries = static_cast<int64_t>(le::Get64(b + 32));
    r.CentralDirSize = static_cast<int64_t>(le::Get64(b + 40));
    r.CentralDirOffset = static_cast<int64_t>(le::Get64(b + 48));
    return r;
}

TZip64LocatorImage TEndCentral::ParseZip64Locator(const unsigned char* b) {
    TZip64LocatorImage r;
    r.Signature = le::Get32(b);
    r.Zip64EndDisk = le::Get32(b + 4);
    r.Zip64EndOffset = static_cast<int64_t>(le::Get64(b + 8));
    r.TotalDisks = le::Get32(b + 16);
    return r;
}

}  // namespace qm
