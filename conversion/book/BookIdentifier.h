#pragma once
// The book's identifier and date, both derived from what it is made of, so
// the same source and options give the same book, byte for byte.
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// SHA-1, fed piece by piece.
class TSha1 {
  public:
    TSha1();
    void Update(std::string_view bytes);
    // The 20-byte digest; the object is spent afterwards.
    std::string Final();

  private:
    void Block(const unsigned char* block);
    uint32_t state_[5];
    uint64_t length_ = 0;
    unsigned char buffer_[64];
    size_t buffered_ = 0;
};

// "urn:uuid:" and a name-based (version 5) UUID of the digest.
std::string UuidUrnFromDigest(const std::string& sha1);

// The span of dates a package's four-digit years can name:
// 0001-01-01T00:00:00Z to 9999-12-31T23:59:59Z.
inline constexpr int64_t kFirstBookSecond = -62135596800;
inline constexpr int64_t kLastBookSecond = 253402300799;

// The book's moment in seconds since 1970: SOURCE_DATE_EPOCH when it is set
// (raises Exception when it is not a number from 0 to kLastBookSecond), else
// the source file's modification time (now when it cannot be read), brought
// into the span above.
int64_t BookTimestamp(const std::string& sourcePath);

// "2024-05-01T12:00:00Z".
std::string Iso8601Utc(int64_t seconds);

// MS-DOS date (high word) and time of the moment in UTC, so an archive's
// bytes do not depend on the time zone; the DOS epoch (1980-01-01) for
// earlier moments.
uint32_t DosDateTimeUtc(int64_t seconds);

}  // namespace qm
