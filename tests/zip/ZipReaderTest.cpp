// Reading the directories of archives made by other tools, of damaged
// archives, and of files that are no archives at all.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <sstream>

#include "support/TestSupport.h"
#include "zip/Crc32.h"
#include "zip/MemoryStream.h"
#include "zip/ZipExceptions.h"
#include "zip/ZipReader.h"

namespace qm {
namespace {

using test::Quote;

const char* const kListScript = R"(import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
for i in z.infolist():
    print("%s|%08x|%d|%d|%d|%s" % (i.filename, i.CRC, i.compress_size, i.file_size, i.header_offset, i.extra.hex()))
print("comment|" + z.comment.hex())
)";

std::string ToHex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// Listed, so that the archive order does not depend on the file system.
const char* const kTreeFiles = " mimetype META-INF/container.xml OEBPS/0.html";

class ZipReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::MakeDirs(dir_ / "tree/META-INF");
        test::MakeDirs(dir_ / "tree/OEBPS");
        test::WriteFile(dir_ / "tree/mimetype", "application/epub+zip");
        test::WriteFile(dir_ / "tree/META-INF/container.xml", std::string(300, 'c'));
        std::string page;
        for (int i = 0; i < 400; ++i) page += "line " + std::to_string(i) + "\n";
        test::WriteFile(dir_ / "tree/OEBPS/0.html", page);
        test::WriteFile(dir_ / "list.py", kListScript);
    }

    std::string Path(const std::string& name) const { return dir_ / name; }

    void Shell(const std::string& command) {
        const test::CommandResult result = test::Run(command);
        ASSERT_EQ(result.exitCode, 0) << command << "\n" << result.err;
    }

    void Python(const std::string& script) {
        test::WriteFile(dir_ / "make.py", script);
        Shell("cd " + Quote(dir_.Path()) + " && python3 make.py");
    }

    std::string PythonListing(const std::string& archive) {
        const test::CommandResult result =
            test::Run("python3 " + Quote(dir_ / "list.py") + " " + Quote(archive));
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result.out;
    }

    // The same listing from the reader, the extra bytes taken where the
    // reader says the central extra field lies.
    static std::string ReaderListing(TZipReader& reader) {
        reader.LoadArchiveComment();
        const std::string bytes = test::ReadFile(reader.ZipName());
        std::ostringstream out;
        const TSortedZip& entries = *reader.LoadedDirectory();
        for (int i = 0; i < entries.Count(); ++i) {
            const TZipHeaderInfo& e = *entries[i];
            char crc[9];
            std::snprintf(crc, sizeof crc, "%08x", e.Crc32);
            out << e.StoredName() << "|" << crc << "|" << e.CompressedSize() << "|"
                << e.UncompressedSize() << "|" << e.RelativeOffset() << "|"
                << ToHex(
                       bytes.substr(static_cast<size_t>(e.SavedExtraPosition), e.SavedExtraLength))
                << "\n";
        }
        out << "comment|" << ToHex(reader.EndCentral().ArchiveComment.value_or("")) << "\n";
        return out.str();
    }

    static std::unique_ptr<TZipReader> Open(const std::string& path,
                                            TIncompleteZipMode mode = izAssumeMulti) {
        auto reader = std::make_unique<TZipReader>();
        reader->SetZipName(path);
        reader->SetIncompleteZipMode(mode);
        reader->OpenArchive();
        return reader;
    }

    test::ScratchDir dir_;
};

