#include "conversion/book/BookIdentifier.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/Exceptions.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"

namespace qm {
namespace {

uint32_t Rotate(uint32_t value, int bits) {
    return (value << bits) | (value >> (32 - bits));
}

}  // namespace

TSha1::TSha1() : state_{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0} {}

void TSha1::Block(const unsigned char* block) {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i) {
        w[i] = (uint32_t{block[4 * i]} << 24) | (uint32_t{block[4 * i + 1]} << 16) |
               (uint32_t{block[4 * i + 2]} << 8) | block[4 * i + 3];
    }
    for (int i = 16; i < 80; ++i) w[i] = Rotate(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    for (int i = 0; i < 80; ++i) {
        uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        const uint32_t t = Rotate(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = Rotate(b, 30);
        b = a;
        a = t;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

void TSha1::Update(std::string_view bytes) {
    length_ += bytes.size();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t left = bytes.size();
    if (buffered_ > 0) {
        const size_t take = std::min(left, 64 - buffered_);
        std::memcpy(buffer_ + buffered_, p, take);
        buffered_ += take;
        p += take;
        left -= take;
        if (buffered_ < 64) return;
        Block(buffer_);
        buffered_ = 0;
    }
    for (; left >= 64; p += 64, left -= 64) Block(p);
    std::memcpy(buffer_, p, left);
    buffered_ = left;
}

std::string TSha1::Final() {
    const uint64_t bits = length_ * 8;
    Update(std::string_view("\x80", 1));
    while (buffered_ != 56) Update(std::string_view("\0", 1));
    unsigned char tail[8];
    for (int i = 0; i < 8; ++i) tail[i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    Update(std::string_view(reinterpret_cast<const char*>(tail), 8));
    std::string digest(20, '\0');
    for (int i = 0; i < 20; ++i) digest[i] = static_cast<char>(state_[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
}

std::string UuidUrnFromDigest(const std::string& sha1) {
    unsigned char u[16];
    std::memcpy(u, sha1.data(), 16);
    u[6] = static_cast<unsigned char>((u[6] & 0x0F) | 0x50);  // version 5: name-based, SHA-1
    u[8] = static_cast<unsigned char>((u[8] & 0x3F) | 0x80);  // the RFC 4122 variant
    std::string out = "urn:uuid:";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        out += Format("%02x", u[i]);
    }
    return out;
}

int64_t BookTimestamp(const std::string& sourcePath) {
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (epoch && *epoch != '\0') {
        // A date the package cannot carry is the build's mistake: a book with
        // some other date would break the promise of the same bytes.
        char* end = nullptr;
        errno = 0;
        const long long value = std::strtoll(epoch, &end, 10);
        if (end == epoch || *end != '\0' || errno == ERANGE || value < 0 ||
            value > kLastBookSecond) {
            throw Exception(
                Format("SOURCE_DATE_EPOCH is \"%s\"; it must be whole seconds since "
                       "1970 from 0 to %lld (the end of the year 9999).",
                       epoch, static_cast<long long>(kLastBookSecond)));
        }
        return value;
    }
    int64_t seconds = 0;
    if (!FileModificationTime(sourcePath, seconds))
        seconds = static_cast<int64_t>(std::time(nullptr));
    // A file's time set far off (some file systems allow it) is no date for
    // a book: the nearest one a package can carry is taken.
    return std::clamp(seconds, kFirstBookSecond, kLastBookSecond);
}

std::string Iso8601Utc(int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm parts {};
    gmtime_r(&t, &parts);
    return Format("%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
}

uint32_t DosDateTimeUtc(int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds < 315532800 ? 315532800 : seconds);
    struct tm p {};
    gmtime_r(&t, &p);
    if (p.tm_year + 1900 > 2107)
        p = tm{0, 0, 0, 31, 11, 207, 0, 0, 0, 0, nullptr};  // the last DOS year
    const uint32_t date =
        static_cast<uint32_t>(((p.tm_year - 80) << 9) | ((p.tm_mon + 1) << 5) | p.tm_mday);
    const uint32_t time =
        static_cast<uint32_t>((p.tm_hour << 11) | (p.tm_min << 5) | (p.tm_sec / 2));
    return (date << 16) | time;
}

}  // namespace qm
