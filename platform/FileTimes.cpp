#include "platform/FileTimes.h"

#include <sys/stat.h>

#include <cmath>

namespace qm {

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// 1899-12-30 lies this many days before 1970-01-01.
constexpr int64_t kDateTimeEpochOffset = 25569;

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

TDateTime LocalDateTime(time_t seconds, long nanoseconds) {
    struct tm local {};
    if (!::localtime_r(&seconds, &local)) return 0;
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, local.tm_sec + nanoseconds / 1e9);
}

}  // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, double second) {
    const double days = static_cast<double>(DaysFromCivil(year, month, day) + kDateTimeEpochOffset);
    const double fraction = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
    // Before the epoch the fraction counts away from zero, as the date
    // type has always done.
    return days >= 0 ? days + fraction : days - fraction;
}

uint32_t UnixTimeToDosDateTime(time_t seconds) {
    struct tm local {};
    if (!::localtime_r(&seconds, &local)) return kNoDosDateTime;
    const int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107) return kNoDosDateTime;
    const uint32_t time =
        static_cast<uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    const uint32_t date =
        static_cast<uint32_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    return (date << 16) | time;
}

uint32_t FileDosDateTime(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return kNoDosDateTime;
    return UnixTimeToDosDateTime(st.st_mtim.tv_sec);
}

uint32_t PathDosDateTime(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return kNoDosDateTime;
    return UnixTimeToDosDateTime(st.st_mtim.tv_sec);
}

bool DosDateTimeToDateTime(uint32_t dos, TDateTime& out) {
    const int second = static_cast<int>(dos & 0x1F) * 2;
    const int minute = static_cast<int>((dos >> 5) & 0x3F);
    const int hour = static_cast<int>((dos >> 11) & 0x1F);
    const int day = static_cast<int>((dos >> 16) & 0x1F);
    const int month = static_cast<int>((dos >> 21) & 0x0F);
    const int year = static_cast<int>((dos >> 25) & 0x7F) + 1980;
    if (second > 59 || minute > 59 || hour > 23) return false;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
    out = EncodeDateTime(year, month, day, hour, minute, second);
    return true;
}

TDateTime NowDateTime() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return LocalDateTime(now.tv_sec, now.tv_nsec);
}

TDateTime FileDateTime(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return 0;
    return LocalDateTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
}

TDateTime PathDateTime(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return NowDateTime();
    return LocalDateTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
}

}  // namespace qm