TEST_F(ZipReaderTest, ArchivesOfOtherToolsReadAsPythonReadsThem) {
    const std::string tree = Quote(dir_ / "tree");
    const std::string infozip = Path("infozip.zip");
    Shell("cd " + tree + " && zip -q -r " + Quote(infozip) +
          " . && printf 'shelf copy\\n' | zip -q -z " + Quote(infozip));
    const std::string sevenzip = Path("7zz.zip");
    Shell("cd " + tree + " && 7zz a -tzip " + Quote(sevenzip) + " . >/dev/null");
    const std::string bsdtar = Path("bsdtar.zip");
    Shell("cd " + tree + " && bsdtar --format zip -cf " + Quote(bsdtar) + " .");
    Python(R"(import zipfile
with zipfile.ZipFile("python.zip", "w", zipfile.ZIP_DEFLATED) as z:
    for name in ["mimetype", "META-INF/container.xml", "OEBPS/0.html"]:
        with z.open(name, "w", force_zip64=True) as f:
            f.write(open("tree/" + name, "rb").read())
    z.comment = b"python comment"
)");
    for (const std::string& archive : {infozip, sevenzip, bsdtar, Path("python.zip")}) {
        SCOPED_TRACE(archive);
        auto reader = Open(archive);
        EXPECT_GE(reader->Count(), 3);
        EXPECT_EQ(ReaderListing(*reader), PythonListing(archive));
    }
    EXPECT_EQ(Open(infozip)->EndCentral().EndRecord.CommentLength, 10);
}

TEST_F(ZipReaderTest, ForeignExtraBlocksSurviveARewrittenCentralDirectory) {
    const std::string archive = Path("extras.zip");
    Shell("cd " + Quote(dir_ / "tree") + " && zip -q -r " + Quote(archive) + " .");
    auto reader = Open(archive);
    TBufferedFileStream source(archive, fmOpenRead);
    int withExtras = 0;
    for (int i = 0; i < reader->Count(); ++i) {
        auto& entry = const_cast<TZipHeaderInfo&>(reader->Entry(i));
        const std::string original =
            test::ReadFile(archive).substr(static_cast<size_t>(entry.CentralOffset),
                                           46 + entry.FileNameLength + entry.CentralExtraLength);
        TMemoryStream out;
        entry.WriteCentralHeader(out, &source);
        // Identical apart from the version needed, which the writer sets.
        EXPECT_EQ(out.Bytes().substr(0, 6), original.substr(0, 6));
        EXPECT_EQ(out.Bytes().substr(6, 2), test::Hex("14 00"));
        EXPECT_EQ(ToHex(out.Bytes().substr(8)), ToHex(original.substr(8))) << entry.StoredName();
        withExtras += entry.SavedExtraLength > 0 ? 1 : 0;
    }
    EXPECT_GE(withExtras, 3);  // Info-ZIP adds time and owner blocks
}

TEST_F(ZipReaderTest, CommentsUpToTheLongestAndEndSignaturesInsideThem) {
    Python(R"(import zipfile
def make(name, comment):
    with zipfile.ZipFile(name, "w") as z:
        z.writestr("a.txt", b"alpha")
        z.comment = comment
make("longest.zip", bytes(range(256)) * 255 + b"x" * 255)
make("late.zip", b"note PK\x05\x06" + bytes(18))
make("short.zip", b"note PK\x05\x06" + bytes(17))
)");
    auto longest = Open(Path("longest.zip"));
    longest->LoadArchiveComment();
    EXPECT_EQ(longest->Count(), 1);
    ASSERT_EQ(longest->EndCentral().ArchiveComment->size(), 65535u);
    EXPECT_EQ(longest->EndCentral().ArchiveComment->substr(0, 3), std::string("\0\1\2", 3));

    // 18 bytes after the signature inside the comment: that one is taken
    // for the end record (it announces no entries).
    auto late = Open(Path("late.zip"));
    const int64_t size = static_cast<int64_t>(test::ReadFile(Path("late.zip")).size());
    EXPECT_EQ(late->Count(), 0);
    EXPECT_EQ(late->EndCentral().CommentPosition, size);
    // 17 bytes: too short to be one, the real record wins.
    auto real = Open(Path("short.zip"));
    EXPECT_EQ(real->Count(), 1);
}

