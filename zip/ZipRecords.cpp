#include "zip/ZipRecords.h"

#include <algorithm>
#include <vector>

#include "platform/AsciiCase.h"
#include "platform/CodePage.h"
#include "zip/LittleEndian.h"

namespace qm {

namespace {

// Reads exactly count bytes or reports false.
bool ReadExactly(TStream& stream, void* buffer, int64_t count) {
    return count <= 0 || stream.Read(buffer, count) == count;
}

}  // namespace

std::string FixedLength(const std::string& text, size_t length) {
    std::string out = text.substr(0, std::min(text.size(), length));
    out.resize(length, '\0');
    return out;
}

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

void TZipHeaderInfo::ForgetSavedExtra() {
    SavedExtraPosition = 0;
    SavedExtraLength = 0;
    SavedZip64Length = 0;
}

void TZipHeaderInfo::CopySavedExtra(const TZipHeaderInfo& source) {
    SavedExtraPosition = source.SavedExtraPosition;
    SavedExtraLength = source.SavedExtraLength;
    SavedZip64Length = source.SavedZip64Length;
}

void TZipHeaderInfo::UpdateNameLength() {
    FileNameLength =
        static_cast<uint16_t>(std::min<size_t>(directory_.size() + fileName_.size(), 0xFFFF));
}

void TZipHeaderInfo::SetFileName(const std::string& name) {
    if (name == fileName_) return;
    fileName_ = name;
    UpdateNameLength();
}

void TZipHeaderInfo::SetDirectory(const std::string& directory) {
    std::string value = directory;
    if (!value.empty() && value.back() != kDirSeparator) value += kDirSeparator;
    if (value == directory_) return;
    directory_ = value;
    UpdateNameLength();
}

void TZipHeaderInfo::SetStoredName(const std::string& name) {
    const size_t slash = name.rfind(kDirSeparator);
    directory_ = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    fileName_ = slash == std::string::npos ? name : name.substr(slash + 1);
    UpdateNameLength();
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

// A value that fits stays in its 32-bit field; from the sentinel on it goes
// to the Zip64 block and the field holds the sentinel.
void TZipHeaderInfo::StoreLarge(uint32_t& field, int64_t TZip64Info::*wide, int64_t value) {
    if (value >= static_cast<int64_t>(kSentinel32)) {
        EnsureZip64().*wide = value;
        field = kSentinel32;
    } else {
        field = static_cast<uint32_t>(value);
    }
}

void TZipHeaderInfo::SetCompressedSize(int64_t value) {
    StoreLarge(CompressedSize32, &TZip64Info::CompressedSize, value);
}

void TZipHeaderInfo::SetUncompressedSize(int64_t value) {
    StoreLarge(UncompressedSize32, &TZip64Info::UncompressedSize, value);
}

void TZipHeaderInfo::SetRelativeOffset(int64_t value) {
    StoreLarge(RelativeOffset32, &TZip64Info::RelativeOffset, value);
}

int TZipHeaderInfo::Zip64DataSize(bool forCentral) const {
    const bool uncompressed = UncompressedSize32 == kSentinel32;
    const bool compressed = CompressedSize32 == kSentinel32;
    int size = 0;
    if (!forCentral) {
        // A local block holds both sizes or neither: extractors read it so.
        if (localZip64Reserved_ || uncompressed || compressed) size += 16;
    } else {
        size += (uncompressed ? 8 : 0) + (compressed ? 8 : 0);
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
            if (SameTextAscii(back, name)) {
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
    const bool bothInBlock =
        localZip64Reserved_ || UncompressedSize32 == kSentinel32 || CompressedSize32 == kSentinel32;

    std::string out;
    out.reserve(static_cast<size_t>(kLocalHeaderSize + name.size() + 36));
    le::Put32(out, kLocalHeaderSignature);
    le::Put16(out, VersionNeeded);
    le::Put16(out, GeneralPurposeFlags);
    le::Put16(out, CompressionMethod);
    le::Put32(out, LastModFileDateTime);
    le::Put32(out, Crc32);
    le::Put32(out, bothInBlock ? kSentinel32 : CompressedSize32);
    le::Put32(out, bothInBlock ? kSentinel32 : UncompressedSize32);
    le::Put16(out, FileNameLength);
    le::Put16(out, static_cast<uint16_t>(LocalExtraLength + (z > 0 ? 4 + z : 0)));
    out += name;
    if (z > 0) {
        le::Put16(out, kZip64Tag);
        le::Put16(out, static_cast<uint16_t>(z));
        if (bothInBlock) {
            le::Put64(out, static_cast<uint64_t>(UncompressedSize()));
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
    // A local block holds both sizes when either overflowed; one too short
    // for both holds only those whose field has the sentinel.
    const bool uncompressedSentinel = UncompressedSize32 == kSentinel32;
    const bool compressedSentinel = CompressedSize32 == kSentinel32;
    const bool both = !forCentral && (uncompressedSentinel || compressedSentinel) && size >= 16;
    const bool uncompressed = both || uncompressedSentinel;
    const bool compressed = both || compressedSentinel;
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
    SetStoredName(name);
    Zip64Info.reset();
    FileComment.reset();
    ForgetSavedExtra();
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
    SetStoredName(name);
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

}  // namespace qm
