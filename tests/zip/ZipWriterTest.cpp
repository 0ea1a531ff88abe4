// The archive writer that takes values: entries from memory and from disk,
// a stop request, a source that changes while it is read, and a writer that
// goes without committing. Real clients judge the archives.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <random>
#include <tuple>

#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "zip/ArchiveBytes.h"
#include "zip/DeflatedData.h"
#include "zip/ZipReader.h"
#include "zip/ZipWriter.h"

namespace qm {
namespace {

using test::InspectArchive;
using test::ScratchDir;
using test::WriteFile;

std::string Text(size_t size) {
    std::mt19937 random(5);
    std::string text;
    while (text.size() < size) text += "第" + std::to_string(random() % 97) + "章 海风. ";
    return text.substr(0, size);
}

std::unique_ptr<TZipWriter> Writer(const std::string& target, TZipWriterOptions options = {}) {
    TZipResult<std::unique_ptr<TZipWriter>> writer = TZipWriter::Create(target, std::move(options));
    if (!writer) {
        ADD_FAILURE() << writer.Error().message;
        return nullptr;
    }
    return std::move(*writer);
}

bool Commit(TZipWriter& writer) {
    TEndCentral end;
    const TZipResult<std::unique_ptr<TSortedZip>> done = writer.Commit(end, nullptr);
    if (!done) ADD_FAILURE() << done.Error().message;
    return static_cast<bool>(done);
}

TEST(ZipWriter, BytesAndFilesGiveTheSameRecords) {
    // Sizes on both sides of the bound below which zlib packs; a stored one.
    ScratchDir dir;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"mimetype", "application/epub+zip"},
        {"OEBPS/a.xhtml", Text(5000)},
        {"OEBPS/big.xhtml", Text(200000)},
        {"OEBPS/empty.css", ""}};
    for (const TPacking packing : {TPacking::DeflateAsStreamed, TPacking::Deflate}) {
        SCOPED_TRACE(static_cast<int>(packing));
        auto disk = Writer(dir / "disk.zip");
        auto memory = Writer(dir / "memory.zip");
        ASSERT_TRUE(disk && memory);
        for (const auto& [name, bytes] : files) {
            TEntryValues values;
            values.name = name;
            values.dosDateTime = 0x5A210000;
            values.attributes = faArchive;
            values.packing = name == "mimetype" ? TPacking::Store : packing;
            WriteFile(dir / "file", bytes);
            EXPECT_TRUE(disk->AddFile(values, dir / "file"));
            EXPECT_TRUE(memory->AddBytes(values, bytes));
        }
        ASSERT_TRUE(Commit(*disk) && Commit(*memory));
        const test::ArchiveView d = InspectArchive(dir / "disk.zip");
        const test::ArchiveView m = InspectArchive(dir / "memory.zip");
        ASSERT_EQ(m.entries.size(), files.size());
        for (size_t k = 0; k < files.size(); ++k) {
            const auto& a = d.entries[k];
            const auto& b = m.entries[k];
            EXPECT_EQ(b.name, files[k].first);
            EXPECT_EQ(std::tie(a.name, a.method, a.flags, a.dosTime, a.crc, a.uncompressedSize,
                               a.compressedSize, a.external, a.versionMadeBy),
                      std::tie(b.name, b.method, b.flags, b.dosTime, b.crc, b.uncompressedSize,
                               b.compressedSize, b.external, b.versionMadeBy));
        }
        EXPECT_EQ(m.bytes, d.bytes);
        EXPECT_EQ(test::Run("unzip -tq " + test::Quote(dir / "memory.zip")).exitCode, 0);
        EXPECT_EQ(test::Run("7zz t " + test::Quote(dir / "memory.zip")).exitCode, 0);
    }
    // Below the bound, libdeflate and zlib make different streams of one text.
    auto zlib = Writer(dir / "zlib.zip");
    auto deflate = Writer(dir / "libdeflate.zip");
    TEntryValues values;
    values.name = "a";
    values.dosDateTime = 0x5A210000;
    values.packing = TPacking::DeflateAsStreamed;
    EXPECT_TRUE(zlib->AddBytes(values, Text(20000)));
    values.packing = TPacking::Deflate;
    EXPECT_TRUE(deflate->AddBytes(values, Text(20000)));
    ASSERT_TRUE(Commit(*zlib) && Commit(*deflate));
    EXPECT_NE(test::ReadFile(dir / "zlib.zip"), test::ReadFile(dir / "libdeflate.zip"));
    EXPECT_EQ(test::PythonZipCheck(dir / "libdeflate.zip").exitCode, 0);
}