TEST_F(ZipReaderTest, FilesWithoutEndRecordFailByTheIncompleteMode) {
    auto empty = (test::WriteFile(Path("empty.zip"), ""), Open(Path("empty.zip")));
    EXPECT_EQ(empty->Count(), 0);
    ASSERT_NE(empty->LoadedDirectory(), nullptr);

    const std::string endRecord = test::Hex("50 4B 05 06") + std::string(18, '\0');
    for (size_t length = 1; length <= 21; ++length) {
        test::WriteFile(Path("short.zip"), endRecord.substr(0, length));
        TZipReader reader;
        reader.SetZipName(Path("short.zip"));
        try {
            reader.OpenArchive();
            FAIL() << length << " bytes read as an archive";
        } catch (const EIncompleteZip& error) {
            EXPECT_EQ(error.Message(), "Incomplete Zip File");
        }
        EXPECT_EQ(reader.LoadedDirectory(), nullptr);
    }

    test::WriteFile(Path("text.zip"), std::string(5000, 't'));
    try {
        Open(Path("text.zip"), izAssumeNotAZip);
        FAIL();
    } catch (const ENotAZipFile& error) {
        EXPECT_EQ(error.Message(), "Not a valid zip file!");
    }
    TZipReader bad;
    bad.SetZipName(Path("text.zip"));
    bad.SetIncompleteZipMode(izAssumeBad);
    EXPECT_THROW(bad.OpenArchive(), EBadZipFile);
    EXPECT_EQ(bad.ZipName(), "");  // the archive was closed
    EXPECT_EQ(bad.LoadedDirectory(), nullptr);

    // The handler decides for this read.
    TZipReader asked;
    asked.SetZipName(Path("text.zip"));
    int calls = 0;
    asked.OnInCompleteZip = [&calls](TZipReader&, TIncompleteZipMode& mode) {
        ++calls;
        mode = izAssumeNotAZip;
    };
    EXPECT_THROW(asked.OpenArchive(), ENotAZipFile);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(asked.IncompleteZipMode(), izAssumeMulti);
}

TEST_F(ZipReaderTest, DamagedDirectoriesAreRebuiltFromLocalHeaders) {
    const std::string archive = Path("good.zip");
    Shell("cd " + Quote(dir_ / "tree") + " && zip -q -D " + Quote(archive) + kTreeFiles);
    auto good = Open(archive);
    ASSERT_EQ(good->Count(), 3);
    const std::string bytes = test::ReadFile(archive);
    const size_t central = bytes.find("PK\x01\x02");
    const size_t second = bytes.find("PK\x01\x02", central + 4);
    const std::string expected = PythonListing(archive);

    // No end record at all.
    test::WriteFile(Path("noend.zip"), bytes.substr(0, bytes.rfind("PK\x05\x06")));
    EXPECT_THROW(Open(Path("noend.zip")), EIncompleteZip);
    auto noEnd = Open(Path("noend.zip"), izAssumeBad);
    EXPECT_TRUE(noEnd->Rebuilding());
    ASSERT_EQ(noEnd->Count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(noEnd->Entry(i).StoredName(), good->Entry(i).StoredName());
        EXPECT_EQ(noEnd->Entry(i).ExternalAttributes, good->Entry(i).ExternalAttributes);
    }

    // Second central header overwritten: the first and third keep their
    // central fields, the second has only what its local header says and is
    // named as such.
    std::string broken = bytes;
    broken.replace(second, 4, "XXXX");
    test::WriteFile(Path("broken.zip"), broken);
    auto rebuilt = Open(Path("broken.zip"));
    ASSERT_EQ(rebuilt->Count(), 3);
    EXPECT_EQ(rebuilt->Entry(0).ExternalAttributes, good->Entry(0).ExternalAttributes);
    EXPECT_NE(rebuilt->Entry(0).ExternalAttributes, 0u);
    EXPECT_EQ(rebuilt->Entry(1).ExternalAttributes, 0u);
    EXPECT_EQ(rebuilt->Entry(2).ExternalAttributes, good->Entry(2).ExternalAttributes);
    EXPECT_EQ(rebuilt->UnrecoveredAttributes(),
              std::vector<std::string>{good->Entry(1).StoredName()});
    EXPECT_NE(rebuilt->RepairReport().find(good->Entry(1).StoredName()), std::string::npos);
    EXPECT_EQ(good->RepairReport(), "");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rebuilt->Entry(i).StoredName(), good->Entry(i).StoredName());
        EXPECT_EQ(rebuilt->Entry(i).Crc32, good->Entry(i).Crc32);
        EXPECT_EQ(rebuilt->Entry(i).CompressedSize(), good->Entry(i).CompressedSize());
        EXPECT_EQ(rebuilt->Entry(i).RelativeOffset(), good->Entry(i).RelativeOffset());
    }

    // Truncated in the middle of the directory: only local headers remain.
    test::WriteFile(Path("cut.zip"), bytes.substr(0, central + 20));
    auto cut = Open(Path("cut.zip"), izAssumeBad);
    EXPECT_EQ(cut->Count(), 3);

    // A rebuilt archive that changes is read afresh: repaired meanwhile it
    // is no rebuild, damaged again it is rebuilt again.
    const auto rewrite = [&](const std::string& content, time_t when) {
        test::WriteFile(Path("noend.zip"), content);
        struct utimbuf times {
            when, when
        };
        ::utime(Path("noend.zip").c_str(), &times);
        noEnd->ReleaseReadHandle();
        noEnd->OpenArchive();
    };
    rewrite(bytes, 1000000000);
    EXPECT_FALSE(noEnd->Rebuilding());
    EXPECT_EQ(noEnd->Count(), 3);
    rewrite(bytes.substr(0, central + 20), 1100000000);
    EXPECT_TRUE(noEnd->Rebuilding());
    EXPECT_EQ(noEnd->Count(), 3);
}

