#include "conversion/text/SourceText.h"

#include <algorithm>
#include <functional>

#include "conversion/text/BookEncoding.h"
#include "conversion/text/EncodingSigns.h"
#include "platform/CodePage.h"
#include "platform/FileStream.h"
#include "platform/Format.h"

namespace qm {
namespace {

// A marked UTF-8 text is checked in the first kMarkedCheckShare of its
// conversion's progress.
constexpr int kMarkedCheckShare = 40;
// A Big5 text is decoded in the first kBig5DecodeShare, then converted.
constexpr int kBig5DecodeShare = 50;

bool IsContinuation(unsigned char byte) {
    return byte >= 0x80 && byte <= 0xBF;
}

// Decodes the sequences that start before stop, from p on, appending them
// to text; a sequence may reach beyond stop up to end. Leaves p after the
// last sequence decoded. False at a bad continuation byte or a sequence cut
// off by end, with p at its first byte. wide is set by a sequence of three or
// four bytes.
bool DecodeUtf8Run(const unsigned char*& p, const unsigned char* stop, const unsigned char* end,
                   std::u16string& text, bool& wide, size_t& pairs) {
    while (p < stop) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            text.push_back(lead);
            ++p;
            continue;
        }
        // A well-formed four-byte sequence is one character beyond the BMP.
        if (lead >= 0xF0 && lead <= 0xF4 && end - p >= 4 && IsContinuation(p[1]) &&
            IsContinuation(p[2]) && IsContinuation(p[3])) {
            const uint32_t c = ((lead & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) |
                               ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
            if (c >= 0x10000 && c <= 0x10FFFF) {
                text.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
                text.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
                p += 4;
                wide = true;
                continue;
            }
        }
        if ((lead & 0x20) == 0) {
            if (end - p < 2 || !IsContinuation(p[1])) return false;
            text.push_back(static_cast<char16_t>((lead & 0x1Fu) * 64 + (p[1] & 0x3Fu)));
            p += 2;
            ++pairs;
        } else {
            if (end - p < 3 || !IsContinuation(p[1]) || !IsContinuation(p[2])) return false;
            text.push_back(static_cast<char16_t>((lead & 0x0Fu) * 4096 + (p[1] & 0x3Fu) * 64 +
                                                 (p[2] & 0x3Fu)));
            p += 3;
            wide = true;
        }
    }
    return true;
}

// True when the bytes from p to end are the start of a sequence that the
// end of the text cuts off: its first byte and continuation bytes only.
bool IsCutSequence(const unsigned char* p, const unsigned char* end) {
    const unsigned char lead = *p;
    const ptrdiff_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : (lead & 0x20) == 0 ? 2 : 3;
    if (end - p >= length) return false;
    for (const unsigned char* q = p + 1; q < end; ++q) {
        if (!IsContinuation(*q)) return false;
    }
    return true;
}

int Percent(size_t done, size_t total) {
    return total == 0 ? 100 : static_cast<int>(done * uint64_t{100} / total);
}

// Converts UTF-16 units (an odd last byte is dropped). A zero unit is left
// out like the other characters XML forbids; the text after it is kept.
std::string ConvertUtf16(std::string_view raw, bool littleEndian, size_t sliceSize,
                         const TLoadProgress& progress) {
    std::string text;
    text.reserve(raw.size());  // two bytes per unit at most
    TUtf16ToAnsiConverter converter;
    std::u16string units;
    const size_t count = raw.size() / 2;
    const size_t unitsPerSlice = std::max<size_t>(1, sliceSize / 2);
    units.reserve(std::min(count, unitsPerSlice));
    for (size_t i = 0; i < count;) {
        units.clear();
        const size_t stop = std::min(count, i + unitsPerSlice);
        for (; i < stop; ++i) {
            const unsigned first = static_cast<unsigned char>(raw[2 * i]);
            const unsigned second = static_cast<unsigned char>(raw[2 * i + 1]);
            const auto unit =
                static_cast<char16_t>(littleEndian ? first | second << 8 : first << 8 | second);
            if (unit != u'\0') units.push_back(unit);
        }
        converter.Append(text, units, false);
        progress(Percent(i, count));
    }
    converter.Append(text, {}, true);
    return text;
}

// When a UTF-8 text may end in a cut character (which becomes U+FFFD): with
// a mark always; without one only after a character of three or more bytes
// or kCutPairs of two bytes (Cyrillic, Greek, accented Latin), so a code
// page 936 text that happens to pass for UTF-8 up to its last character
// stays code page 936.
enum class TCutEnd { Allowed, AfterWide };
constexpr size_t kCutPairs = 16;

// Decodes UTF-8 a slice at a time, handing each slice's characters and the
// bytes done so far to onSlice; false when the content fails the rule.
bool DecodeUtf8Slices(std::string_view raw, size_t sliceSize, TCutEnd cutEnd,
                      const std::function<void(const std::u16string&, size_t)>& onSlice) {
    bool wide = false;
    size_t pairs = 0;
    std::u16string units;
    units.reserve(std::min(raw.size(), sliceSize) + 2);
    const auto* begin = reinterpret_cast<const unsigned char*>(raw.data());
    const auto* end = begin + raw.size();
    for (const unsigned char* p = begin; p < end;) {
        units.clear();
        const unsigned char* stop =
            end - p > static_cast<ptrdiff_t>(sliceSize) ? p + sliceSize : end;
        if (!DecodeUtf8Run(p, stop, end, units, wide, pairs)) {
            if (!IsCutSequence(p, end) ||
                (cutEnd == TCutEnd::AfterWide && !wide && pairs < kCutPairs))
                return false;
            units.push_back(u'\uFFFD');
            p = end;
        }
        onSlice(units, static_cast<size_t>(p - begin));
    }
    return true;
}

// True when the whole content is UTF-8 by the rule. Checked before any
// conversion, so a code page 936 book, which may pass for UTF-8 over a long
// stretch, costs no conversion.
bool ChecksAsUtf8(std::string_view raw, size_t sliceSize, TCutEnd cutEnd,
                  const TLoadProgress& progress) {
    return DecodeUtf8Slices(raw, sliceSize, cutEnd, [&](const std::u16string&, size_t done) {
        if (progress) progress(Percent(done, raw.size()));
    });
}

// Converts UTF-8 that passed ChecksAsUtf8 with the same cutEnd.
std::string ConvertCheckedUtf8(std::string_view raw, size_t sliceSize, TCutEnd cutEnd,
                               const TLoadProgress& progress) {
    std::string text;
    text.reserve(raw.size());  // never longer than the UTF-8 it comes from
    TUtf16ToAnsiConverter converter;
    DecodeUtf8Slices(raw, sliceSize, cutEnd, [&](const std::u16string& units, size_t done) {
        converter.Append(text, units, false);
        if (progress) progress(Percent(done, raw.size()));
    });
    converter.Append(text, {}, true);
    return text;
}

// Big5 to code page 936, the characters it lacks kept as four-byte
// sequences: decoded into UTF-8 (sequences that do not decode become
// U+FFFD), then converted like a UTF-8 book.
std::string ConvertBig5(std::string_view raw, size_t sliceSize, const TLoadProgress& progress) {
    const std::string utf8 =
        DecodeBookText(raw, kBig5Encoding, ProgressShare(progress, 0, kBig5DecodeShare)).text;
    return ConvertCheckedUtf8(utf8, sliceSize, TCutEnd::Allowed,
                              ProgressShare(progress, kBig5DecodeShare, 100));
}

// Refuses a book of 2 GiB or more.
void CheckSourceSize(const std::string& path, int64_t size) {
    if (size > kMaxSourceSize) {
        throw ESourceTooLarge(Format(
            "The file \"%s\" is 2 GiB or larger; books must be smaller than 2 GiB.", path.c_str()));
    }
}

// Reads the whole file into raw. Grown a slice at a
// time: a whole-book resize would fill all its memory in one go before the
// first slice is read.
void ReadWhole(TStream& file, std::string& raw, const TLoadProgress& progress, size_t sliceSize) {
    file.SetPosition(0);
    const auto total = static_cast<size_t>(file.Size());
    raw.clear();
    raw.reserve(total);
    sliceSize = std::max<size_t>(1, sliceSize);
    while (raw.size() < total) {
        const size_t done = raw.size();
        const size_t count = std::min(sliceSize, total - done);
        raw.resize(done + count);
        file.ReadBuffer(raw.data() + done, static_cast<int64_t>(count));
        if (progress) progress(Percent(done + count, total));
    }
}

}  // namespace

