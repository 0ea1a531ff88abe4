#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>

#include "platform/AsciiCase.h"
#include "platform/Exceptions.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using test::ScratchDir;
using test::WriteFile;

TEST(FileSystem, AttributeWord) {
    ScratchDir dir;
    WriteFile(dir / "plain", "abc");
    WriteFile(dir / ".dot", "");
    test::MakeDirs(dir / "sub");
    EXPECT_EQ(GetFileAttributes(dir / "plain"), faArchive);
    EXPECT_EQ(GetFileAttributes(dir / ".dot"), faArchive | faHidden);
    EXPECT_EQ(GetFileAttributes(dir / "sub"), faDirectory);
    EXPECT_EQ(GetFileAttributes(dir / "sub/"), faDirectory);
    EXPECT_EQ(GetFileAttributes(dir / "none"), kInvalidFileAttributes);
    ::chmod((dir / "plain").c_str(), 0444);
    EXPECT_EQ(GetFileAttributes(dir / "plain"), faArchive | faReadOnly);
    ::chmod((dir / "plain").c_str(), 0644);

    // A socket counts as a system entry.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = dir / "sock";
    if (socketPath.size() < sizeof address.sun_path) {
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(GetFileAttributes(socketPath), faSysFile);
    }
    ::close(fd);
}

TEST(FileSystem, ArchiveBitClearsUntilTheFileChanges) {
    ScratchDir dir;
    const std::string path = dir / "book.txt";
    WriteFile(path, "one");
    if (!ClearArchiveAttribute(path)) GTEST_SKIP() << "no user extended attributes here";
    EXPECT_EQ(GetFileAttributes(path) & faArchive, 0u);
    timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 5}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    EXPECT_EQ(GetFileAttributes(path) & faArchive, faArchive);
}

TEST(FileSystem, TempFilesAndListingOrder) {
    ScratchDir dir;
    const std::string work = MakeTempFile(dir.Path(), "QMZ");
    EXPECT_EQ(work.rfind(dir / "QMZ", 0), 0u);
    EXPECT_TRUE(PathExists(work));
    EXPECT_NE(MakeTempFile(dir.Path(), "QMZ"), work);
    EXPECT_THROW(MakeTempFile(dir / "absent/", "QMZ"), EFCreateError);

    EXPECT_LT(CompareTextAscii("META-INF", "mimetype"), 0);
    EXPECT_LT(CompareTextAscii("mimetype", "OEBPS"), 0);
    EXPECT_GT(CompareTextAscii("a_b", "ab"), 0);  // "_" (0x5F) sorts after "B" (0x42)
    EXPECT_EQ(CompareTextAscii("Ab", "aB"), 0);
}

}  // namespace
}  // namespace qm