TEST(ZipWriter, DataDeflatedAheadGivesTheEntriesOfBytes) {
    // One call, one call below zlib's bound, and pieces; whole or piece by
    // piece, the archive is the one AddBytes writes.
    ScratchDir dir;
    const std::string big = Text(kSplitDeflateMin + 1500000);
    const std::pair<TPacking, std::string_view> cases[] = {
        {TPacking::DeflateAsStreamed, std::string_view(big).substr(0, 5000)},
        {TPacking::Deflate, std::string_view(big).substr(0, 5000)},
        {TPacking::DeflateAsStreamed, std::string_view(big).substr(0, 200000)},
        {TPacking::DeflateAsStreamed, big}};
    for (const auto& [packing, text] : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(packing) << " " << text.size());
        const bool cut = DeflatePieceCount(text, packing) > 0;
        EXPECT_EQ(cut, static_cast<int64_t>(text.size()) >= kSplitDeflateMin);
        std::vector<TDeflatedData> pieces;
        for (size_t k = 0; k < DeflatePieceCount(text, packing); ++k)
            pieces.push_back(DeflateAheadPiece(text, k, 6));
        auto bytes = Writer(dir / "bytes.zip");
        auto ahead = Writer(dir / "ahead.zip");
        ASSERT_TRUE(bytes && ahead);
        TEntryValues values;
        values.dosDateTime = 0x5A210000;
        values.packing = packing;
        for (const char* name : {"a.html", "b.html"}) {
            values.name = name;
            EXPECT_TRUE(bytes->AddBytes(values, std::string(text)));
        }
        values.name = "a.html";
        std::optional<TDeflatedData> whole = DeflateAhead(text, packing, 6);
        ASSERT_TRUE(whole);
        EXPECT_TRUE(ahead->AddDeflated(values, std::move(*whole)));
        values.name = "b.html";
        EXPECT_TRUE(ahead->AddDeflated(
            values, cut ? JoinDeflatedPieces(std::move(pieces)) : *DeflateAhead(text, packing, 6)));
        ASSERT_TRUE(Commit(*bytes) && Commit(*ahead));
        EXPECT_EQ(test::ReadFile(dir / "ahead.zip"), test::ReadFile(dir / "bytes.zip"));
    }
    EXPECT_EQ(test::PythonZipCheck(dir / "ahead.zip").exitCode, 0);
    EXPECT_FALSE(DeflateAhead("abc", TPacking::Store, 6));
    // Flags that say level 6 over data made at level 9 would mislead.
    auto writer = Writer(dir / "other.zip");
    TEntryValues values;
    values.name = "a";
    EXPECT_FALSE(writer->AddDeflated(values, *DeflateAhead("abc", TPacking::Deflate, 9)));
}

TEST(ZipWriter, NothingTakesTheTargetsPlaceWithoutCommit) {
    ScratchDir dir;
    const std::string target = dir / "book.epub";
    WriteFile(target, "earlier book");
    TEntryValues values;
    values.name = "a";
    {
        auto writer = Writer(target);
        ASSERT_TRUE(writer);
        EXPECT_TRUE(writer->AddBytes(values, "abc"));
    }
    EXPECT_EQ(test::ReadFile(target), "earlier book");
    EXPECT_EQ(test::Run("ls -A " + test::Quote(dir.Path())).out, "book.epub\n");

    // A stop request ends the run with the component's text; every later
    // call says the same, and the target stays.
    TZipWriterOptions options;
    options.stopRequested = [] { return true; };
    auto stopped = Writer(target, std::move(options));
    ASSERT_TRUE(stopped);
    // Heard once the entry's data is written: at the latest when committing.
    const TZipStatus first = stopped->AddBytes(values, std::string(200000, 'x'));
    TEndCentral end;
    const auto committed = stopped->Commit(end, nullptr);
    ASSERT_FALSE(committed);
    EXPECT_EQ(committed.Error().kind, TZipError::Kind::Canceled);
    EXPECT_EQ(committed.Error().message, "User Aborted Operation");
    if (!first) {
        EXPECT_EQ(first.Error().message, "User Aborted Operation");
    }
    const TZipStatus later = stopped->AddBytes(values, "abc");
    ASSERT_FALSE(later);
    EXPECT_EQ(later.Error().message, "User Aborted Operation");
    stopped.reset();
    EXPECT_EQ(test::ReadFile(target), "earlier book");

    // A file that cannot be opened is the caller's to skip: the writer goes on.
    auto writer = Writer(target);
    const TZipStatus missing = writer->AddFile(values, dir / "missing");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.Error().kind, TZipError::Kind::OpenFailed);
    EXPECT_TRUE(writer->AddBytes(values, "abc"));
    ASSERT_TRUE(Commit(*writer));
    EXPECT_EQ(test::PythonZipCheck(target).out, "1\n");
}

