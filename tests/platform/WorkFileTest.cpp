// Work files and private temporary directories of runs that died go; those
// of live runs stay.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/FaultPoint.h"
#include "platform/TempDir.h"
#include "platform/WorkFile.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

std::string Listing(const std::string& dir) {
    std::string names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names += entry.path().filename().string() + " ";
    return names;
}

TEST(WorkFile, CommitsAtomicallyAndOnlyDeadRunsLoseTheirs) {
    test::ScratchDir dir;
    const std::string target = dir / "book.epub";
    test::WriteFile(target, "old");
    ::chmod(target.c_str(), 0640);
    {
        TWorkFile abandoned(target);
        test::WriteFile(abandoned.Path(), "never committed");
    }
    EXPECT_EQ(Listing(dir.Path()), "book.epub ");

    // A work file whose run was killed: the name, no lock.
    const std::string dead = dir / ".book.epub.qmwork-dead00";
    test::WriteFile(dead, "torn");
    test::WriteFile(dir / ".other.epub.qmwork-dead00", "another target's");
    TWorkFile live(target);
    EXPECT_TRUE(TWorkFile::IsWorkFileOf(live.Path(), target));
    EXPECT_EQ(TWorkFile::RemoveStale(target), 1);
    EXPECT_FALSE(test::Exists(dead));
    EXPECT_TRUE(test::Exists(live.Path()));
    EXPECT_TRUE(test::Exists(dir / ".other.epub.qmwork-dead00"));

    test::WriteFile(live.Path(), "new");
    live.Commit();
    EXPECT_EQ(test::ReadFile(target), "new");
    struct stat st {};
    ::stat(target.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(WorkFile, ATargetWhoseNameJustFitsGetsAWorkFileThatFitsToo) {
    test::ScratchDir dir;
    std::string name;
    for (int i = 0; i < 83; ++i) name += "书";
    const std::string target = dir / (name + "x.epub");  // 255 bytes
    TWorkFile work(target);
    EXPECT_TRUE(TWorkFile::IsWorkFileOf(work.Path(), target));
    test::WriteFile(work.Path(), "book");
    work.Commit();
    EXPECT_EQ(test::ReadFile(target), "book");
    EXPECT_EQ(Listing(dir.Path()), name + "x.epub ");
}

// The child's fault hook: ends the process at one point, and refuses unnamed
// files when told to.
const char* gKillAt = "";
bool gRefuseUnnamed = false;
int KillAt(const char* point) {
    if (gRefuseUnnamed && std::strcmp(point, "work file: unnamed") == 0) return EOPNOTSUPP;
    if (std::strcmp(point, gKillAt) == 0) ::raise(SIGKILL);
    return 0;
}

TEST(WorkFile, WhateverAKillLeavesTheNextRunsRemove) {
    struct Case {
        const char* killAt;
        bool refuseUnnamed;
        int named, unnamed;  // work files left, by kind
        const char* book;
    };
    for (const Case& c :
         {Case{"work file: locked", false, 0, 0, "old"},
          Case{"work file: named", false, 1, 0, "old"},
          Case{"work file: locked", true, 0, 1, "old"}, Case{"work file: named", true, 1, 1, "old"},
          Case{"work file: complete", false, 1, 0, "old"},
          Case{"work file: in place", false, 0, 0, "new"}}) {
        SCOPED_TRACE(std::string(c.killAt) + (c.refuseUnnamed ? ", no unnamed files" : ""));
        test::ScratchDir dir;
        const std::string target = dir / "book.epub";
        test::WriteFile(target, "old");
        const pid_t child = ::fork();
        if (child == 0) {
            gKillAt = c.killAt;
            gRefuseUnnamed = c.refuseUnnamed;
            SetFaultHook(KillAt);
            TWorkFile work(target);
            test::WriteFile(work.Path(), "new");
            work.Commit();
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "never reached";
        int named = 0, unnamed = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
            const std::string path = entry.path().string();
            if (path == target) continue;
            EXPECT_TRUE(TWorkFile::IsWorkFileOf(path, target)) << path;
            ++(path.ends_with(".new") ? unnamed : named);
        }
        EXPECT_EQ(named, c.named);
        EXPECT_EQ(unnamed, c.unnamed);
        // A young ".new" file may be a live run's, not yet locked.
        EXPECT_EQ(TWorkFile::RemoveStale(target), c.named);
        test::Run("touch -c -d '1 hour ago' " + test::Quote(dir.Path()) + "/.*.new");
        EXPECT_EQ(TWorkFile::RemoveStale(target), c.unnamed);
        EXPECT_EQ(Listing(dir.Path()), "book.epub ");
        EXPECT_EQ(test::ReadFile(target), c.book);
    }
}

TEST(WorkDirectory, OnlyThoseOfDeadRunsAreRemoved) {
    test::ScratchDir dir;
    const std::string tag = "quillmark-batch-";
    std::string livePath;
    {
        TWorkDirectory live(dir.Path() + "/", tag);
        livePath = live.Path();
        test::WriteFile(livePath + "0.epub", "being built");
        // What a killed run leaves: the name, with no lock on it.
        ASSERT_EQ(::mkdir((dir / ".quillmark-batch-dead00").c_str(), 0700), 0);
        test::WriteFile(dir / ".quillmark-batch-dead00/3.epub", "half");
        // Killed before it was named: spared while it may be a run starting.
        ASSERT_EQ(::mkdir((dir / ".quillmark-batch-young0.new").c_str(), 0700), 0);
        ASSERT_EQ(::mkdir((dir / ".quillmark-batch-older0.new").c_str(), 0700), 0);
        test::Run("touch -d '1 hour ago' " + test::Quote(dir / ".quillmark-batch-older0.new"));
        ASSERT_EQ(::mkdir((dir / ".quillmark-batch-other").c_str(), 0700), 0);

        EXPECT_EQ(TWorkDirectory::RemoveStale(dir.Path() + "/", tag), 2);
        EXPECT_EQ(test::ReadFile(livePath + "0.epub"), "being built");
        EXPECT_FALSE(test::Exists(dir / ".quillmark-batch-dead00"));
        EXPECT_FALSE(test::Exists(dir / ".quillmark-batch-older0.new"));
        EXPECT_TRUE(test::Exists(dir / ".quillmark-batch-young0.new"));
        EXPECT_TRUE(test::Exists(dir / ".quillmark-batch-other"));
    }
    EXPECT_FALSE(test::Exists(livePath));
}

// A run in a fresh process (this test program again, running only the
// disabled case below) under TMPDIR=root: it makes its directory (removing
// those of dead runs first), reports the path, then dies by SIGKILL or
// lives until keepAlive closes.
struct ChildRun {
    pid_t pid = -1;
    int keepAlive = -1;
    std::string path;
};

TEST(TempDir, DISABLED_ChildRun) {
    const char* report = std::getenv("QM_REPORT_FD");
    const char* control = std::getenv("QM_CONTROL_FD");
    if (!report || !control) GTEST_SKIP();
    const std::string& path = TempDirPath();
    if (::write(std::atoi(report), path.data(), path.size()) < 0) std::exit(1);
    ::close(std::atoi(report));
    if (std::getenv("QM_KILL_ITSELF")) ::raise(SIGKILL);
    char byte;
    while (::read(std::atoi(control), &byte, 1) > 0) {
    }
}

ChildRun StartRun(const std::string& root, bool killItself) {
    int control[2], report[2];
    if (::pipe(control) != 0 || ::pipe(report) != 0) return {};
    ChildRun run;
    run.pid = ::fork();
    if (run.pid == 0) {
        // Other runs' pipe ends stay with their parent only.
        for (int fd = 3; fd < 1024; ++fd) {
            if (fd != control[0] && fd != report[1]) ::close(fd);
        }
        ::setenv("TMPDIR", root.c_str(), 1);
        ::setenv("QM_REPORT_FD", std::to_string(report[1]).c_str(), 1);
        ::setenv("QM_CONTROL_FD", std::to_string(control[0]).c_str(), 1);
        if (killItself) ::setenv("QM_KILL_ITSELF", "1", 1);
        ::execl("/proc/self/exe", "child", "--gtest_filter=TempDir.DISABLED_ChildRun",
                "--gtest_also_run_disabled_tests", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(control[0]);
    ::close(report[1]);
    run.keepAlive = control[1];
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(report[0], buffer, sizeof buffer)) > 0) run.path.append(buffer, got);
    ::close(report[0]);
    return run;
}

void Finish(ChildRun& run) {
    ::close(run.keepAlive);
    int status = 0;
    ::waitpid(run.pid, &status, 0);
}

TEST(TempDir, NextStartRemovesTheDirectoriesOfDeadRunsOnly) {
    test::ScratchDir root;
    ChildRun dead = StartRun(root.Path(), true);
    ChildRun live = StartRun(root.Path(), false);
    Finish(dead);
    ASSERT_TRUE(test::Exists(dead.path));
    test::WriteFile(dead.path + "left-over page", "x");
    // Both look old enough; only the lock tells them apart.
    test::Run("find " + test::Quote(root.Path()) +
              " -maxdepth 1 -name 'quillmark-*' -exec touch -d '1 minute ago' {} +");

    ChildRun next = StartRun(root.Path(), false);
    EXPECT_FALSE(test::Exists(dead.path));
    EXPECT_TRUE(test::Exists(live.path));
    EXPECT_TRUE(test::Exists(next.path));
    Finish(live);
    Finish(next);
    EXPECT_EQ(Listing(root.Path()), "");
}

}  // namespace
}  // namespace qm
