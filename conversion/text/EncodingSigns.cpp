#include "conversion/text/EncodingSigns.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace qm {
namespace {

// Ill-formed sequences may be at most this share of the well-formed ones.
constexpr size_t kBadShare = 16;

bool IsHighSurrogate(uint16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(uint16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

bool PairsItsSurrogates(std::string_view bytes, bool littleEndian) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t units = bytes.size() / 2;
    auto unitAt = [&](size_t i) -> uint16_t {
        const unsigned first = p[2 * i], second = p[2 * i + 1];
        return static_cast<uint16_t>(littleEndian ? first | second << 8 : first << 8 | second);
    };
    for (size_t i = 0; i < units; ++i) {
        const uint16_t unit = unitAt(i);
        if (IsLowSurrogate(unit)) return false;
        if (IsHighSurrogate(unit)) {
            if (i + 1 == units || !IsLowSurrogate(unitAt(i + 1))) return false;
            ++i;
        }
    }
    return true;
}

}  // namespace

TUtf16Order BomlessUtf16Order(std::string_view bytes) {
    if (bytes.size() < 4 || bytes.size() % 2 != 0) return TUtf16Order::None;
    // Zero bytes beside a non-zero one, by the half of the unit they are in
    // when read little-endian; a zero unit says nothing about the order.
    // Found by memchr: a code page text has almost none, and is passed over
    // at memory speed.
    size_t highZeros = 0, lowZeros = 0, breaksLE = 0, breaksBE = 0;
    const char* const start = bytes.data();
    const char* const end = start + bytes.size();
    for (const char* zero = start;
         (zero = static_cast<const char*>(std::memchr(zero, 0, static_cast<size_t>(end - zero))));
         ++zero) {
        const size_t at = static_cast<size_t>(zero - start);
        if (at % 2 == 1) {
            const auto first = static_cast<unsigned char>(zero[-1]);
            if (first == 0) continue;
            ++highZeros;
            if (first == '\n' || first == '\r') ++breaksLE;
        } else {
            const auto second = static_cast<unsigned char>(zero[1]);
            if (second == 0) continue;
            ++lowZeros;
            if (second == '\n' || second == '\r') ++breaksBE;
        }
    }
    // Line breaks settle it: a Chinese text has few other zero bytes, and
    // ideographic spaces (U+3000) put theirs in the other half. Without
    // them, zero bytes must be a quarter of the units, as in a text mostly
    // of ASCII: a few stray zero bytes in a code page text say nothing.
    TUtf16Order order = TUtf16Order::None;
    const size_t units = bytes.size() / 2;
    if (breaksLE != breaksBE) {
        if (std::max(breaksLE, breaksBE) >= 2) {
            order = breaksLE > breaksBE ? TUtf16Order::LittleEndian : TUtf16Order::BigEndian;
        }
    } else if (highZeros >= 2 * lowZeros && highZeros * 4 >= units) {
        order = TUtf16Order::LittleEndian;
    } else if (lowZeros >= 2 * highZeros && lowZeros * 4 >= units) {
        order = TUtf16Order::BigEndian;
    }
    if (order == TUtf16Order::None ||
        !PairsItsSurrogates(bytes, order == TUtf16Order::LittleEndian)) {
        return TUtf16Order::None;
    }
    return order;
}

TUtf8Survey SurveyUtf8(std::string_view bytes) {
    TUtf8Survey survey;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t size = bytes.size();
    for (size_t i = 0; i < size;) {
        const unsigned lead = p[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const auto [length, low, high] = Utf8LeadOf(lead);
        // The longest run of bytes that could begin a well-formed sequence,
        // which a decoder replaces as one.
        size_t good = length == 0 ? 0 : 1;
        while (good > 0 && good < length && i + good < size) {
            const unsigned byte = p[i + good];
            if (good == 1 ? byte < low || byte > high : (byte & 0xC0) != 0x80) break;
            ++good;
        }
        if (length != 0 && good == length) {
            ++survey.multiByte;
            if (length >= 3) ++survey.wide;
        } else {
            ++survey.bad;
            if (length != 0 && i + good == size) survey.cutAtEnd = true;
        }
        i += good == 0 ? 1 : good;
        // A code page book is settled early: even if every byte left made
        // a well-formed pair, the bad ones would be too many.
        if (survey.bad > 1 && survey.bad * kBadShare > survey.multiByte + (size - i) / 2) break;
    }
    return survey;
}

bool IsMostlyUtf8(const TUtf8Survey& survey) {
    if (survey.bad == 0) return true;
    if (survey.bad == 1 && survey.cutAtEnd && survey.wide > 0) return true;
    return survey.bad * kBadShare <= survey.multiByte;
}

}  // namespace qm
