#include "platform/CodePage.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>

#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/CodePageExtension.h"

namespace qm {
namespace {

constexpr const char* kConverterName = "windows-936-2000";

// Each malformed byte sequence becomes one "?", as Windows' conversion does.
void ToUnicodeQuestionMark(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                           UConverterCallbackReason reason, UErrorCode* error) {
    if (reason > UCNV_IRREGULAR) return;
    *error = U_ZERO_ERROR;
    const UChar question = u'?';
    ucnv_cbToUWriteUChars(args, &question, 1, 0, error);
}

TConverterHandle OpenConverter() {
    UErrorCode error = U_ZERO_ERROR;
    TConverterHandle converter(ucnv_open(kConverterName, &error));
    if (U_FAILURE(error)) throw std::runtime_error("code page 936 converter unavailable");
    ucnv_setFromUCallBack(converter.get(), WriteExtendedSequence, nullptr, nullptr, nullptr,
                          &error);
    ucnv_setToUCallBack(converter.get(), ToUnicodeQuestionMark, nullptr, nullptr, nullptr, &error);
    if (U_FAILURE(error)) throw std::runtime_error("code page 936 converter setup failed");
    return converter;
}

// One converter per thread, reset before each use.
UConverter* Converter() {
    thread_local TConverterHandle converter = OpenConverter();
    ucnv_reset(converter.get());
    return converter.get();
}

void AppendCodePoint(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
        return;
    }
    if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    }
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
}

void AppendUtf8(std::string& out, const UChar* begin, const UChar* end) {
    for (const UChar* p = begin; p < end; ++p) {
        uint32_t c = *p;
        if (c >= 0xD800 && c <= 0xDBFF && p + 1 < end && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
            ++p;
        }
        AppendCodePoint(out, c);
    }
}

// 936 -> UTF-8 through the converter and a fixed UTF-16 buffer, so a whole
// book never needs a UTF-16 copy of its own. Without flush, a character cut
// off at the end of the slice stays in the converter for the next call.
void ConverterToUtf8(UConverter* converter, std::string& out, std::string_view ansi, bool flush) {
    UChar pivot[16384];
    const char* source = ansi.data();
    const char* sourceEnd = ansi.data() + ansi.size();
    for (;;) {
        UErrorCode error = U_ZERO_ERROR;
        UChar* target = pivot;
        ucnv_toUnicode(converter, &target, pivot + std::size(pivot), &source, sourceEnd, nullptr,
                       flush, &error);
        AppendUtf8(out, pivot, target);
        if (error == U_BUFFER_OVERFLOW_ERROR) continue;
        if (U_FAILURE(error)) throw std::runtime_error("code page 936 conversion failed");
        return;
    }
}

// What the converter makes of a byte, or of a lead byte and the byte after
// it, in four bytes: the UTF-8 (at most three bytes: the code page maps
// into the basic plane) in the low bytes, its length in bits 24-25, and in
// bit 31 whether the second byte was taken (a byte that cannot follow a
// lead byte starts afresh). Four bytes keep the table small enough to stay
// in the processor's cache when a text uses thousands of characters.
constexpr int kLengthShift = 24;
constexpr uint32_t kTookSecond = uint32_t{1} << 31;
// An entry is copied whole, its first byte first.
static_assert(std::endian::native == std::endian::little);

// Every byte and every pair starting with a lead byte, decoded once by the
// converter itself (malformed ones to "?" by its callback): decoding a book
// by looking them up gives the converter's result several times faster.
// The code page holds no state beyond a lead byte waiting for its second.
class TDecodingTable {
    static constexpr size_t kBufferSize = 16384;
    static constexpr size_t kColumns = 257;  // column 256: the byte alone at the end

