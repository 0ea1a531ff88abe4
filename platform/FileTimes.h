#pragma once
// File dates and times: MS-DOS date/time words as stored in archives, and the
// TDateTime value (days since 1899-12-30, the fraction being the time of day)
// used to compare them.
#include <cstdint>
#include <ctime>
#include <string>

namespace qm {

using TDateTime = double;

// The word that means "no MS-DOS date exists for this time".
inline constexpr uint32_t kNoDosDateTime = 0xFFFFFFFF;

// Local-time MS-DOS date and time of a moment: time in the low 16 bits,
// date in the high 16 bits, seconds rounded down to 2. kNoDosDateTime when
// the year lies outside 1980..2107.
uint32_t UnixTimeToDosDateTime(time_t seconds);
// The last-write time of an open file or of a path (following links) as
// above; kNoDosDateTime when it cannot be read.
uint32_t FileDosDateTime(int fd);
uint32_t PathDosDateTime(const std::string& path);

// False when the word holds no valid date and time (month 0, 31 February,
// minute 60 ...); out is left alone then.
bool DosDateTimeToDateTime(uint32_t dos, TDateTime& out);

// Days since 1899-12-30 plus the fraction of the day; no range check beyond
// what the caller guarantees (month 1..12, day 1..31).
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, double second);

// The current local date and time.
TDateTime NowDateTime();
// The last-write time of an open file as a local date-time, at full
// resolution; 0 when it cannot be read.
TDateTime FileDateTime(int fd);
// The same for a path (links followed); now when it cannot be read.
TDateTime PathDateTime(const std::string& path);

}  // namespace qm