TEST(ZipWriter, CopiesStopAndLeaveTheTarget) {
    // A kept entry copied raw from an archive: whole when undisturbed; a stop
    // request while it is copied leaves the target as it was.
    ScratchDir dir;
    const std::string source = dir / "old.zip";
    {
        auto writer = Writer(source);
        TEntryValues values;
        values.name = "a.bin";
        ASSERT_TRUE(writer->AddBytes(values, Text(300000)));
        ASSERT_TRUE(Commit(*writer));
    }
    const std::string before = test::ReadFile(source);
    TZipReader reader;
    reader.SetZipName(source);
    reader.OpenArchive();
    const TZipHeaderInfo& old = reader.Entry(0);
    for (const bool stop : {false, true}) {
        SCOPED_TRACE(stop);
        TBufferedFileStream in(source, fmOpenRead | fmShareDenyNone);
        TZipWriterOptions options;
        options.stopRequested = [stop] { return stop; };
        auto writer = Writer(dir / "copy.zip", std::move(options));
        const TZipStatus copied = writer->CopyEntry(in, old);
        if (stop) {
            ASSERT_FALSE(copied);
            EXPECT_EQ(copied.Error().kind, TZipError::Kind::Canceled);
            writer.reset();
            EXPECT_EQ(test::ReadFile(dir / "copy.zip"), before);
            continue;
        }
        ASSERT_TRUE(copied);
        ASSERT_TRUE(Commit(*writer));
        EXPECT_EQ(test::ReadFile(dir / "copy.zip"), before);  // a copy, byte for byte
    }
}

TEST(ZipWriter, ASourceThatChangesWhileItIsRead) {
    ScratchDir dir;
    const std::string path = dir / "log";
    std::mt19937 random(6);
    std::string noise(200000, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    struct Case {
        off_t truncatedTo;
        const char* failure;  // null: the run succeeds
    };
    // Shorter: warned, and the entry holds what was read. Past 4 GiB (sparse,
    // nothing written to disk): the run fails.
    for (const Case c : {Case{70000, nullptr}, Case{0x100000000LL + 10, kSourceGrewFormat}}) {
        SCOPED_TRACE(c.truncatedTo);
        WriteFile(path, noise);
        ::unlink((dir / "out.zip").c_str());
        std::vector<std::string> shrunk;
        TZipWriterOptions options;
        options.level = 1;
        options.onRead = [&, done = false](int64_t) mutable {
            if (!done && ::truncate(path.c_str(), c.truncatedTo) != 0) ADD_FAILURE();
            done = true;
        };
        options.onShrunk = [&](const std::string& name) { shrunk.push_back(name); };
        auto writer = Writer(dir / "out.zip", std::move(options));
        TEntryValues values;
        values.name = "log";
        values.packing = TPacking::DeflateAsStreamed;
        const TZipStatus added = writer->AddFile(values, path);
        if (c.failure) {
            ASSERT_FALSE(added);
            EXPECT_EQ(added.Error().message,
                      "File " + path + " grew past 4 GiB while it was packed");
            writer.reset();
            EXPECT_FALSE(test::Exists(dir / "out.zip"));
            continue;
        }
        ASSERT_TRUE(added);
        ASSERT_TRUE(Commit(*writer));
        EXPECT_EQ(shrunk, std::vector<std::string>{path});
        EXPECT_EQ(InspectArchive(dir / "out.zip").Entry("log").uncompressedSize, 70000u);
        EXPECT_EQ(test::PythonZipCheck(dir / "out.zip", dir.Path()).exitCode, 0);
    }
    ::unlink(path.c_str());
}

TEST(ZipWriter, Percentage) {
    EXPECT_EQ(Percentage(1, 8), 12);   // 12.5 rounds to even
    EXPECT_EQ(Percentage(3, 8), 38);   // 37.5 rounds to even
    EXPECT_EQ(Percentage(9, 8), 100);  // never above 100
    EXPECT_EQ(Percentage(5, 0), 0);
}

}  // namespace
}  // namespace qm