  public:
    TDecodingTable() : pairs_(kLeadCount * kColumns) {
        const TConverterHandle converter = OpenConverter();
        for (int first = 0x80; first < 256; ++first) {
            const auto byte = static_cast<unsigned char>(first);
            if (!IsLeadByte(byte)) {
                singles_[byte] = Decoding(converter.get(), first, 256);
                continue;
            }
            for (int second = 0; second < static_cast<int>(kColumns); ++second)
                pairs_[Index(byte, second)] = Decoding(converter.get(), first, second);
        }
        // Whether a lead byte takes the byte after it depends on that byte
        // alone: the lookup of the next character then need not wait for
        // this one's entry.
        for (int second = 0; second < 256; ++second) {
            const bool takes = (pairs_[Index(0x81, second)] & kTookSecond) != 0;
            for (int lead = 0x81; lead <= 0xFE; ++lead) {
                if (((pairs_[Index(static_cast<unsigned char>(lead), second)] & kTookSecond) !=
                     0) != takes)
                    throw std::runtime_error("code page 936 table failed");
            }
            taken_[static_cast<size_t>(second)] = takes ? 2 : 1;
        }
    }

    // Decodes ansi into out from its start; stops before a last lead byte
    // that no flush ends. Returns how many bytes it decoded.
    size_t Decode(std::string& out, std::string_view ansi, bool flush) const {
        // Written into a buffer first: appending a few bytes at a time to a
        // string costs more than the lookup.
        char buffer[kBufferSize + sizeof(uint32_t)];
        size_t used = 0;
        size_t i = 0;
        const size_t n = ansi.size();
        while (i < n) {
            if (used >= kBufferSize) {
                out.append(buffer, used);
                used = 0;
            }
            const auto first = static_cast<unsigned char>(ansi[i]);
            if (first < 0x80) {
                buffer[used++] = static_cast<char>(first);
                ++i;
                continue;
            }
            uint32_t entry = 0;
            if (!IsLeadByte(first)) {
                entry = singles_[first];
                ++i;
            } else if (i + 1 < n) {
                const auto second = static_cast<unsigned char>(ansi[i + 1]);
                entry = pairs_[Index(first, second)];
                i += taken_[second];
            } else {
                if (!flush) break;
                entry = pairs_[Index(first, 256)];
                ++i;
            }
            std::memcpy(buffer + used, &entry, sizeof entry);
            used += (entry >> kLengthShift) & 3;
        }
        out.append(buffer, used);
        return i;
    }

  private:
    static constexpr size_t kLeadCount = 0xFE - 0x81 + 1;

    static size_t Index(unsigned char lead, int second) {
        return static_cast<size_t>(lead - 0x81) * kColumns + static_cast<size_t>(second);
    }

    static uint32_t Decoding(UConverter* converter, int first, int second) {
        const char bytes[2] = {static_cast<char>(first), static_cast<char>(second)};
        const int32_t count = second == 256 ? 1 : 2;
        UChar units[8];
        int32_t offsets[8];
        UChar* target = units;
        const char* source = bytes;
        int32_t* offset = offsets;
        UErrorCode error = U_ZERO_ERROR;
        ucnv_reset(converter);
        ucnv_toUnicode(converter, &target, units + 8, &source, bytes + count, offset, true, &error);
        if (U_FAILURE(error)) throw std::runtime_error("code page 936 conversion failed");
        // The units of the first byte's character; the rest came from a
        // second byte read afresh.
        const UChar* end = units;
        while (end < target && offsets[end - units] == 0) ++end;
        std::string utf8;
        AppendUtf8(utf8, units, end);
        if (utf8.size() > 3) throw std::runtime_error("code page 936 table failed");
        uint32_t entry = 0;
        for (size_t k = 0; k < utf8.size(); ++k)
            entry |= uint32_t{static_cast<unsigned char>(utf8[k])} << (8 * k);
        entry |= static_cast<uint32_t>(utf8.size()) << kLengthShift;
        if (count == 2 && end == target) entry |= kTookSecond;
        return entry;
    }

    std::vector<uint32_t> pairs_;          // by lead byte and the byte after it
    std::array<uint32_t, 256> singles_{};  // bytes from 0x80 up that lead nothing
    std::array<uint8_t, 256> taken_{};     // bytes a lead byte and the byte after it take
};

