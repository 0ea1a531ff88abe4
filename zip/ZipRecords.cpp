#include "zip/ZipRecords.h"

#include <algorithm>
#include <vector>

#include "platform/AsciiCase.h"
#include "platform/CodePage.h"
#include "zip/RecordCursor.h"

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
    static_cast<TZipHeaderFields&>(*this) = TZipHeaderFields{};
    fileName_.clear();
    directory_.clear();
    Zip64Info.reset();
    FileComment.reset();
    OEMConvert = oemNever;
    localZip64Reserved_ = false;
}

void TZipHeaderInfo::Assign(const TZipHeaderInfo& source) {
    if (&source == this) return;
    static_cast<TZipHeaderFields&>(*this) = source;
    fileName_ = source.fileName_;
    directory_ = source.directory_;
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

void TZipHeaderInfo::WriteZip64Block(std::string& out, int z, bool bothSizes) const {
    TWriteCursor w(out);
    w.U16(kZip64Tag).U16(static_cast<uint16_t>(z));
    if (bothSizes || UncompressedSize32 == kSentinel32) w.I64(UncompressedSize());
    if (bothSizes || CompressedSize32 == kSentinel32) w.I64(CompressedSize());
    if (RelativeOffset32 == kSentinel32) w.I64(RelativeOffset());
    if (DiskNumberStart == kSentinel16) w.U32(Zip64Info ? Zip64Info->DiskStart : 0);
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
    TWriteCursor(out)
        .U32(kLocalHeaderSignature)
        .U16(VersionNeeded)
        .U16(GeneralPurposeFlags)
        .U16(CompressionMethod)
        .U32(LastModFileDateTime)
        .U32(Crc32)
        .U32(bothInBlock ? kSentinel32 : CompressedSize32)
        .U32(bothInBlock ? kSentinel32 : UncompressedSize32)
        .U16(FileNameLength)
        .U16(static_cast<uint16_t>(LocalExtraLength + (z > 0 ? 4 + z : 0)))
        .Bytes(name);
    // A local block holds both sizes or neither: extractors read it so.
    if (z > 0) WriteZip64Block(out, z, bothInBlock);
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
        ForEachExtraBlock(saved.data(), static_cast<size_t>(got), [&](const TExtraBlock& block) {
            if (!block.Whole()) return false;
            if (block.tag != kZip64Tag) {
                foreign.append(reinterpret_cast<const char*>(saved.data() + block.offset),
                               4 + block.size);
            }
            return true;
        });
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
    TWriteCursor(out)
        .U32(kCentralHeaderSignature)
        .U16(VersionMadeBy)
        .U16(VersionNeeded)
        .U16(GeneralPurposeFlags)
        .U16(CompressionMethod)
        .U32(LastModFileDateTime)
        .U32(Crc32)
        .U32(CompressedSize32)
        .U32(UncompressedSize32)
        .U16(FileNameLength)
        .U16(CentralExtraLength)
        .U16(commentLength)
        .U16(DiskNumberStart)
        .U16(InternalAttributes)
        .U32(ExternalAttributes)
        .U32(RelativeOffset32)
        .Bytes(name)
        .Bytes(foreign);
    if (z == 0) Zip64Info.reset();
    if (z > 0) WriteZip64Block(out, z, false);
    if (commentLength > 0) out += FixedLength(*FileComment, commentLength);
    stream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
}

void TZipHeaderInfo::ParseZip64Block(const unsigned char* data, size_t size, bool forCentral) {
    TReadCursor block(data, size);
    TZip64Info& info = EnsureZip64();
    // A value is taken only when the block still holds all of it.
    auto take64 = [&](bool wanted, int64_t& target) {
        if (wanted && block.Remaining() >= 8) target = block.I64();
    };
    // A local block holds both sizes when either overflowed; one too short
    // for both holds only those whose field has the sentinel.
    const bool uncompressedSentinel = UncompressedSize32 == kSentinel32;
    const bool compressedSentinel = CompressedSize32 == kSentinel32;
    const bool both = !forCentral && (uncompressedSentinel || compressedSentinel) && size >= 16;
    take64(both || uncompressedSentinel, info.UncompressedSize);
    take64(both || compressedSentinel, info.CompressedSize);
    take64(RelativeOffset32 == kSentinel32, info.RelativeOffset);
    if (DiskNumberStart == kSentinel16 && block.Remaining() >= 4) info.DiskStart = block.U32();
}

namespace {

// The fields a local and a central header share, in the order both hold them.
void ReadSharedFields(TReadCursor& r, TZipHeaderFields& f) {
    f.VersionNeeded = r.U16();
    f.GeneralPurposeFlags = r.U16();
    f.CompressionMethod = r.U16();
    f.LastModFileDateTime = CheckDosDateTime(r.U32());
    f.Crc32 = r.U32();
    f.CompressedSize32 = r.U32();
    f.UncompressedSize32 = r.U32();
}

}  // namespace

bool TZipHeaderInfo::ReadCentralHeader(TStream& stream) {
    const int64_t start = stream.Position();
    unsigned char h[kCentralHeaderSize];
    if (stream.Read(h, kCentralHeaderSize) != kCentralHeaderSize) {
        stream.Seek(start, soBeginning);
        return false;
    }
    TReadCursor r(h, sizeof h);
    TZipHeaderFields f = *this;
    const uint32_t signature = r.U32();
    f.VersionMadeBy = r.U16();
    ReadSharedFields(r, f);
    const uint16_t nameLength = r.U16();
    f.CentralExtraLength = r.U16();
    f.FileCommentLength = r.U16();
    f.DiskNumberStart = r.U16();
    f.InternalAttributes = r.U16();
    f.ExternalAttributes = r.U32();
    f.RelativeOffset32 = r.U32();
    f.CentralOffset = start;
    std::string name(nameLength, '\0');
    if (signature != kCentralHeaderSignature || !ReadExactly(stream, name.data(), nameLength)) {
        stream.Seek(start, soBeginning);
        return false;
    }
    static_cast<TZipHeaderFields&>(*this) = f;
    if ((VersionMadeBy >> 8) == 0) ConvertNameForRead(name);
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
        ForEachExtraBlock(extra.data(), static_cast<size_t>(got), [&](const TExtraBlock& block) {
            if (block.tag == kZip64Tag && SavedZip64Length == 0) {
                SavedZip64Length = static_cast<uint16_t>(std::min(block.size + 4, 0xFFFF));
                ParseZip64Block(block.body, block.available, true);
            }
            return true;
        });
        stream.Seek(SavedExtraPosition, soBeginning);
    }
    return true;
}

