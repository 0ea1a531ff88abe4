// New archives: the bytes written, what independent readers make of them,
// the builder's properties and notifications.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "platform/FileSystem.h"
#include "platform/FileTimes.h"
#include "support/TestSupport.h"
#include "zip/ArchiveBytes.h"
#include "zip/BuilderSetup.h"
#include "zip/ZipBuilder.h"

namespace qm {
namespace {

using test::ArchiveView;
using test::InspectArchive;
using test::ScratchDir;
using test::WriteFile;

int32_t Pack(const std::string& root, const std::string& archive, int level = 6) {
    TZipBuilder zip;
    test::ConfigureTree(zip, root, archive);
    zip.SetPackLevel(level);
    return test::Packed(zip);
}

void MakeStagingTree(const std::string& root) {
    test::MakeDirs(root + "META-INF");
    test::MakeDirs(root + "OEBPS/css");
    WriteFile(root + "mimetype", "application/epub+zip");
    WriteFile(root + "META-INF/container.xml",
              "<?xml version=\"1.0\"?><container version=\"1.0\"><rootfiles><rootfile "
              "full-path=\"OEBPS/content.opf\"/></rootfiles></container>");
    WriteFile(root + "OEBPS/content.opf", std::string(900, 'o'));
    WriteFile(root + "OEBPS/toc.ncx", "<ncx>" + std::string(300, 'n') + "</ncx>");
    WriteFile(root + "OEBPS/css/main.css", "body { margin: 0 }");
    WriteFile(root + "OEBPS/0.html", "<html><body><p>\xE4\xB8\xAD\xE6\x96\x87</p></body></html>");
}

std::string Inflate(const std::string& raw, size_t expected) {
    std::string out(expected, '\0');
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
    z.avail_in = static_cast<uInt>(raw.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    if (status != Z_STREAM_END || z.avail_out != 0) return "<inflate failed>";
    return out;
}

uint32_t ZlibCrc(const std::string& data) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

TEST(ZipBuilder, StagingTreeArchiveFieldByField) {
    ScratchDir dir;
    const std::string root = dir / "EPUB";
    MakeStagingTree(root + "/");
    const std::string archive = dir / "book.epub";
    // RootDir without its "/": the setter adds it.
    EXPECT_EQ(Pack(root, archive), 6);

    const ArchiveView view = InspectArchive(archive);
    EXPECT_EQ(view.Names(), (std::vector<std::string>{"META-INF/container.xml", "mimetype",
                                                      "OEBPS/0.html", "OEBPS/content.opf",
                                                      "OEBPS/css/main.css", "OEBPS/toc.ncx"}));
    size_t expectedOffset = 0;
    for (const auto& e : view.entries) {
        SCOPED_TRACE(e.name);
        const std::string source = test::ReadFile(root + "/" + e.name);
        EXPECT_EQ(e.versionMadeBy, 0x2Du);
        EXPECT_EQ(e.versionNeeded, 20u);
        EXPECT_EQ(e.flags, 0u);
        EXPECT_EQ(e.method, 8u);
        EXPECT_EQ(e.internal, 0u);
        EXPECT_EQ(e.external, 0x20u);
        EXPECT_EQ(e.diskStart, 0u);
        EXPECT_EQ(e.commentLength, 0u);
        EXPECT_TRUE(e.extra.empty());
        EXPECT_EQ(e.crc, ZlibCrc(source));
        EXPECT_EQ(e.uncompressedSize, source.size());
        EXPECT_EQ(e.dosTime, PathDosDateTime(root + "/" + e.name));
        EXPECT_EQ(e.localOffset, expectedOffset);
        // The local header was rewritten with the final values.
        const auto local = view.Local(e);
        EXPECT_EQ(view.bytes.substr(e.localOffset, 10), test::Hex("50 4B 03 04 14 00 00 00 08 00"));
        EXPECT_EQ(local[3], e.crc);
        EXPECT_EQ(local[4], e.compressedSize);
        EXPECT_EQ(local[5], e.uncompressedSize);
        EXPECT_EQ(local[6], e.name.size());
        EXPECT_EQ(local[7], 0u);
        EXPECT_EQ(view.bytes.substr(e.localOffset + 30, e.name.size()), e.name);
        EXPECT_EQ(Inflate(view.Data(e), source.size()), source);
        expectedOffset += 30 + e.name.size() + e.compressedSize;
    }
    EXPECT_EQ(view.centralOffset, expectedOffset);
    EXPECT_EQ(view.bytes.substr(view.centralOffset, 4), test::Hex("50 4B 01 02"));
    EXPECT_EQ(view.centralOffset + view.centralSize, view.endAt);
    EXPECT_EQ(view.entriesOnDisk, 6u);
    EXPECT_EQ(view.totalEntries, 6u);
    EXPECT_TRUE(view.comment.empty());
    EXPECT_FALSE(view.zip64);
    EXPECT_EQ(view.endAt + 22, view.bytes.size());
}

TEST(ZipBuilder, IndependentReadersAcceptTheArchive) {
    ScratchDir dir;
    MakeStagingTree(dir / "EPUB/");
    std::mt19937 random(7);
    std::string noise(200000, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    WriteFile(dir / "EPUB/OEBPS/noise.bin", noise);
    std::string text;
    while (text.size() < 300000) text += "第一章 天地玄黄 The quick brown fox. ";
    WriteFile(dir / "EPUB/OEBPS/1.html", text);
    const std::string archive = dir / "book.epub";
    ASSERT_EQ(Pack(dir / "EPUB", archive), 8);

    EXPECT_EQ(test::Run("unzip -t " + test::Quote(archive)).exitCode, 0);
    const auto python = test::PythonZipCheck(archive, dir / "EPUB");
    EXPECT_EQ(python.exitCode, 0) << python.err;
    EXPECT_EQ(python.out, "8\n");
    const auto sevenZip = test::Run("7zz t " + test::Quote(archive));
    EXPECT_EQ(sevenZip.exitCode, 0) << sevenZip.out;
    const auto bsdtar = test::Run("bsdtar -tf " + test::Quote(archive));
    EXPECT_EQ(bsdtar.exitCode, 0) << bsdtar.err;
    EXPECT_NE(bsdtar.out.find("OEBPS/noise.bin"), std::string::npos);
}

TEST(ZipBuilder, ThreadCountDoesNotChangeTheBytes) {
    // Entries on both sides of the in-memory bounds (zlib below 64 KB,
    // libdeflate above, in pieces from 8 MB), stored ones, an empty one and
    // more entries than the queue holds, so the writer waits for workers and
    // keeps memory bounded.
    ScratchDir dir;
    const std::string root = dir / "src/";
    MakeStagingTree(root);
    std::mt19937 random(11);
    std::string text;
    while (text.size() < 3'000'000)
        text += "第" + std::to_string(random() % 997) + "章 天地玄黄 fox. ";
    for (int i = 0; i < 70; ++i) {
        const size_t size = i == 0 ? 0 : (size_t{1} << (10 + i % 12)) + random() % 999;
        WriteFile(root + "OEBPS/" + std::to_string(i) + (i % 9 == 0 ? ".jpg" : ".html"),
                  text.substr(random() % 1000, size));
    }
    // Large enough to be deflated in pieces: noise first (libdeflate stores
    // it, so that piece ends on a byte boundary), then text.
    std::string pieces(kDeflatePiece, '\0');
    for (char& c : pieces) c = static_cast<char>(random());
    while (pieces.size() < static_cast<size_t>(kSplitDeflateMin + kDeflatePiece) + 12345)
        pieces += text;
    WriteFile(root + "OEBPS/pieces.html", pieces);
    std::string archives[3];
    const int threads[3] = {1, 2, 4};
    for (int i = 0; i < 3; ++i) {
        TZipBuilder zip;
        test::ConfigureTree(zip, root, dir / ("t" + std::to_string(threads[i]) + ".zip"));
        zip.SetThreads(threads[i]);
        ASSERT_EQ(test::Packed(zip), 77);
        archives[i] = test::ReadFile(dir / ("t" + std::to_string(threads[i]) + ".zip"));
    }
    EXPECT_EQ(archives[1], archives[0]);
    EXPECT_EQ(archives[2], archives[0]);
    const std::string archive = dir / "t4.zip";
    EXPECT_EQ(test::Run("unzip -tq " + test::Quote(archive)).exitCode, 0);
    const auto python = test::PythonZipCheck(archive, root);
    EXPECT_EQ(python.exitCode, 0) << python.err;
    const auto sevenZip = test::Run("7zz t " + test::Quote(archive));
    EXPECT_EQ(sevenZip.exitCode, 0) << sevenZip.out;
}

TEST(ZipBuilder, SmallAndBoundarySources) {
    ScratchDir dir;
    test::MakeDirs(dir / "empty");
    EXPECT_EQ(Pack(dir / "empty", dir / "none.zip"), 0);
    EXPECT_EQ(test::ReadFile(dir / "none.zip"), test::Hex("50 4B 05 06") + std::string(18, '\0'));

    test::MakeDirs(dir / "src");
    WriteFile(dir / "src/zero", "");
    std::mt19937 random(1);
    std::string block(65535, '\0');
    for (char& c : block) c = static_cast<char>('a' + random() % 3);
    WriteFile(dir / "src/block", block);
    std::string noise(70000, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    WriteFile(dir / "src/noise", noise);

    ASSERT_EQ(Pack(dir / "src", dir / "six.zip", 6), 3);
    const ArchiveView six = InspectArchive(dir / "six.zip");
    const auto& zero = six.Entry("zero");
    EXPECT_EQ(zero.method, 8u);
    EXPECT_EQ(zero.crc, 0u);
    EXPECT_EQ(zero.uncompressedSize, 0u);
    EXPECT_EQ(Inflate(six.Data(zero), 0), "");
    EXPECT_EQ(Inflate(six.Data(six.Entry("block")), block.size()), block);
    // Deflated output larger than its input is kept deflated.
    EXPECT_EQ(six.Entry("noise").method, 8u);
    EXPECT_GT(six.Entry("noise").compressedSize, noise.size());

    ASSERT_EQ(Pack(dir / "src", dir / "zero.zip", 0), 3);
    const ArchiveView stored = InspectArchive(dir / "zero.zip");
    for (const auto& e : stored.entries) {
        EXPECT_EQ(e.method, 0u) << e.name;
        EXPECT_EQ(e.flags, 0x0004u) << e.name;
        EXPECT_EQ(e.compressedSize, e.uncompressedSize) << e.name;
    }
    EXPECT_EQ(stored.Data(stored.Entry("block")), block);
    EXPECT_EQ(test::Run("unzip -t " + test::Quote(dir / "zero.zip")).exitCode, 0);
}

TEST(ZipBuilder, FlagsFollowThePackLevel) {
    ScratchDir dir;
    test::MakeDirs(dir / "src/Sub");
    WriteFile(dir / "src/a.txt", std::string(5000, 'a'));
    WriteFile(dir / "src/Sub/Photo.JPG", std::string(5000, 'p'));
    const uint32_t expected[10] = {4, 4, 4, 0, 0, 0, 0, 0, 2, 2};
    for (int level = 0; level <= 9; ++level) {
        SCOPED_TRACE(level);
        const std::string archive = dir.Path() + std::to_string(level) + ".zip";
        TZipBuilder zip;
        test::ConfigureTree(zip, dir / "src", archive);
        zip.SetPackLevel(level);
        ASSERT_EQ(test::Packed(zip), 2);
        const ArchiveView view = InspectArchive(archive);
        EXPECT_EQ(view.Entry("a.txt").flags, expected[level]);
        EXPECT_EQ(view.Entry("a.txt").method, level == 0 ? 0u : 8u);
        EXPECT_EQ(view.Entry("Sub/Photo.JPG").method, level == 0 ? 0u : 8u);
        EXPECT_EQ(view.Entry("Sub/Photo.JPG").flags, expected[level]);
    }
}

TEST(ZipBuilder, PropertiesDefaultsAndSetterSideEffects) {
    TZipBuilder zip;
    EXPECT_EQ(zip.PackLevel(), 6);
    EXPECT_EQ(zip.ZipAction(), zaUpdate);
    EXPECT_TRUE(zip.IncludeReadOnlyFiles());
    EXPECT_FALSE(zip.IncludeHiddenFiles());
    EXPECT_FALSE(zip.Recurse() || zip.StorePaths() || zip.RelativePaths());

    zip.SetRootDir("/data/book");
    EXPECT_EQ(zip.RootDir(), "/data/book/");
    zip.SetRootDir("");
    EXPECT_EQ(zip.RootDir(), "");

    zip.SetRelativePaths(true);
    EXPECT_TRUE(zip.StorePaths() && zip.Recurse());
    zip.SetStorePaths(false);
    EXPECT_FALSE(zip.RelativePaths());
    EXPECT_TRUE(zip.Recurse());
    zip.SetIncludeHiddenFiles(true);
    zip.SetIncludeReadOnlyFiles(false);
    EXPECT_TRUE(zip.IncludeHiddenFiles() && !zip.IncludeReadOnlyFiles());

    // A blank name does nothing at all.
    zip.SetZipName("   ");
    zip.FilesList().push_back("*.*");
    EXPECT_EQ(test::Packed(zip), 0);
}

TEST(ZipBuilder, FileListItemsAndStoredNames) {
    ScratchDir dir;
    test::MakeDirs(dir / "root/docs/deep");
    test::MakeDirs(dir / "root/.git");
    WriteFile(dir / "root/top.txt", "top");
    WriteFile(dir / "root/README", "readme");
    WriteFile(dir / "root/docs/a.txt", "a");
    WriteFile(dir / "root/docs/skip.tmp", "tmp");
    WriteFile(dir / "root/docs/deep/b.txt", "b");
    WriteFile(dir / "root/.git/config", "hidden");
    WriteFile(dir / "other.txt", "other");

    TZipBuilder zip;
    zip.SetRootDir(dir / "root");
    zip.SetRelativePaths(true);
    zip.SetZipName(dir / "out.zip");
    zip.FilesList() = {"top.txt",            // explicit, joined to RootDir
                       dir / "missing.txt",  // explicit, absent
                       "|" + dir / "root/docs/*.txt",
                       dir / "root/*.*",  // recursion follows Recurse
                       dir / "nowhere/*.txt"};
    std::vector<std::string> noSuch;
    std::vector<std::pair<TSkipReason, std::string>> skipped;
    zip.OnNoSuchFile = [&](TZipBuilder&, const std::string& name) { noSuch.push_back(name); };
    zip.OnSkippingFile = [&](TZipBuilder&, TSkipReason reason, const std::string& name,
                             int32_t index, bool&) {
        EXPECT_EQ(index, -1);
        skipped.emplace_back(reason, name.substr(dir.Path().size()));
    };
    // top.txt, docs/a.txt, then the recursive walk: docs/a.txt again,
    // docs/deep/b.txt, docs/skip.tmp, README, top.txt again; duplicates go
    // at compression.
    EXPECT_EQ(test::Packed(zip), 5);
    EXPECT_TRUE(zip.FilesList().empty());
    EXPECT_EQ(noSuch, (std::vector<std::string>{dir / "missing.txt", dir / "nowhere/*.txt"}));
    EXPECT_EQ(InspectArchive(dir / "out.zip").Names(),
              (std::vector<std::string>{"top.txt", "docs/a.txt", "docs/deep/b.txt", "docs/skip.tmp",
                                        "README"}));
    EXPECT_EQ(skipped, (std::vector<std::pair<TSkipReason, std::string>>{
                           {srNoOverwrite, "root/docs/a.txt"}, {srNoOverwrite, "root/top.txt"}}));
    EXPECT_EQ(test::Run("unzip -t " + test::Quote(dir / "out.zip")).exitCode, 0);

    // Without StorePaths only names are stored; with full paths no "/" leads.
    TZipBuilder flat;
    flat.SetZipName(dir / "flat.zip");
    flat.FilesList() = {dir / "root/docs/deep/b.txt", dir / "other.txt", dir / "root/./docs/a.txt"};
    EXPECT_EQ(test::Packed(flat), 3);
    EXPECT_EQ(InspectArchive(dir / "flat.zip").Names(),
              (std::vector<std::string>{"b.txt", "other.txt", "a.txt"}));
    TZipBuilder full;
    full.SetZipName(dir / "full.zip");
    full.SetStorePaths(true);
    full.FilesList() = {dir / "root/../root/docs/a.txt"};
    EXPECT_EQ(test::Packed(full), 1);
    const std::string stored = InspectArchive(dir / "full.zip").entries.at(0).name;
    EXPECT_NE(stored[0], '/');
    EXPECT_EQ(stored.find(".."), std::string::npos);
    EXPECT_EQ(stored, (dir / "root/root/docs/a.txt").substr(1));
}

TEST(ZipBuilder, StartZipMaySkipAndMessagesAreHandled) {
    ScratchDir dir;
    test::MakeDirs(dir / "src");
    WriteFile(dir / "src/big", std::string(200000, 'x'));
    WriteFile(dir / "src/small", "tiny");
    TZipBuilder zip;
    test::ConfigureTree(zip, dir / "src", dir / "p.zip");
    zip.OnStartZip = [&](TZipBuilder&, const std::string& name, TZipHeaderInfo& header,
                         bool& skip) {
        EXPECT_EQ(header.FileName(), name.substr(name.rfind('/') + 1));
        skip = header.FileName() == "small";
    };
    std::vector<TSkipReason> reasons;
    zip.OnSkippingFile = [&](TZipBuilder&, TSkipReason r, const std::string&, int32_t, bool&) {
        reasons.push_back(r);
    };
    EXPECT_EQ(test::Packed(zip), 1);
    EXPECT_EQ(reasons, std::vector<TSkipReason>{srSkippedInStartZip});
    EXPECT_EQ(InspectArchive(dir / "p.zip").Names(), std::vector<std::string>{"big"});

    test::ConfigureTree(zip, dir / "src", dir / "q.zip");
    zip.OnStartZip = nullptr;
    EXPECT_EQ(test::Packed(zip), 2);
}

TEST(ZipBuilder, ManyEntriesUseZip64EndRecords) {
    ScratchDir dir;
    const int files = 65536;
    for (int d = 0; d < 64; ++d) {
        const std::string sub = dir.Path() + "src/d" + std::to_string(d) + "/";
        test::MakeDirs(sub);
        for (int f = 0; f < files / 64; ++f) WriteFile(sub + std::to_string(f), "x");
    }
    TZipBuilder zip;
    test::ConfigureTree(zip, dir / "src", dir / "many.zip");
    ASSERT_EQ(test::Packed(zip), files);
    const ArchiveView view = InspectArchive(dir / "many.zip");
    EXPECT_EQ(view.entriesOnDisk, 0xFFFFu);
    EXPECT_EQ(view.totalEntries, 0xFFFFu);
    EXPECT_TRUE(view.zip64);
    EXPECT_EQ(view.zip64Total, static_cast<uint64_t>(files));
    EXPECT_EQ(view.entries.size(), static_cast<size_t>(files));
    EXPECT_EQ(test::Run("unzip -tq " + test::Quote(dir / "many.zip")).exitCode, 0);
    const auto python = test::PythonZipCheck(dir / "many.zip");
    EXPECT_EQ(python.out, "65536\n") << python.err;
}

}  // namespace
}  // namespace qm