// 936 -> UTF-8 by the table, unless the converter still holds the start of
// a character from the call before (then through the converter, which
// finishes it).
void ToUtf8(UConverter* converter, std::string& out, std::string_view ansi, bool flush) {
    static const TDecodingTable table;
    UErrorCode error = U_ZERO_ERROR;
    if (ucnv_toUCountPending(converter, &error) <= 0) {
        ansi.remove_prefix(table.Decode(out, ansi, flush));
        if (ansi.empty()) return;
    }
    ConverterToUtf8(converter, out, ansi, flush);
}

bool IsDigitByte(char byte) {
    return byte >= '0' && byte <= '9';
}

// The first ASCII digit at or after from; npos when there is none. Eight
// bytes at a time: a byte is a digit when it differs from '0' in the low
// four bits only and by less than ten.
size_t NextDigit(std::string_view bytes, size_t from) {
    constexpr uint64_t kZeros = 0x3030303030303030, kTens = 0x0A0A0A0A0A0A0A0A,
                       kHigh = 0x8080808080808080;
    size_t i = from;
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t word = 0;
        std::memcpy(&word, bytes.data() + i, sizeof word);
        const uint64_t offset = word ^ kZeros;
        // Exact for the first such byte, which is all that is read.
        if (const uint64_t below = (offset - kTens) & ~offset & kHigh)
            return i + static_cast<size_t>(std::countr_zero(below) / 8);
    }
    for (; i < bytes.size(); ++i) {
        if (IsDigitByte(bytes[i])) return i;
    }
    return std::string_view::npos;
}

// The last character boundary at or before to, walking from the boundary
// from. A byte that leads nothing always ends a character (alone, or as the
// second byte of a pair), so the walk starts again after the last one; the
// lead bytes after it pair off from there.
size_t BoundaryAtOrBefore(std::string_view bytes, size_t from, size_t to) {
    size_t start = to;
    while (start > from && IsLeadByte(static_cast<unsigned char>(bytes[start - 1]))) --start;
    return (to - start) % 2 == 0 ? to : to - 1;
}

// Decodes bytes from their start on, up to the first character boundary at
// or after stopAt: runs of code page 936 through the converter, four-byte
// sequences by themselves. Both split the bytes alike, as a lead byte takes
// the byte after it whatever it is, so the converter never holds half a
// character when a sequence comes. Returns where it stopped; cut is set when
// that is the start of a possible sequence that the bytes end too soon to
// tell (only without flush).
size_t DecodeExtended(UConverter* converter, std::string& out, std::string_view bytes,
                      size_t stopAt, bool flush, bool& cut) {
    size_t runStart = 0, i = 0;
    cut = false;
    while (i < bytes.size() && i < stopAt) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (!IsLeadByte(byte)) {
            ++i;
            continue;
        }
        if (i + 1 < bytes.size() && !IsDigitByte(bytes[i + 1])) {
            // A pair; and pairs and single bytes up to where a sequence may
            // next begin: a lead byte before a digit, or one at the end.
            const size_t digit = NextDigit(bytes, i + 2);
            const size_t next =
                std::min(stopAt, digit == std::string_view::npos ? bytes.size() - 1 : digit - 1);
            i = next > i + 2 ? BoundaryAtOrBefore(bytes, i + 2, next) : i + 2;
            continue;
        }
        const std::string_view rest = bytes.substr(i);
        if (!flush && MayBeginExtendedSequence(rest)) {
            cut = true;
            break;
        }
        const UChar32 c = ExtendedCharacterAt(rest);
        if (c >= 0) {
            ToUtf8(converter, out, bytes.substr(runStart, i - runStart), false);
            AppendCodePoint(out, static_cast<uint32_t>(c));
            i += 4;
            runStart = i;
            continue;
        }
        i = std::min(bytes.size(), i + 2);
    }
    ToUtf8(converter, out, bytes.substr(runStart, i - runStart),
           flush && !cut && i == bytes.size());
    return i;
}

