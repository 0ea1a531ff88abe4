// MS-DOS date words and date-time values, in a fixed time zone.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "platform/FileTimes.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

class FileTimesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
};

TEST_F(FileTimesTest, DosWordsConvertBothWays) {
    // 2026-12-07 08:30:42 UTC.
    const time_t moment = 1796632242;
    const uint32_t dos = UnixTimeToDosDateTime(moment);
    EXPECT_EQ(dos, (46u << 25) | (12u << 21) | (7u << 16) | (8u << 11) | (30u << 5) | 21u);
    TDateTime value = 0;
    ASSERT_TRUE(DosDateTimeToDateTime(dos, value));
    EXPECT_DOUBLE_EQ(value, EncodeDateTime(2026, 12, 7, 8, 30, 42));
    EXPECT_DOUBLE_EQ(EncodeDateTime(2000, 1, 1, 12, 0, 0), 36526.5);

    EXPECT_EQ(UnixTimeToDosDateTime(315532799), kNoDosDateTime);  // 1979-12-31 23:59:59
    EXPECT_NE(UnixTimeToDosDateTime(315532800), kNoDosDateTime);

    const uint32_t date = (46u << 25) | (2u << 21);
    value = -1;
    EXPECT_FALSE(DosDateTimeToDateTime(date | (30u << 16), value));  // 30 February
    EXPECT_FALSE(DosDateTimeToDateTime(date | (1u << 16) | (24u << 11), value));
    EXPECT_FALSE(DosDateTimeToDateTime(date | (1u << 16) | 30u, value));  // 60 seconds
    EXPECT_FALSE(DosDateTimeToDateTime((13u << 21) | (1u << 16), value));
    EXPECT_EQ(value, -1);
    EXPECT_TRUE(DosDateTimeToDateTime((48u << 25) | (2u << 21) | (29u << 16), value));  // 2028 leap
}

TEST_F(FileTimesTest, FileDatesComeFromTheModificationTime) {
    test::ScratchDir dir;
    const std::string path = dir / "f";
    test::WriteFile(path, "x");
    const struct timespec times[2] = {{1796632242, 500000000}, {1796632242, 500000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(FileDosDateTime(fd), PathDosDateTime(path));
    EXPECT_DOUBLE_EQ(FileDateTime(fd), EncodeDateTime(2026, 12, 7, 8, 30, 42.5));
    ::close(fd);
    EXPECT_EQ(PathDosDateTime(dir / "missing"), kNoDosDateTime);

    const struct timespec old[2] = {{100, 0}, {100, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), old, 0);
    EXPECT_EQ(PathDosDateTime(path), kNoDosDateTime);
    EXPECT_GT(NowDateTime(), EncodeDateTime(2020, 1, 1, 0, 0, 0));
}

}  // namespace
}  // namespace qm