bool TZipHeaderInfo::ReadLocalHeader(TStream& stream) {
    const int64_t start = stream.Position();
    unsigned char h[kLocalHeaderSize];
    if (stream.Read(h, kLocalHeaderSize) != kLocalHeaderSize) {
        stream.Seek(start, soBeginning);
        return false;
    }
    TReadCursor r(h, sizeof h);
    TZipHeaderFields f = *this;
    const uint32_t signature = r.U32();
    ReadSharedFields(r, f);
    const uint16_t nameLength = r.U16();
    f.LocalExtraLength = r.U16();
    // A local header has none of the central header's own fields.
    f.VersionMadeBy = 0;
    f.CentralExtraLength = 0;
    f.FileCommentLength = 0;
    f.DiskNumberStart = 0;
    f.InternalAttributes = 0;
    f.ExternalAttributes = 0;
    f.RelativeOffset32 = 0;
    f.CentralOffset = 0;
    std::string name(nameLength, '\0');
    if (signature != kLocalHeaderSignature || !ReadExactly(stream, name.data(), nameLength)) {
        stream.Seek(start, soBeginning);
        return false;
    }
    // Converted as the entry stood before this read, as it always was.
    ConvertNameForRead(name);
    static_cast<TZipHeaderFields&>(*this) = f;
    SetStoredName(name);
    Zip64Info.reset();
    FileComment.reset();
    localZip64Reserved_ = false;

    if (LocalExtraLength > 0) {
        // Only the Zip64 block matters here.
        const int64_t extraStart = stream.Position();
        std::vector<unsigned char> extra(LocalExtraLength);
        const int64_t got = std::max<int64_t>(0, stream.Read(extra.data(), LocalExtraLength));
        ForEachExtraBlock(extra.data(), static_cast<size_t>(got), [&](const TExtraBlock& block) {
            if (block.tag != kZip64Tag) return true;
            ParseZip64Block(block.body, block.available, false);
            return false;
        });
        stream.Seek(extraStart, soBeginning);
    }
    SetRelativeOffset(start);
    return true;
}

}  // namespace qm
