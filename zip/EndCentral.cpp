#include "zip/EndCentral.h"

#include <algorithm>
#include <limits>

#include "zip/RecordCursor.h"

namespace qm {

void TEndCentral::Clear() {
    EndRecord = TEndRecordImage{};
    ArchiveComment.reset();
    CommentPosition = 0;
    CommentModified = false;
}

void TEndCentral::ClearWithZip64() {
    Clear();
    Zip64EndRecord.reset();
    Zip64Locator.reset();
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

void TEndCentral::AppendZip64Records(std::string& out, int64_t position) {
    if (!Zip64EndRecord) return;
    if (!Zip64Locator) Zip64Locator = std::make_unique<TZip64LocatorImage>();
    TZip64EndRecordImage& z = *Zip64EndRecord;
    TZip64LocatorImage& locator = *Zip64Locator;
    const uint32_t thisDisk = ThisDiskNo();
    locator.Zip64EndDisk = thisDisk;
    locator.Zip64EndOffset = position;
    locator.TotalDisks = thisDisk + 1;
    // A field holding its sentinel needs the Zip64 record; any other
    // value is copied there so both records agree.
    bool needed = false;
    auto take = [&needed](auto field, auto& target) {
        if (field == std::numeric_limits<decltype(field)>::max())
            needed = true;
        else
            target = field;
    };
    take(EndRecord.CentralDiskNo, z.CentralDiskNo);
    take(EndRecord.ThisDiskNo, z.ThisDiskNo);
    take(EndRecord.EntriesOnThisDisk, z.EntriesOnThisDisk);
    take(EndRecord.TotalEntries, z.TotalEntries);
    take(EndRecord.CentralDirSize, z.CentralDirSize);
    take(EndRecord.CentralDirOffset, z.CentralDirOffset);
    if (needed) {
        TWriteCursor(out)
            .U32(z.Signature)
            .I64(z.RecordSize)
            .U16(z.VersionMadeBy)
            .U16(z.VersionNeeded)
            .U32(z.ThisDiskNo)
            .U32(z.CentralDiskNo)
            .I64(z.EntriesOnThisDisk)
            .I64(z.TotalEntries)
            .I64(z.CentralDirSize)
            .I64(z.CentralDirOffset)
            .U32(locator.Signature)
            .U32(locator.Zip64EndDisk)
            .I64(locator.Zip64EndOffset)
            .U32(locator.TotalDisks);
    } else {
        Zip64EndRecord.reset();
        Zip64Locator.reset();
    }
}

void TEndCentral::WriteEndRecord(TStream& stream) {
    std::string out;
    AppendZip64Records(out, stream.Position());
    // A comment announced but not loaded is not announced; one that is
    // loaded is written at exactly its announced length.
    const uint16_t commentLength = ArchiveComment ? EndRecord.CommentLength : 0;
    TWriteCursor(out)
        .U32(EndRecord.Signature)
        .U16(EndRecord.ThisDiskNo)
        .U16(EndRecord.CentralDiskNo)
        .U16(EndRecord.EntriesOnThisDisk)
        .U16(EndRecord.TotalEntries)
        .U32(EndRecord.CentralDirSize)
        .U32(EndRecord.CentralDirOffset)
        .U16(commentLength);
    if (commentLength > 0) out += FixedLength(*ArchiveComment, commentLength);
    stream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
}

TEndRecordImage TEndCentral::ParseEndRecord(const unsigned char* b) {
    TReadCursor in(b, kEndRecordSize);
    TEndRecordImage r;
    r.Signature = in.U32();
    r.ThisDiskNo = in.U16();
    r.CentralDiskNo = in.U16();
    r.EntriesOnThisDisk = in.U16();
    r.TotalEntries = in.U16();
    r.CentralDirSize = in.U32();
    r.CentralDirOffset = in.U32();
    r.CommentLength = in.U16();
    return r;
}

TZip64EndRecordImage TEndCentral::ParseZip64EndRecord(const unsigned char* b) {
    TReadCursor in(b, kZip64EndRecordSize);
    TZip64EndRecordImage r;
    r.Signature = in.U32();
    r.RecordSize = in.I64();
    r.VersionMadeBy = in.U16();
    r.VersionNeeded = in.U16();
    r.ThisDiskNo = in.U32();
    r.CentralDiskNo = in.U32();
    r.EntriesOnThisDisk = in.I64();
    r.TotalEntries = in.I64();
    r.CentralDirSize = in.I64();
    r.CentralDirOffset = in.I64();
    return r;
}

TZip64LocatorImage TEndCentral::ParseZip64Locator(const unsigned char* b) {
    TReadCursor in(b, kZip64LocatorSize);
    TZip64LocatorImage r;
    r.Signature = in.U32();
    r.Zip64EndDisk = in.U32();
    r.Zip64EndOffset = in.I64();
    r.TotalDisks = in.U32();
    return r;
}

}  // namespace qm