// A streamed, deflated entry with no data at all (an empty file some writers
// leave so) is rebuilt from the descriptor right behind its header.
TEST_F(ZipReaderTest, AnEmptyStreamedEntryWithoutDeflateDataIsRebuilt) {
    std::string bytes;
    auto le = [&bytes](uint64_t value, int width) {
        for (int i = 0; i < width; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    auto local = [&](uint16_t flags, uint16_t method, uint32_t crc, uint32_t size, char name) {
        le(0x04034b50, 4), le(20, 2), le(flags, 2), le(method, 2), le(0, 2), le(0x21, 2);
        le(crc, 4), le(size, 4), le(size, 4), le(1, 2), le(0, 2);
        bytes += name;
    };
    local(0x0008, 8, 0, 0, 'e');
    le(0x08074b50, 4), le(0, 4), le(0, 4), le(0, 4);
    local(0, 0, Crc32Of("hi", 2), 2, 's');
    bytes += "hi";
    test::WriteFile(Path("empty.zip"), bytes);
    auto rebuilt = Open(Path("empty.zip"), izAssumeBad);
    ASSERT_EQ(rebuilt->Count(), 2);
    EXPECT_EQ(rebuilt->Entry(0).StoredName(), "e");
    EXPECT_EQ(rebuilt->Entry(0).UncompressedSize(), 0);
    EXPECT_EQ(rebuilt->Entry(1).StoredName(), "s");
}

TEST_F(ZipReaderTest, Zip64LocalBlocksGiveTheSizesOfARebuild) {
    Python(R"(import zipfile
with zipfile.ZipFile("z64.zip", "w", zipfile.ZIP_DEFLATED) as z:
    with z.open("OEBPS/0.html", "w", force_zip64=True) as f:
        f.write(open("tree/OEBPS/0.html", "rb").read())
data = open("z64.zip", "rb").read()
open("z64cut.zip", "wb").write(data[:data.find(b"PK\x01\x02")])
)");
    auto whole = Open(Path("z64.zip"));
    auto cut = Open(Path("z64cut.zip"), izAssumeBad);
    ASSERT_EQ(cut->Count(), 1);
    EXPECT_EQ(cut->Entry(0).CompressedSize(), whole->Entry(0).CompressedSize());
    EXPECT_EQ(cut->Entry(0).UncompressedSize(), whole->Entry(0).UncompressedSize());
    EXPECT_EQ(cut->Entry(0).UncompressedSize32, 0xFFFFFFFFu);
}

TEST_F(ZipReaderTest, RebuildScanLooksForCancelEvery10240Bytes) {
    // The scan ends 6 bytes before the end: 10245 bytes reach one check,
    // 10240 + 5 none.
    for (const size_t size : {size_t{10245}, size_t{10246}}) {
        SCOPED_TRACE(size);
        test::WriteFile(Path("junk.zip"), std::string(size, 'P'));
        TZipReader reader;
        reader.SetZipName(Path("junk.zip"));
        reader.SetIncompleteZipMode(izAssumeBad);
        reader.SetCancel(true);
        if (size == 10245) {
            EXPECT_THROW(reader.OpenArchive(), EBadZipFile);
            continue;
        }
        try {
            reader.OpenArchive();
            FAIL();
        } catch (const EUserCanceled& error) {
            EXPECT_EQ(error.Message(), "User Aborted Operation");
        }
        // The request is used up: the next read runs to its end.
        reader.SetZipName(Path("junk.zip"));
        EXPECT_THROW(reader.OpenArchive(), EBadZipFile);
    }
}

TEST_F(ZipReaderTest, SelfExtractorNamesScanFrom14000) {
    const std::string archive = Path("plain.zip");
    Shell("cd " + Quote(dir_ / "tree") + " && zip -q -D " + Quote(archive) + kTreeFiles);
    // A stub with a plausible local header of its own, then the archive
    // whose offsets were not adjusted, without its end record.
    std::string stub(15000, '\0');
    const std::string fake = test::Hex(
                                 "50 4B 03 04 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
                                 "00 00 00 00 00 00 03 00 00 00") +
                             "bad";
    stub.replace(100, fake.size(), fake);
    const std::string bytes = test::ReadFile(archive);
    const std::string body = stub + bytes.substr(0, bytes.rfind("PK\x05\x06"));
    test::WriteFile(Path("book.EXE"), body);
    test::WriteFile(Path("book.zip"), body);

    auto exe = Open(Path("book.EXE"), izAssumeBad);
    auto plain = Open(archive);
    ASSERT_EQ(exe->Count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(exe->Entry(i).RelativeOffset(), 15000 + plain->Entry(i).RelativeOffset());
        EXPECT_EQ(exe->Entry(i).StoredName(), plain->Entry(i).StoredName());
    }
    auto zip = Open(Path("book.zip"), izAssumeBad);
    ASSERT_GE(zip->Count(), 1);
    EXPECT_EQ(zip->Entry(0).StoredName(), "bad");
}

TEST_F(ZipReaderTest, MissingExtraFieldIsRetriedWithout) {
    const std::string archive = Path("noextra.zip");
    Shell("cd " + Quote(dir_ / "tree") + " && zip -q -D -X " + Quote(archive) + kTreeFiles);
    std::string bytes = test::ReadFile(archive);
    const size_t central = bytes.find("PK\x01\x02");
    bytes[central + 30] = 12;  // announces an extra field that is not there
    test::WriteFile(archive, bytes);
    auto reader = Open(archive);
    EXPECT_FALSE(reader->Rebuilding());
    ASSERT_EQ(reader->Count(), 3);
    EXPECT_EQ(reader->Entry(0).CentralExtraLength, 0);
    EXPECT_EQ(reader->Entry(2).StoredName(), "OEBPS/0.html");
}

TEST_F(ZipReaderTest, SideFileHoldsTheDirectoryOfAnArchiveWithoutEnd) {
    const std::string archive = Path("parts.zip");
    Shell("cd " + Quote(dir_ / "tree") + " && zip -q -D " + Quote(archive) + kTreeFiles);
    const std::string bytes = test::ReadFile(archive);
    const size_t central = bytes.find("PK\x01\x02");
    test::WriteFile(archive, bytes.substr(0, central));
    test::WriteFile(Path("parts.zfc"), bytes.substr(central));
    TZipReader reader;
    reader.SetZipName(archive);
    reader.SetKeepZipOpen(true);
    reader.OpenArchive();
    ASSERT_EQ(reader.Count(), 3);
    EXPECT_FALSE(reader.Rebuilding());
    EXPECT_EQ(reader.Entry(2).StoredName(), "OEBPS/0.html");
    EXPECT_EQ(reader.Entry(0).SavedExtraLength, 0);  // its position means nothing here
    reader.ReleaseReadHandle();
    EXPECT_TRUE(reader.IsOpen());
}

TEST_F(ZipReaderTest, ManyEntriesUseTheZip64EndRecord) {
    Python(R"(import zipfile
with zipfile.ZipFile("many.zip", "w") as z:
    for i in range(65537):
        z.writestr("f%d" % i, b"")
)");
    const std::string bytes = test::ReadFile(Path("many.zip"));
    ASSERT_NE(bytes.find("PK\x06\x07"), std::string::npos);
    auto reader = Open(Path("many.zip"));
    EXPECT_EQ(reader->EndCentral().EndRecord.TotalEntries, 0xFFFF);
    EXPECT_EQ(reader->EndCentral().TotalEntries(), 65537u);
    ASSERT_EQ(reader->Count(), 65537);
    EXPECT_EQ(reader->Entry(65536).FileName(), "f65536");
}

TEST_F(ZipReaderTest, NameDirectoryReuseViewsAndCancel) {
    const std::string archive = Path("a.zip");
    Shell("cd " + Quote(dir_ / "tree") + " && zip -q -D " + Quote(archive) + kTreeFiles);
    TZipReader reader;
    EXPECT_THROW(reader.SetZipName(Path("a.zip?")), EUserCanceled);
    reader.SetZipName(archive);
    reader.OpenArchive();
    // Same file date: the directory is reused, so no header is read and
    // the cancel request, looked at before each, stays pending.
    reader.SetCancel(true);
    reader.OpenArchive();
    EXPECT_TRUE(reader.Cancel());

    reader.SetZipName(archive);  // the same name changes nothing
    ASSERT_NE(reader.LoadedDirectory(), nullptr);
    struct utimbuf older {
        1000000000, 1000000000
    };
    ::utime(archive.c_str(), &older);
    EXPECT_THROW(reader.OpenArchive(), EUserCanceled);  // the date moved: read again
    reader.OpenArchive();
    EXPECT_EQ(reader.EntryDateTime(0), reader.EntryDateTime(0));
    try {
        reader.EntryDateTime(3);
        FAIL();
    } catch (const EListError& error) {
        EXPECT_EQ(error.Message(), "Index 3 is out of range");
    }

    reader.SortView(ByName);
    EXPECT_EQ(reader.SortMode(), ByName);
    EXPECT_EQ(reader.Entry(0).StoredName(), "META-INF/container.xml");
    EXPECT_EQ(reader.Entry(1).StoredName(), "mimetype");
    EXPECT_EQ(reader.LoadedDirectory()->SortMode(), ByNone);

    reader.SetZipName(Path("A.zip"));  // another file on this system
    EXPECT_EQ(reader.LoadedDirectory(), nullptr);
    reader.SetZipName(archive);
    reader.SetCancel(true);
    EXPECT_THROW(reader.OpenArchive(), EUserCanceled);
    EXPECT_FALSE(reader.Cancel());
    EXPECT_EQ(reader.LoadedDirectory(), nullptr);
    reader.OpenArchive();
    EXPECT_EQ(reader.Count(), 3);
    reader.CloseArchive();
    EXPECT_EQ(reader.ZipName(), "");
    EXPECT_FALSE(reader.IsOpen());
}

}  // namespace
}  // namespace qm