std::string ReadSourceFile(const std::string& path, const TLoadProgress& progress,
                           size_t sliceSize) {
    TFileStream file(path, fmOpenRead | fmShareDenyNone);
    return ReadSourceFile(file, path, progress, sliceSize);
}

std::string ReadSourceFile(TStream& file, const std::string& path, const TLoadProgress& progress,
                           size_t sliceSize) {
    CheckSourceSize(path, file.Size());
    std::string raw;
    ReadWhole(file, raw, progress, sliceSize);
    return raw;
}

TSourceEncoding FindCodePageEncoding(std::string_view raw, const TLoadProgress& progress,
                                     size_t sliceSize) {
    sliceSize = std::max<size_t>(1, sliceSize);
    if (raw.size() >= 2) {
        const unsigned value =
            static_cast<unsigned char>(raw[0]) * 256u + static_cast<unsigned char>(raw[1]);
        if (value == 0xFFFE) return {"UTF-16LE", 2};
        if (value == 0xFEFF) return {"UTF-16BE", 2};
        if (value == 0xEFBB) {
            // The mark's third byte is taken whatever it is; a file that
            // ends before it cannot be read as marked.
            if (raw.size() < 3) throw EReadError(kStreamReadError);
            return {"UTF-8", 3};
        }
    }
    if (!raw.empty() && ChecksAsUtf8(raw, sliceSize, TCutEnd::AfterWide, progress)) {
        return {"UTF-8"};
    }
    switch (BomlessUtf16Order(raw)) {
        case TUtf16Order::LittleEndian:
            return {"UTF-16LE", 0, true};
        case TUtf16Order::BigEndian:
            return {"UTF-16BE", 0, true};
        case TUtf16Order::None:
            break;
    }
    // Read as code page 936, a Big5 book comes out garbled throughout; where
    // the standard kind's detector finds Big5 the classic kind reads it so.
    if (IsBig5Book(raw)) return {kBig5Encoding, 0, true};
    return {kCodePageEncoding, 0, true};
}

