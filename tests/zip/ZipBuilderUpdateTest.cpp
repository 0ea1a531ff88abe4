// Updating an existing archive: which entries are kept, replaced or added,
// what foreign archives keep, and that a failed update changes nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <ctime>

#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "zip/ArchiveBytes.h"
#include "zip/BuilderSetup.h"
#include "zip/ZipBuilder.h"

namespace qm {
namespace {

using test::ArchiveView;
using test::InspectArchive;
using test::Quote;
using test::ScratchDir;
using test::WriteFile;

// A fixed local time on an even second, so every tool stores the same DOS time.
const time_t kBaseTime = [] {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 4;
    t.tm_mday = 1;
    t.tm_hour = 10;
    t.tm_isdst = -1;
    return std::mktime(&t);
}();

void SetTime(const std::string& path, time_t when) {
    const timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

void WriteAt(const std::string& path, const std::string& content, time_t when) {
    WriteFile(path, content);
    SetTime(path, when);
}

int32_t Pack(const std::string& root, const std::string& archive, TZipAction action = zaUpdate) {
    TZipBuilder zip;
    test::ConfigureTree(zip, root, archive);
    zip.SetZipAction(action);
    return test::Packed(zip);
}

// An update's outcome, failure and all.
TZipResult<int32_t> Attempt(const std::string& root, const std::string& archive) {
    TZipBuilder zip;
    test::ConfigureTree(zip, root, archive);
    return zip.BuildArchive();
}

std::vector<std::string> WorkFilesIn(const std::string& dir) {
    std::vector<std::string> found;
    TFileSearch search(dir, 0x3F);
    for (; search.Result() == 0; search.Next()) {
        const std::string& name = search.Current().Name;
        if (name.rfind("QMZ", 0) == 0 || name.find(".qmwork-") != std::string::npos)
            found.push_back(name);
    }
    return found;
}

void ExpectValid(const std::string& archive, const std::string& sourceDir) {
    const auto unzip = test::Run("unzip -t " + Quote(archive));
    EXPECT_EQ(unzip.exitCode, 0) << unzip.out;
    const auto python = test::PythonZipCheck(archive, sourceDir);
    EXPECT_EQ(python.exitCode, 0) << python.err;
}

TEST(ZipBuilderUpdate, ForeignArchivesKeepTheirEntriesAndExtraBlocks) {
    struct Maker {
        const char* name;
        const char* command;  // run inside the source directory, %s = archive
    };
    const Maker makers[] = {
        {"info-zip", "echo 'kept comment' | zip -q -z %s a.txt b.txt"},
        {"python",
         "python3 -c \"import zipfile,sys\n"
         "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED)\n"
         "for n in ('a.txt','b.txt'):\n"
         " with z.open(zipfile.ZipInfo.from_file(n),'w',force_zip64=True) as f:\n"
         "  f.write(open(n,'rb').read())\n"
         "z.comment=b'kept comment'\n"
         "z.close()\" %s"},
        {"7zz", "7zz a -tzip -bd %s a.txt b.txt >/dev/null"},
        {"bsdtar", "bsdtar --format zip -cf %s a.txt b.txt"},
    };
    for (const Maker& maker : makers) {
        SCOPED_TRACE(maker.name);
        ScratchDir dir;
        const std::string src = dir / "src";
        test::MakeDirs(src);
        WriteAt(src + "/a.txt", std::string(4000, 'a'), kBaseTime);
        WriteAt(src + "/b.txt", "old b", kBaseTime);
        const std::string archive = dir / "x.zip";
        char command[1024];
        std::snprintf(command, sizeof command, maker.command, Quote(archive).c_str());
        ASSERT_EQ(test::Run("cd " + Quote(src) + " && " + command).exitCode, 0);
        const ArchiveView before = InspectArchive(archive);
        const bool commented = std::string(maker.command).find("kept comment") != std::string::npos;
        EXPECT_EQ(before.comment.find("kept comment") != std::string::npos, commented);

        WriteAt(src + "/b.txt", "new b, an hour later", kBaseTime + 3600);
        WriteAt(src + "/c.txt", "brand new", kBaseTime);
        TZipBuilder zip;
        test::ConfigureTree(zip, src, archive);
        ASSERT_EQ(test::Packed(zip), 2);  // b.txt replaced, c.txt new; a.txt kept

        const ArchiveView after = InspectArchive(archive);
        EXPECT_EQ(after.Names(), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
        EXPECT_EQ(after.comment, before.comment);
        const auto& oldA = before.Entry("a.txt");
        const auto& newA = after.Entry("a.txt");
        EXPECT_EQ(newA.extra, oldA.extra);  // foreign central blocks, byte for byte
        EXPECT_EQ(newA.flags, oldA.flags & ~0x0008u);
        EXPECT_EQ(after.Local(newA)[1], newA.flags);
        EXPECT_EQ(after.Data(newA), before.Data(oldA));
        EXPECT_EQ(newA.crc, oldA.crc);
        EXPECT_EQ(after.Entry("b.txt").extra, "");
        ExpectValid(archive, src);
        EXPECT_EQ(test::Run("7zz t " + Quote(archive)).exitCode, 0);
        EXPECT_EQ(test::Run("bsdtar -tf " + Quote(archive)).exitCode, 0);
        // The builder now holds the new archive's directory; a second update
        // through it still finds the foreign blocks.
        ASSERT_EQ(zip.Count(), 3);
        EXPECT_EQ(zip.Entry(2).FileName(), "c.txt");
        WriteAt(src + "/d.txt", "later still", kBaseTime);
        zip.SetRootDir(src);
        zip.FilesList().push_back("*.*");
        ASSERT_EQ(test::Packed(zip), 1);
        const ArchiveView third = InspectArchive(archive);
        EXPECT_EQ(third.Entry("a.txt").extra, oldA.extra);
        EXPECT_EQ(third.Names().size(), 4u);
        ExpectValid(archive, src);
    }
}

TEST(ZipBuilderUpdate, KeepReplaceAndFreshenRules) {
    ScratchDir dir;
    const std::string src = dir / "src";
    test::MakeDirs(src + "/OEBPS");
    for (int k = 0; k < 4; ++k) {
        WriteAt(src + "/OEBPS/" + std::to_string(k) + ".html", "first run", kBaseTime);
    }
    WriteAt(src + "/mimetype", "application/epub+zip", kBaseTime);
    const std::string archive = src + "/book.epub";  // inside the walked tree
    ASSERT_EQ(Pack(src, archive), 5);
    ASSERT_EQ(Pack(src, archive), 0);  // everything as new as its entry
    EXPECT_EQ(InspectArchive(archive).Names().size(), 5u);

    // A second conversion into fewer parts, in the same 2-second step for
    // 0.html (kept), later for 1.html (replaced); 2 and 3 stay from before.
    ::unlink((src + "/OEBPS/2.html").c_str());
    ::unlink((src + "/OEBPS/3.html").c_str());
    WriteAt(src + "/OEBPS/0.html", "second run", kBaseTime + 1);
    WriteAt(src + "/OEBPS/1.html", "second run", kBaseTime + 2);
    WriteAt(src + "/OEBPS/9.html", "second run", kBaseTime);
    ASSERT_EQ(Pack(src, archive), 2);
    const ArchiveView second = InspectArchive(archive);
    EXPECT_EQ(second.Names(),
              (std::vector<std::string>{"mimetype", "OEBPS/0.html", "OEBPS/1.html", "OEBPS/2.html",
                                        "OEBPS/3.html", "OEBPS/9.html"}));
    const auto unzipped = [&](const std::string& name) {
        return test::Run("unzip -p " + Quote(archive) + " " + name).out;
    };
    EXPECT_EQ(unzipped("OEBPS/0.html"), "first run");
    EXPECT_EQ(unzipped("OEBPS/1.html"), "second run");
    EXPECT_EQ(unzipped("OEBPS/3.html"), "first run");

    // zaReplace replaces whatever the dates say, in place.
    ASSERT_EQ(Pack(src, archive, zaReplace), 4);
    EXPECT_EQ(InspectArchive(archive).Names(), second.Names());
    EXPECT_EQ(unzipped("OEBPS/0.html"), "second run");

    // zaFreshen only renews entries that exist; new files stay out.
    WriteAt(src + "/OEBPS/1.html", "third run", kBaseTime + 10);
    WriteAt(src + "/new.txt", "not in the archive", kBaseTime + 10);
    TZipBuilder zip;
    test::ConfigureTree(zip, src, archive);
    zip.SetZipAction(zaFreshen);
    std::vector<std::string> notFreshened;
    zip.OnSkippingFile = [&](TZipBuilder&, TSkipReason reason, const std::string& name, int32_t,
                             bool&) {
        if (reason == srNoFileToFreshen) notFreshened.push_back(name);
    };
    ASSERT_EQ(test::Packed(zip), 1);
    EXPECT_EQ(notFreshened, std::vector<std::string>{src + "/new.txt"});
    EXPECT_EQ(InspectArchive(archive).Names(), second.Names());
    EXPECT_EQ(unzipped("OEBPS/1.html"), "third run");
    EXPECT_EQ(test::Run("unzip -t " + Quote(archive)).exitCode, 0);
    EXPECT_EQ(test::PythonZipCheck(archive).exitCode, 0);
}

TEST(ZipBuilderUpdate, EmptyAndDamagedTargets) {
    ScratchDir dir;
    test::MakeDirs(dir / "src");
    WriteAt(dir / "src/a.txt", "a", kBaseTime);
    WriteFile(dir / "empty.zip", "");
    EXPECT_EQ(Pack(dir / "src", dir / "empty.zip"), 1);
    ExpectValid(dir / "empty.zip", dir / "src");

    for (const std::string& content : {std::string("PK"), std::string(100, 'x')}) {
        WriteFile(dir / "bad.zip", content);
        const TZipResult<int32_t> result = Attempt(dir / "src", dir / "bad.zip");
        ASSERT_FALSE(result);
        EXPECT_EQ(result.Error().kind, TZipError::Kind::BadArchive);
        EXPECT_EQ(result.Error().message, "Incomplete Zip File");
        EXPECT_EQ(test::ReadFile(dir / "bad.zip"), content);
        EXPECT_TRUE(WorkFilesIn(dir.Path()).empty());
    }

    // A Zip64 block giving a compressed size of 2^64 - 1 cannot be copied.
    const std::string huge = dir / "huge.zip";
    WriteFile(huge,
              test::ReadFile(std::string(QM_SOURCE_DIR) + "/fuzz/corpus/zip64-negative-size.zip"));
    const std::string hugeBytes = test::ReadFile(huge);
    const TZipResult<int32_t> result = Attempt(dir / "src", huge);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.Error().kind, TZipError::Kind::BadArchive);
    EXPECT_EQ(test::ReadFile(huge), hugeBytes);
    EXPECT_TRUE(WorkFilesIn(dir.Path()).empty());

    // Disk numbers of an old archive that claims to be a later volume do not
    // make the rebuilt single-volume archive claim it too.
    const std::string claims = dir / "claims.zip";
    test::MakeDirs(dir / "old");
    WriteAt(dir / "old/keep.txt", "keep", kBaseTime);
    ASSERT_EQ(Pack(dir / "old", claims), 1);
    {
        const ArchiveView old = InspectArchive(claims);
        std::string bytes = old.bytes;
        bytes[old.endAt + 4] = 1;              // number of this disk
        bytes[old.entries.at(0).at + 34] = 1;  // disk where the entry starts
        WriteFile(claims, bytes);
    }
    EXPECT_EQ(Pack(dir / "src", claims), 1);
    const ArchiveView view = InspectArchive(claims);
    EXPECT_EQ(view.Names(), (std::vector<std::string>{"keep.txt", "a.txt"}));
    for (const auto& entry : view.entries) EXPECT_EQ(entry.diskStart, 0u) << entry.name;
    EXPECT_EQ(test::Le32(view.bytes, view.endAt + 4), 0u);
    EXPECT_EQ(test::Run("7zz t " + Quote(claims)).exitCode, 0);
}

TEST(ZipBuilderUpdate, FailedUpdatesLeaveTheOldArchiveAsItWas) {
    ScratchDir dir;
    const std::string src = dir / "src";
    test::MakeDirs(src);
    std::string noise(400000, '\0');
    uint32_t x = 1;
    for (char& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    WriteAt(src + "/a.bin", noise, kBaseTime);
    WriteAt(src + "/b.txt", "b", kBaseTime);
    const std::string archive = dir / "x.zip";
    ASSERT_EQ(Pack(src, archive), 2);
    WriteAt(src + "/a.bin", noise + "more", kBaseTime + 60);
    WriteAt(src + "/c.txt", "c", kBaseTime + 60);
    const std::string original = test::ReadFile(archive);

    auto attempt = [&](const std::function<void(TZipBuilder&)>& setUp) {
        TZipBuilder zip;
        test::ConfigureTree(zip, src, archive);
        setUp(zip);
        EXPECT_FALSE(zip.BuildArchive());
        EXPECT_EQ(test::ReadFile(archive), original);
        EXPECT_TRUE(WorkFilesIn(dir.Path()).empty());
        EXPECT_TRUE(zip.FilesList().empty());
    };
    // Cancelled while the replacement of a.bin is written. (A cancel while a
    // kept entry is copied is the writer's: ZipWriter.CopiesStopAndLeaveTheTarget.)
    attempt([](TZipBuilder& zip) {
        zip.OnStartZip = [](TZipBuilder& sender, const std::string& path, TZipHeaderInfo&, bool&) {
            if (path.size() >= 5 && path.compare(path.size() - 5, 5, "a.bin") == 0)
                sender.SetCancel(true);
        };
    });
    SetTime(src + "/a.bin", kBaseTime + 60);
    // zlib refuses the level.
    attempt([](TZipBuilder& zip) { zip.SetPackLevel(12); });
    // The disk fills up while the work file is written.
    {
        attempt([](TZipBuilder& zip) {
            zip.OnStartZip = [](TZipBuilder&, const std::string&, TZipHeaderInfo&, bool&) {
                std::signal(SIGXFSZ, SIG_IGN);
                rlimit limit{};
                ::getrlimit(RLIMIT_FSIZE, &limit);
                limit.rlim_cur = 100000;
                ::setrlimit(RLIMIT_FSIZE, &limit);
            };
        });
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    // A source whose read fails (the kernel refuses reads of this file).
    ASSERT_EQ(::symlink("/proc/self/mem", (src + "/z.bin").c_str()), 0);
    attempt([](TZipBuilder&) {});
    ::unlink((src + "/z.bin").c_str());

    // The archive cannot be replaced (a directory took its place meanwhile):
    // the error names both files and the work file goes.
    {
        TZipBuilder zip;
        test::ConfigureTree(zip, src, archive);
        const std::string moved = dir / "moved.zip";
        zip.OnStartZip = [&](TZipBuilder&, const std::string&, TZipHeaderInfo&, bool&) {
            if (test::Exists(moved)) return;
            ::rename(archive.c_str(), moved.c_str());
            test::MakeDirs(archive + "/occupied");
        };
        const TZipResult<int32_t> result = zip.BuildArchive();
        ASSERT_FALSE(result);
        {
            const std::string text = result.Error().message;
            EXPECT_EQ(text.rfind("Could not copy from " + dir / ".x.zip.qmwork-", 0), 0u) << text;
            EXPECT_NE(text.find(" -> " + archive + ": Is a directory"), std::string::npos) << text;
        }
        EXPECT_TRUE(WorkFilesIn(dir.Path()).empty());
        test::Run("rm -rf " + Quote(archive));
        ::rename(moved.c_str(), archive.c_str());
        EXPECT_EQ(test::ReadFile(archive), original);
    }

    // The same update, undisturbed, succeeds.
    ASSERT_EQ(Pack(src, archive, zaUpdate), 2);
    ExpectValid(archive, src);
}

// An update keeps the archive's permission bits and leaves no work file.
TEST(ZipBuilderUpdate, UpdateKeepsThePermissionsAndLeavesNoWorkFile) {
    ScratchDir dir;
    test::MakeDirs(dir / "src");
    WriteAt(dir / "src/a.txt", "a", kBaseTime);
    const std::string archive = dir / "x.zip";
    ASSERT_EQ(Pack(dir / "src", archive), 1);
    ::chmod(archive.c_str(), 0640);
    WriteAt(dir / "src/b.txt", "b", kBaseTime);
    EXPECT_EQ(Pack(dir / "src", archive, zaUpdate), 1);
    ExpectValid(archive, dir / "src");
    struct stat st {};
    ::stat(archive.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_TRUE(WorkFilesIn(dir.Path()).empty());
}

}  // namespace
}  // namespace qm
