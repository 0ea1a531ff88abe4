// Byte layouts of the entry headers and the end records, and the rules for
// values that overflow their 32- or 16-bit fields.
#include <gtest/gtest.h>

#include "platform/FileStream.h"
#include "support/TestSupport.h"
#include "zip/EndCentral.h"
#include "zip/LittleEndian.h"
#include "zip/MemoryStream.h"
#include "zip/ZipRecords.h"

namespace qm {
namespace {

using test::Hex;

constexpr int64_t k4G = 0x100000000LL;

void NameContentOpf(TZipHeaderInfo& entry) {
    entry.SetDirectory("OEBPS");
    entry.SetFileName("content.opf");
    entry.LastModFileDateTime = 0x5A2B6C3D;
    entry.Crc32 = 0x11223344;
    entry.SetCompressedSize(0x120);
    entry.SetUncompressedSize(0x345);
    entry.InternalAttributes = 0;
}

TEST(ZipRecords, NewDeflatedEntryHasExactLocalAndCentralHeaders) {
    TZipHeaderInfo entry(oemAlways);
    NameContentOpf(entry);
    EXPECT_EQ(entry.Directory(), "OEBPS/");
    EXPECT_EQ(entry.FileNameLength, 17);

    TMemoryStream out;
    out.Write("0123", 4);
    entry.WriteLocalHeader(out);
    EXPECT_EQ(entry.RelativeOffset(), 4);
    const std::string local = out.Bytes().substr(4);
    EXPECT_EQ(local, Hex("50 4B 03 04 14 00 00 00 08 00 3D 6C 2B 5A 44 33 22 11 20 01 00 00"
                         "45 03 00 00 11 00 00 00") +
                         "OEBPS/content.opf");

    TMemoryStream central;
    entry.WriteCentralHeader(central, nullptr);
    EXPECT_EQ(central.Bytes(),
              Hex("50 4B 01 02 2D 00 14 00 00 00 08 00 3D 6C 2B 5A 44 33 22 11 20 01 00 00"
                  "45 03 00 00 11 00 00 00 00 00 00 00 00 00 20 00 00 00 04 00 00 00") +
                  "OEBPS/content.opf");

    // A name without a directory carries no slash.
    TZipHeaderInfo plain;
    plain.SetFileName("mimetype");
    TMemoryStream mime;
    plain.WriteLocalHeader(mime);
    EXPECT_EQ(mime.Bytes().substr(30), "mimetype");
}

TEST(ZipRecords, SizesOverflowAtTheSentinelAndTravelInTheZip64Block) {
    TZipHeaderInfo entry;
    entry.SetFileName("big");
    entry.SetUncompressedSize(0xFFFFFFFE);
    entry.SetCompressedSize(0xFFFFFFFE);
    EXPECT_EQ(entry.Zip64DataSize(false), 0);
    EXPECT_EQ(entry.Zip64DataSize(true), 0);
    EXPECT_FALSE(entry.Zip64Info);

    entry.SetUncompressedSize(0xFFFFFFFF);
    EXPECT_EQ(entry.UncompressedSize32, 0xFFFFFFFFu);
    EXPECT_EQ(entry.UncompressedSize(), 0xFFFFFFFFLL);
    EXPECT_EQ(entry.Zip64DataSize(false), 16);  // both sizes in the local block
    EXPECT_EQ(entry.Zip64DataSize(true), 8);

    // Local: both size fields hold the sentinel, the block both values.
    TMemoryStream local;
    entry.WriteLocalHeader(local);
    const auto* l = reinterpret_cast<const unsigned char*>(local.Bytes().data());
    EXPECT_EQ(le::Get16(l + 4), 45);
    EXPECT_EQ(le::Get32(l + 18), 0xFFFFFFFFu);
    EXPECT_EQ(le::Get32(l + 22), 0xFFFFFFFFu);
    EXPECT_EQ(le::Get16(l + 28), 20);
    EXPECT_EQ(local.Bytes().substr(33),
              Hex("01 00 10 00 FF FF FF FF 00 00 00 00 FE FF FF FF 00 00 00 00"));
    EXPECT_EQ(entry.LocalHeaderSize(), static_cast<int>(local.Bytes().size()));

    // Central: only the overflowed value.
    entry.SetCompressedSize(5 * k4G);
    entry.SetRelativeOffset(6 * k4G);
    TMemoryStream central;
    entry.WriteCentralHeader(central, nullptr);
    const auto* c = reinterpret_cast<const unsigned char*>(central.Bytes().data());
    EXPECT_EQ(le::Get16(c + 6), 45);
    EXPECT_EQ(le::Get16(c + 30), 28);
    EXPECT_EQ(le::Get32(c + 42), 0xFFFFFFFFu);
    EXPECT_EQ(central.Bytes().substr(49),
              Hex("01 00 18 00 FF FF FF FF 00 00 00 00 00 00 00 00 05 00 00 00"
                  "00 00 00 00 06 00 00 00"));

    // And reads back to the same 64-bit values.
    central.SetPosition(0);
    TZipHeaderInfo back;
    ASSERT_TRUE(back.ReadCentralHeader(central));
    EXPECT_EQ(back.UncompressedSize(), 0xFFFFFFFFLL);
    EXPECT_EQ(back.CompressedSize(), 5 * k4G);
    EXPECT_EQ(back.RelativeOffset(), 6 * k4G);
    EXPECT_EQ(back.SavedZip64Length, 28);

    // Sizes that fit again drop the block from the central header.
    entry.SetUncompressedSize(10);
    entry.SetCompressedSize(10);
    entry.SetRelativeOffset(10);
    TMemoryStream small;
    entry.WriteCentralHeader(small, nullptr);
    EXPECT_EQ(small.Bytes().size(), 46u + 3);
    EXPECT_FALSE(entry.Zip64Info);
}

TEST(ZipRecords, ReservedLocalBlockKeepsTheHeaderLengthWhateverTheSizes) {
    EXPECT_FALSE(TZipHeaderInfo::MayNeedZip64(0xF0000000LL));
    EXPECT_TRUE(TZipHeaderInfo::MayNeedZip64(0xFFF00000LL));
    TZipHeaderInfo entry;
    entry.SetFileName("grow");
    entry.SetUncompressedSize(0xFFF00000LL);
    entry.ReserveLocalZip64();
    TMemoryStream out;
    entry.WriteLocalHeader(out);
    const size_t first = out.Bytes().size();
    // Deflated to more than 4 GiB, then shrunk below: the rewrite fits.
    for (int64_t compressed : {0x100000010LL, 0x1000LL}) {
        entry.SetCompressedSize(compressed);
        out.SetPosition(0);
        entry.WriteLocalHeader(out);
        EXPECT_EQ(out.Bytes().size(), first);
        out.SetPosition(0);
        TZipHeaderInfo back;
        ASSERT_TRUE(back.ReadLocalHeader(out));
        EXPECT_EQ(back.CompressedSize(), compressed);
        EXPECT_EQ(back.UncompressedSize(), 0xFFF00000LL);
    }
}

TEST(ZipRecords, LocalBlockCarriesBothSizesWhenOnlyTheCompressedOneOverflows) {
    // Incompressible data kept from another archive: deflate made it grow
    // past 4 GiB while the original stayed below.
    TZipHeaderInfo entry;
    entry.SetFileName("noise");
    entry.SetUncompressedSize(0xFFFFFFF0LL);
    entry.SetCompressedSize(k4G + 0x10);
    TMemoryStream local;
    entry.WriteLocalHeader(local);
    const auto* l = reinterpret_cast<const unsigned char*>(local.Bytes().data());
    // Extractors read a local block as both sizes, original first, with both
    // fields holding the sentinel.
    EXPECT_EQ(le::Get32(l + 18), 0xFFFFFFFFu);
    EXPECT_EQ(le::Get32(l + 22), 0xFFFFFFFFu);
    EXPECT_EQ(le::Get16(l + 28), 20);
    EXPECT_EQ(local.Bytes().substr(35),
              Hex("01 00 10 00 F0 FF FF FF 00 00 00 00 10 00 00 00 01 00 00 00"));
    EXPECT_EQ(entry.LocalHeaderSize(), static_cast<int>(local.Bytes().size()));
    local.SetPosition(0);
    TZipHeaderInfo back;
    ASSERT_TRUE(back.ReadLocalHeader(local));
    EXPECT_EQ(back.UncompressedSize(), 0xFFFFFFF0LL);
    EXPECT_EQ(back.CompressedSize(), k4G + 0x10);
    // The central header still names only the value that overflowed.
    EXPECT_EQ(entry.Zip64DataSize(true), 8);
}

TEST(ZipRecords, LocalHeaderBeyond4GiBRecordsItsOffsetInTheBlock) {
    test::ScratchDir dir;
    TFileStream file(dir / "sparse", fmCreate);
    ASSERT_EQ(file.Seek(5 * k4G, soBeginning), 5 * k4G);
    TZipHeaderInfo entry;
    entry.SetFileName("far");
    entry.WriteLocalHeader(file);
    EXPECT_EQ(entry.RelativeOffset32, 0xFFFFFFFFu);
    EXPECT_EQ(entry.RelativeOffset(), 5 * k4G);
    file.Seek(5 * k4G, soBeginning);
    TZipHeaderInfo back;
    ASSERT_TRUE(back.ReadLocalHeader(file));
    EXPECT_EQ(back.RelativeOffset(), 5 * k4G);
    EXPECT_EQ(back.FileName(), "far");
    EXPECT_EQ(file.Position(), 5 * k4G + 30 + 3);  // at the local extra field
}

TEST(ZipRecords, EndRecordGetsZip64RecordsOnlyForOverflowingValues) {
    TEndCentral end;
    end.SetEntriesOnThisDisk(65534);
    end.SetTotalEntries(65534);
    end.SetCentralDirSize(0xFFFFFFFE);
    end.SetCentralDirOffset(100);
    TMemoryStream plain;
    end.WriteEndRecord(plain);
    EXPECT_EQ(plain.Bytes(),
              Hex("50 4B 05 06 00 00 00 00 FE FF FE FF FE FF FF FF 64 00 00 00 00 00"));

    TEndCentral big;
    big.SetEntriesOnThisDisk(65535);
    big.SetTotalEntries(70000);
    big.SetCentralDirSize(1234);
    big.SetCentralDirOffset(0xFFFFFFFF);
    EXPECT_EQ(big.TotalEntries(), 70000u);
    EXPECT_EQ(big.CentralDirOffset(), 0xFFFFFFFFLL);
    TMemoryStream out;
    out.Write("xxxxxxxx", 8);
    big.WriteEndRecord(out);
    const std::string& b = out.Bytes();
    ASSERT_EQ(b.size(), 8u + 56 + 20 + 22);
    EXPECT_EQ(b.substr(8, 56),
              Hex("50 4B 06 06 2C 00 00 00 00 00 00 00 2D 00 2D 00 00 00 00 00 00 00 00 00"
                  "FF FF 00 00 00 00 00 00 70 11 01 00 00 00 00 00 D2 04 00 00 00 00 00 00"
                  "FF FF FF FF 00 00 00 00"));
    EXPECT_EQ(b.substr(64, 20), Hex("50 4B 06 07 00 00 00 00 08 00 00 00 00 00 00 00 01 00 00 00"));
    EXPECT_EQ(b.substr(84),
              Hex("50 4B 05 06 00 00 00 00 FF FF FF FF D2 04 00 00 FF FF FF FF 00 00"));

    // Once the values fit again the images are dropped.
    big.SetEntriesOnThisDisk(1);
    big.SetTotalEntries(1);
    big.SetCentralDirOffset(1);
    TMemoryStream again;
    big.WriteEndRecord(again);
    EXPECT_EQ(again.Bytes().size(), 22u);
    EXPECT_FALSE(big.Zip64EndRecord);
}

TEST(ZipRecords, CommentsAreWrittenAtTheirAnnouncedLength) {
    TEndCentral end;
    end.EndRecord.CommentLength = 5;  // announced but never loaded
    TMemoryStream unloaded;
    end.WriteEndRecord(unloaded);
    EXPECT_EQ(unloaded.Bytes().size(), 22u);
    EXPECT_EQ(unloaded.Bytes().substr(20), Hex("00 00"));
    end.ArchiveComment = std::string("ab\0cd", 5);
    TMemoryStream loaded;
    end.WriteEndRecord(loaded);
    EXPECT_EQ(loaded.Bytes().substr(20), Hex("05 00") + std::string("ab\0cd", 5));

    TZipHeaderInfo entry;
    entry.SetFileName("n");
    entry.FileCommentLength = 3;
    TMemoryStream central;
    entry.WriteCentralHeader(central, nullptr);
    EXPECT_EQ(central.Bytes().size(), 47u);
    EXPECT_EQ(central.Bytes().substr(32, 2), Hex("00 00"));
}

TEST(ZipRecords, ForeignExtraBlocksSurviveARewriteButNotAnAssign) {
    // A source archive whose central header has a timestamp block, an old
    // Zip64 block and a Unix block.
    const std::string timestamp = Hex("55 54 05 00 03 11 22 33 44");
    const std::string oldZip64 = Hex("01 00 08 00 00 00 00 00 01 00 00 00");
    const std::string unix = Hex("75 78 0B 00 01 04 E8 03 00 00 04 E8 03 00 00");
    TZipHeaderInfo original;
    original.SetFileName("f");
    original.SetUncompressedSize(k4G);
    TMemoryStream source;
    original.WriteCentralHeader(source, nullptr);
    std::string& bytes = source.Bytes();
    const std::string extra = timestamp + oldZip64 + unix;
    bytes = bytes.substr(0, 30) + Hex("24 00") + bytes.substr(32, 15) + extra;

    source.SetPosition(0);
    TZipHeaderInfo read;
    ASSERT_TRUE(read.ReadCentralHeader(source));
    EXPECT_EQ(read.UncompressedSize(), k4G);
    EXPECT_EQ(read.SavedExtraLength, extra.size());
    EXPECT_EQ(read.SavedZip64Length, 12);
    EXPECT_EQ(source.Position(), 47);

    read.SetUncompressedSize(3 * k4G);
    TMemoryStream rewritten;
    read.WriteCentralHeader(rewritten, &source);
    EXPECT_EQ(rewritten.Bytes().substr(47),
              timestamp + unix + Hex("01 00 08 00 00 00 00 00 03 00 00 00"));
    EXPECT_EQ(read.CentralExtraLength, timestamp.size() + unix.size() + 12);

    TZipHeaderInfo copy;
    copy.Assign(read);
    TMemoryStream copied;
    copy.WriteCentralHeader(copied, &source);
    EXPECT_EQ(copied.Bytes().substr(47), Hex("01 00 08 00 00 00 00 00 03 00 00 00"));
}

TEST(ZipRecords, ReadingRepairsImpossibleDatesPartByPart) {
    EXPECT_EQ(CheckDosDateTime(0x5A2B6C3D), 0x5A2B6C3Du);
    // Seconds 31, minutes 63, hours 31 -> 29, 59, 23; the date stays.
    EXPECT_EQ(CheckDosDateTime(0x5A2BFFFF), 0x5A2BBF7Du);
    // Day 0 -> 1, month 0 -> 1, year 127 -> 119.
    EXPECT_EQ(CheckDosDateTime(0xFE000000), 0xEE210000u);
    // Month 13 -> 12.
    EXPECT_EQ(CheckDosDateTime((13u << 21) | (5u << 16)), (12u << 21) | (5u << 16));

    TZipHeaderInfo entry;
    entry.SetFileName("d");
    entry.LastModFileDateTime = 0xFFFFFFFF;
    TMemoryStream out;
    entry.WriteCentralHeader(out, nullptr);
    out.SetPosition(0);
    TZipHeaderInfo back;
    ASSERT_TRUE(back.ReadCentralHeader(out));
    EXPECT_EQ(back.LastModFileDateTime, 0xEF9FBF7Du);  // 2099-12-31 23:59:58
}

TEST(ZipRecords, ReadersRefuseWhatIsNoHeaderAndStayPut) {
    TZipHeaderInfo entry;
    entry.SetFileName("name.txt");
    TMemoryStream out;
    out.Write("junk", 4);
    entry.WriteCentralHeader(out, nullptr);
    TZipHeaderInfo probe;
    out.SetPosition(0);
    EXPECT_FALSE(probe.ReadCentralHeader(out));
    EXPECT_EQ(out.Position(), 0);
    out.SetPosition(4);
    EXPECT_FALSE(probe.ReadLocalHeader(out));
    EXPECT_EQ(out.Position(), 4);
    // Cut inside the name.
    out.Bytes().resize(4 + 46 + 3);
    out.SetPosition(4);
    EXPECT_FALSE(probe.ReadCentralHeader(out));
    EXPECT_EQ(out.Position(), 4);
}

}  // namespace
}  // namespace qm