// Decodes the next slice; held keeps the bytes of a possible four-byte
// sequence cut off by the end of the slice before.
void DecodeSlice(UConverter* converter, std::string& out, std::string& held, std::string_view slice,
                 bool flush) {
    bool cut = false;
    if (!held.empty()) {
        // The held bytes and the first bytes of this slice, up to the first
        // boundary within the slice.
        const std::string joined = held + std::string(slice.substr(0, 4));
        const size_t reached =
            DecodeExtended(converter, out, joined, held.size(), flush && slice.size() <= 4, cut);
        if (cut) {
            held = joined.substr(reached);
            return;
        }
        slice.remove_prefix(std::min(slice.size(), reached - held.size()));
        held.clear();
    }
    const size_t reached = DecodeExtended(converter, out, slice, slice.size(), flush, cut);
    if (cut) held.assign(slice.substr(reached));
}

// UTF-16 -> 936, appended to out through a fixed buffer, so appending to a
// reserved string never makes it grow beyond its reservation.
void FromUtf16(UConverter* converter, std::string& out, std::u16string_view text, bool flush) {
    char buffer[32768];
    const UChar* source = reinterpret_cast<const UChar*>(text.data());
    const UChar* sourceEnd = source + text.size();
    for (;;) {
        UErrorCode error = U_ZERO_ERROR;
        char* target = buffer;
        ucnv_fromUnicode(converter, &target, buffer + sizeof buffer, &source, sourceEnd, nullptr,
                         flush, &error);
        out.append(buffer, static_cast<size_t>(target - buffer));
        if (error == U_BUFFER_OVERFLOW_ERROR) continue;
        if (U_FAILURE(error)) throw std::runtime_error("code page 936 conversion failed");
        return;
    }
}

}  // namespace

void TConverterCloser::operator()(UConverter* converter) const {
    ucnv_close(converter);
}

TAnsiToUtf8Converter::TAnsiToUtf8Converter() : converter_(OpenConverter()) {}

void TAnsiToUtf8Converter::Append(std::string& out, std::string_view slice, bool last) {
    DecodeSlice(converter_.get(), out, held_, slice, last);
}

TUtf16ToAnsiConverter::TUtf16ToAnsiConverter() : converter_(OpenConverter()) {}

void TUtf16ToAnsiConverter::Append(std::string& out, std::u16string_view slice, bool last) {
    FromUtf16(converter_.get(), out, slice, last);
}

std::u16string AnsiToUtf16(std::string_view ansi) {
    const std::string utf8 = AnsiToUtf8(ansi);
    std::u16string result(utf8.size(), u'\0');  // one unit per UTF-8 byte at most
    if (utf8.empty()) return result;
    int32_t length = 0;
    UErrorCode error = U_ZERO_ERROR;
    u_strFromUTF8(reinterpret_cast<UChar*>(result.data()), static_cast<int32_t>(result.size()),
                  &length, utf8.data(), static_cast<int32_t>(utf8.size()), &error);
    if (U_FAILURE(error)) throw std::runtime_error("code page 936 conversion failed");
    result.resize(static_cast<size_t>(length));
    return result;
}

std::string Utf16ToAnsi(std::u16string_view text) {
    std::string result;
    if (text.empty()) return result;
    result.reserve(text.size() * 2);
    FromUtf16(Converter(), result, text, true);
    return result;
}

std::string AnsiToUtf8(std::string_view ansi) {
    std::string result;
    if (ansi.empty()) return result;
    result.reserve(ansi.size() + ansi.size() / 2);
    std::string held;
    DecodeSlice(Converter(), result, held, ansi, true);
    return result;
}

std::string Utf8ToAnsi(std::string_view utf8) {
    if (utf8.empty()) return {};
    std::u16string wide(utf8.size(), u'\0');
    int32_t length = 0;
    UErrorCode error = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(wide.data()), static_cast<int32_t>(wide.size()),
                         &length, utf8.data(), static_cast<int32_t>(utf8.size()), u'?', nullptr,
                         &error);
    if (U_FAILURE(error)) throw std::runtime_error("UTF-8 conversion failed");
    wide.resize(static_cast<size_t>(length));
    return Utf16ToAnsi(wide);
}

}  // namespace qm
