#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/Exceptions.h"
#include "platform/FileStream.h"
#include "platform/TempDir.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

// The directory is made and removed in a child process, so its whole life
// (including the removal at exit) is observed.
TEST(TempDir, IsPrivateEndsWithSlashAndIsGoneAtExit) {
    test::ScratchDir scratch;
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setenv("TMPDIR", scratch.Path().c_str(), 1);
        const std::string& path = TempDirPath();
        test::WriteFile(path + "leftover", "x");  // content is removed too
        ::write(pipeFds[1], path.data(), path.size());
        std::exit(0);
    }
    ::close(pipeFds[1]);
    char buffer[4096];
    const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_GT(n, 0);
    const std::string path(buffer, static_cast<size_t>(n));
    EXPECT_EQ(path.rfind(scratch.Path(), 0), 0u) << path;
    EXPECT_EQ(path.back(), '/');
    EXPECT_FALSE(test::Exists(path));

    // Mode 0700 while it lives.
    const std::string& own = TempDirPath();
    struct stat st {};
    ASSERT_EQ(::stat(own.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(FileStream, ErrorsNameThePath) {
    test::ScratchDir scratch;
    const std::string missing = scratch / "no/such/file";
    try {
        TFileStream stream(missing, fmCreate);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(), "Cannot create file \"" + missing + "\". No such file or directory");
    }
    try {
        TFileStream stream(missing, fmOpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Cannot open file \"" + missing + "\". No such file or directory");
    }
    EXPECT_THROW(TFileStream(scratch.Path(), fmOpenRead), EFOpenError);  // a directory
    TFileStream full("/dev/full", fmOpenWrite);
    EXPECT_EQ(full.Write("abc", 3), 0);
    EXPECT_THROW(full.WriteBuffer("abc", 3), EWriteError);
}

}  // namespace
}  // namespace qm
