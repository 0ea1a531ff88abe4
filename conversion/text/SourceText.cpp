#include "conversion/text/SourceText.h"

#include <algorithm>
#include <functional>

#include "conversion/text/EncodingSigns.h"
#include "platform/CodePage.h"
#include "platform/FileStream.h"
#include "platform/Format.h"

namespace qm {
namespace {

// A load's progress: reading up to kReadShare, then checking UTF-8 up to
// kCheckedShare, then converting.
constexpr int kReadShare = 10;
constexpr int kCheckedShare = 35;

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
std::string ConvertUtf16(const std::string& raw, bool littleEndian, size_t sliceSize,
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
bool DecodeUtf8Slices(const std::string& raw, size_t sliceSize, TCutEnd cutEnd,
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

// Checks the whole content first, so a code page 936 book, which may pass
// for UTF-8 over a long stretch, costs no conversion; then decodes and
// converts it.
bool ConvertUtf8(const std::string& raw, size_t sliceSize, TCutEnd cutEnd,
                 const TLoadProgress& checkProgress, const TLoadProgress& convertProgress,
                 std::string& text) {
    const bool decodes = DecodeUtf8Slices(
        raw, sliceSize, cutEnd,
        [&](const std::u16string&, size_t done) { checkProgress(Percent(done, raw.size())); });
    if (!decodes) return false;
    text.reserve(raw.size());  // never longer than the UTF-8 it comes from
    TUtf16ToAnsiConverter converter;
    DecodeUtf8Slices(raw, sliceSize, cutEnd, [&](const std::u16string& units, size_t done) {
        converter.Append(text, units, false);
        convertProgress(Percent(done, raw.size()));
    });
    converter.Append(text, {}, true);
    return true;
}

// Refuses a book of 2 GiB or more.
void CheckSourceSize(const std::string& path, int64_t size) {
    if (size > kMaxSourceSize) {
        throw ESourceTooLarge(Format(
            "The file \"%s\" is 2 GiB or larger; books must be smaller than 2 GiB.", path.c_str()));
    }
}

// Reads the file from position to its end into raw. Grown a slice at a
// time: a whole-book resize would fill all its memory in one go before the
// first slice is read.
void ReadRest(TStream& file, int64_t position, std::string& raw, const TLoadProgress& progress,
              size_t sliceSize) {
    file.SetPosition(position);
    const auto total = static_cast<size_t>(file.Size() - position);
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
    CheckSourceSize(path, file.Size());
    std::string raw;
    ReadRest(file, 0, raw, progress, sliceSize);
    return raw;
}

void ReadSourceBytes(const std::string& path, TSourceKind& kind, std::string& raw,
                     const TLoadProgress& progress, size_t sliceSize) {
    TFileStream file(path, fmOpenRead | fmShareDenyNone);
    ReadSourceBytes(file, path, kind, raw, progress, sliceSize);
}

void ReadSourceBytes(TStream& file, const std::string& path, TSourceKind& kind, std::string& raw,
                     const TLoadProgress& progress, size_t sliceSize) {
    CheckSourceSize(path, file.Size());
    unsigned char mark[3] = {0, 0, 0};
    int64_t position = 0;
    kind = skAnsi;
    if (file.Read(mark, 2) == 2) {
        const unsigned value = mark[0] * 256u + mark[1];
        if (value == 0xFFFE) {
            kind = skUtf16LE;
            position = 2;
        } else if (value == 0xFEFF) {
            kind = skUtf16BE;
            position = 2;
        } else if (value == 0xEFBB) {
            file.ReadBuffer(mark + 2, 1);  // the third byte, whatever it is
            kind = skUtf8Bom;
            position = 3;
        }
    }
    ReadRest(file, position, raw, progress, sliceSize);
}

std::string LoadSourceText(const std::string& path, const TLoadProgress& progress,
                           size_t sliceSize) {
    TFileStream file(path, fmOpenRead | fmShareDenyNone);
    return LoadSourceText(file, path, progress, sliceSize);
}

std::string LoadSourceText(TStream& file, const std::string& path, const TLoadProgress& progress,
                           size_t sliceSize) {
    sliceSize = std::max<size_t>(1, sliceSize);
    // Each stage reports its own 0..100 as its share of the whole load.
    auto stage = [&progress](int from, int to) -> TLoadProgress {
        return [&progress, from, to](int percent) {
            if (progress) progress(from + percent * (to - from) / 100);
        };
    };
    TSourceKind kind = skAnsi;
    std::string raw;
    ReadSourceBytes(file, path, kind, raw, stage(0, kReadShare), sliceSize);
    if (kind == skUtf16LE || kind == skUtf16BE) {
        return ConvertUtf16(raw, kind == skUtf16LE, sliceSize, stage(kReadShare, 100));
    }
    std::string text;
    const bool decodes =
        ConvertUtf8(raw, sliceSize, kind == skUtf8Bom ? TCutEnd::Allowed : TCutEnd::AfterWide,
                    stage(kReadShare, kCheckedShare), stage(kCheckedShare, 100), text);
    if (decodes && (kind == skUtf8Bom || !text.empty())) return text;
    if (kind == skUtf8Bom) return {};
    const TUtf16Order order = BomlessUtf16Order(raw);
    if (order != TUtf16Order::None) {
        return ConvertUtf16(raw, order == TUtf16Order::LittleEndian, sliceSize,
                            stage(kCheckedShare, 100));
    }
    return raw;  // taken as code page 936 already
}

}  // namespace qm
