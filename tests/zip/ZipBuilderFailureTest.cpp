// Runs that fail or meet trouble: the archive is deleted, the failure
// carries the fixed text, and files merely left out are only reported.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <random>

#include "platform/FileSystem.h"
#include "support/FileSizeLimit.h"
#include "support/TestSupport.h"
#include "zip/ArchiveBytes.h"
#include "zip/BuilderSetup.h"
#include "zip/ZipBuilder.h"

namespace qm {
namespace {

using test::Exists;
using test::InspectArchive;
using test::ScratchDir;
using test::WriteFile;

std::string Noise(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

// The reason a run failed for, when it failed as expected.
std::string MessageOf(TZipBuilder& zip, TZipError::Kind kind) {
    const TZipResult<int32_t> result = zip.BuildArchive();
    if (result) return "<no failure>";
    EXPECT_EQ(result.Error().kind, kind) << result.Error().message;
    return result.Error().message;
}

TZipError::Kind KindOf(TZipBuilder& zip) {
    const TZipResult<int32_t> result = zip.BuildArchive();
    return result ? TZipError::Kind::Failed : result.Error().kind;
}

TEST(ZipBuilderFailure, ArchiveThatCannotBeCreated) {
    ScratchDir dir;
    test::MakeDirs(dir / "src");
    WriteFile(dir / "src/a.txt", "a");
    WriteFile(dir / "plainfile", "x");
    for (const std::string& archive : {dir / "missing/out.zip", dir / "plainfile/out.zip"}) {
        TZipBuilder zip;
        test::ConfigureTree(zip, dir / "src", archive);
        EXPECT_EQ(KindOf(zip), TZipError::Kind::CreateFailed) << archive;
        EXPECT_FALSE(Exists(archive));
        EXPECT_TRUE(zip.FilesList().empty());
    }
    // Something that is not a regular file is never replaced.
    test::MakeDirs(dir / "adir.zip");
    for (const std::string& archive : {dir / "adir.zip", std::string("/dev/full")}) {
        TZipBuilder zip;
        test::ConfigureTree(zip, dir / "src", archive);
        EXPECT_EQ(KindOf(zip), TZipError::Kind::OpenFailed) << archive;
    }
    EXPECT_EQ(GetFileAttributes("/dev/full") & faSysFile, faSysFile);
    EXPECT_EQ(GetFileAttributes(dir / "adir.zip"), faDirectory);
}

TEST(ZipBuilderFailure, FullDiskRaisesNotEnoughRoomAndDeletesTheArchive) {
    ScratchDir dir;
    test::MakeDirs(dir / "big");
    WriteFile(dir / "big/noise", Noise(300000, 3));
    test::MakeDirs(dir / "small");
    WriteFile(dir / "small/a", std::string(3000, 'a'));
    WriteFile(dir / "small/b", Noise(3000, 4));
    struct Case {
        std::string root;
        rlim_t limit;
    };
    // A data block that goes straight to the file, a header, and the last
    // buffer written at the end.
    for (const Case& c :
         {Case{dir / "big", 100000}, Case{dir / "small", 20}, Case{dir / "small", 3100}}) {
        SCOPED_TRACE(c.limit);
        const std::string archive = dir / "out.zip";
        TZipBuilder zip;
        test::ConfigureTree(zip, c.root, archive);
        std::string message;
        {
            test::FileSizeLimit limit(c.limit);
            message = MessageOf(zip, TZipError::Kind::NoRoom);
        }
        EXPECT_EQ(message, "Not enough room to write archive");
        EXPECT_FALSE(Exists(archive));
    }
}

TEST(ZipBuilderFailure, TroubleMidRunEndsAsCleanlyOnAnyThreadCount) {
    // Cancel, a full disk and a failing worker in the middle of a run with
    // many entries in flight: the old archive stays as it was and no work
    // file is left, whatever the number of threads.
    ScratchDir dir;
    test::MakeDirs(dir / "src");
    for (int i = 0; i < 40; ++i) {
        WriteFile(dir / ("src/p" + std::to_string(i)),
                  Noise(100000, static_cast<unsigned>(i)) + std::string(100000, 'x'));
    }
    const std::string archive = dir / "out.zip";
    enum Trouble { Cancel, FullDisk, WorkerFails };
    for (const int threads : {1, 4}) {
        for (const Trouble trouble : {Cancel, FullDisk, WorkerFails}) {
            SCOPED_TRACE(std::to_string(threads) + " threads, trouble " + std::to_string(trouble));
            WriteFile(archive, test::Hex("50 4B 05 06") + std::string(18, '\0'));
            const std::string before = test::ReadFile(archive);
            TZipBuilder zip;
            test::ConfigureTree(zip, dir / "src", archive);
            zip.SetZipAction(zaReplace);
            zip.SetThreads(threads);
            int started = 0;
            if (trouble == Cancel) {
                zip.OnStartZip = [&](TZipBuilder&, const std::string&, TZipHeaderInfo&, bool&) {
                    if (++started == 20) zip.SetCancel(true);
                };
                EXPECT_EQ(MessageOf(zip, TZipError::Kind::Canceled), "User Aborted Operation");
            } else if (trouble == FullDisk) {
                test::FileSizeLimit limit(2'000'000);
                EXPECT_EQ(MessageOf(zip, TZipError::Kind::NoRoom),
                          "Not enough room to write archive");
            } else {
                zip.SetPackLevel(10);  // refused by the worker that deflates
                EXPECT_EQ(MessageOf(zip, TZipError::Kind::Failed), "error");
            }
            EXPECT_EQ(test::ReadFile(archive), before);
            EXPECT_EQ(test::Run("ls -A " + test::Quote(dir.Path())).out, "out.zip\nsrc\n");
        }
    }
}

TEST(ZipBuilderFailure, SourcesThatCannotBeReadAreSkipped) {
    ScratchDir dir;
    test::MakeDirs(dir / "src");
    WriteFile(dir / "src/a.txt", "first");
    WriteFile(dir / "src/b.txt", "second");
    WriteFile(dir / "src/c.txt", "third");
    TZipBuilder zip;
    test::ConfigureTree(zip, dir / "src", dir / "out.zip");
    // Between listing and opening, b.txt turns into a directory and c.txt goes.
    zip.OnStartZip = [&](TZipBuilder&, const std::string& path, TZipHeaderInfo&, bool&) {
        if (path != dir / "src/a.txt") return;
        ::unlink((dir / "src/b.txt").c_str());
        test::MakeDirs(dir / "src/b.txt");
        ::unlink((dir / "src/c.txt").c_str());
    };
    std::vector<std::string> events;
    zip.OnSkippingFile = [&](TZipBuilder&, TSkipReason reason, const std::string& name, int32_t,
                             bool&) {
        EXPECT_EQ(reason, srFileOpenError);
        events.push_back("skip " + name.substr(name.rfind('/') + 1));
    };
    zip.OnNoSuchFile = [&](TZipBuilder&, const std::string& name) {
        events.push_back("gone " + name.substr(name.rfind('/') + 1));
    };
    EXPECT_EQ(test::Packed(zip), 1);
    EXPECT_EQ(events, (std::vector<std::string>{"skip b.txt", "gone c.txt"}));
    EXPECT_EQ(InspectArchive(dir / "out.zip").Names(), std::vector<std::string>{"a.txt"});

    // A handler that puts things right and asks for a retry gets the file in.
    ::rmdir((dir / "src/b.txt").c_str());
    test::MakeDirs(dir / "src/b.txt");
    TZipBuilder again;
    test::ConfigureTree(again, dir / "src", dir / "again.zip");
    again.FilesList() = {dir / "src/a.txt", dir / "src/b.txt/"};
    again.FilesList().back().pop_back();  // an explicit item naming the directory
    again.OnNoSuchFile = [&](TZipBuilder&, const std::string& name) {
        events.push_back("none " + name);
    };
    events.clear();
    EXPECT_EQ(test::Packed(again), 1);
    EXPECT_EQ(events, std::vector<std::string>{"none " + dir / "src/b.txt"});

    ::rmdir((dir / "src/b.txt").c_str());
    WriteFile(dir / "src/b.txt", "second");
    TZipBuilder retry;
    test::ConfigureTree(retry, dir / "src", dir / "retry.zip");
    int attempts = 0;
    retry.OnStartZip = [&](TZipBuilder&, const std::string& path, TZipHeaderInfo&, bool&) {
        if (path != dir / "src/a.txt") return;
        ::unlink((dir / "src/b.txt").c_str());
        test::MakeDirs(dir / "src/b.txt");
    };
    retry.OnSkippingFile = [&](TZipBuilder&, TSkipReason, const std::string& name, int32_t,
                               bool& again) {
        ++attempts;
        ::rmdir(name.c_str());
        WriteFile(name, "restored");
        again = true;
    };
    EXPECT_EQ(test::Packed(retry), 2);
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(test::PythonZipCheck(dir / "retry.zip", dir / "src").exitCode, 0);
}

TEST(ZipBuilderFailure, CancelAndStopDeleteTheArchive) {
    ScratchDir dir;
    test::MakeDirs(dir / "src");
    WriteFile(dir / "src/a", Noise(300000, 5));
    WriteFile(dir / "src/b", "b");

    TZipBuilder zip;
    test::ConfigureTree(zip, dir / "src", dir / "out.zip");
    // Asked for before a is read; looked at once its first block is written.
    zip.OnStartZip = [&](TZipBuilder&, const std::string&, TZipHeaderInfo&, bool&) {
        zip.SetCancel(true);
    };
    EXPECT_EQ(MessageOf(zip, TZipError::Kind::Canceled), "User Aborted Operation");
    EXPECT_FALSE(zip.Cancel());
    EXPECT_FALSE(Exists(dir / "out.zip"));
    EXPECT_TRUE(zip.FilesList().empty());

    // A cancel left over from before is cleared when a run starts.
    zip.OnStartZip = nullptr;
    zip.SetCancel(true);
    test::ConfigureTree(zip, dir / "src", dir / "out.zip");
    EXPECT_EQ(test::Packed(zip), 2);

    TZipBuilder badLevel;
    test::ConfigureTree(badLevel, dir / "src", dir / "level.zip");
    badLevel.SetPackLevel(10);
    EXPECT_EQ(MessageOf(badLevel, TZipError::Kind::Failed), "error");
    EXPECT_FALSE(Exists(dir / "level.zip"));
}

TEST(ZipBuilderFailure, CommandLineTool) {
    ScratchDir dir;
    test::MakeDirs(dir / "src/sub");
    WriteFile(dir / "src/a.txt", "a");
    WriteFile(dir / "src/sub/b.txt", "b");
    const std::string tool = test::Quote(test::BinPath("qm-zipdir"));
    auto ok =
        test::Run(tool + " -l 9 " + test::Quote(dir / "o.zip") + " " + test::Quote(dir / "src"));
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_EQ(ok.out, "2\n");
    EXPECT_EQ(InspectArchive(dir / "o.zip").Entry("sub/b.txt").flags, 2u);
    ok = test::Run(tool + " -a freshen " + test::Quote(dir / "o.zip") + " " +
                   test::Quote(dir / "src"));
    EXPECT_EQ(ok.out, "0\n");  // nothing newer than the entries

    const auto bad =
        test::Run(tool + " " + test::Quote(dir / "no/o.zip") + " " + test::Quote(dir / "src"));
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("Cannot create file"), std::string::npos);
    for (const std::string& args : {std::string(""), std::string("-l x a b"),
                                    std::string("-a sometimes a b"), std::string("a")}) {
        EXPECT_EQ(test::Run(tool + " " + args).exitCode, 2) << args;
    }
}

}  // namespace
}  // namespace qm