std::string DecodeToCodePage(std::string raw, const TSourceEncoding& encoding,
                             const TLoadProgress& progress, size_t sliceSize) {
    sliceSize = std::max<size_t>(1, sliceSize);
    const std::string_view text = std::string_view(raw).substr(encoding.markLength);
    if (encoding.name == "UTF-16LE" || encoding.name == "UTF-16BE") {
        return ConvertUtf16(text, encoding.name == "UTF-16LE", sliceSize, progress);
    }
    if (encoding.name == kBig5Encoding) {
        return ConvertBig5(text, sliceSize, progress);
    }
    if (encoding.name != "UTF-8") return raw;  // code page 936 already
    if (encoding.markLength == 0) {
        return ConvertCheckedUtf8(text, sliceSize, TCutEnd::AfterWide, progress);
    }
    // A marked text is checked here, its first share of the progress.
    if (!ChecksAsUtf8(text, sliceSize, TCutEnd::Allowed,
                      ProgressShare(progress, 0, kMarkedCheckShare))) {
        return {};
    }
    return ConvertCheckedUtf8(text, sliceSize, TCutEnd::Allowed,
                              ProgressShare(progress, kMarkedCheckShare, 100));
}

std::string LoadSourceText(const std::string& path, const TLoadProgress& progress,
                           size_t sliceSize) {
    TFileStream file(path, fmOpenRead | fmShareDenyNone);
    return LoadSourceText(file, path, progress, sliceSize);
}

std::string LoadSourceText(TStream& file, const std::string& path, const TLoadProgress& progress,
                           size_t sliceSize) {
    return LoadSource(file, path, TDecodingRule::CodePage936, progress, 1, sliceSize).text;
}

}  // namespace qm
