#include "conversion/text/BookEncoding.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucsdet.h>

#include <algorithm>
#include <future>
#include <memory>
#include <optional>
#include <vector>

#include "conversion/text/DoubleByteTable.h"
#include "conversion/text/EncodingSigns.h"
#include "platform/Exceptions.h"
#include "zip/WorkerPool.h"

namespace qm {
namespace {

// The detector reads this much of a long book: enough for a sure answer,
// and a 100 MB book costs no more than a small one.
constexpr size_t kDetectorSample = size_t{64} << 10;
constexpr int32_t kSureConfidence = 50;
constexpr size_t kDecodeSlice = size_t{1} << 20;

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

struct DetectorCloser {
    void operator()(UCharsetDetector* d) const { ucsdet_close(d); }
};

Converter OpenConverter(const std::string& name) {
    UErrorCode error = U_ZERO_ERROR;
    Converter converter(ucnv_open(name.c_str(), &error));
    if (U_FAILURE(error)) converter.reset();
    return converter;
}

// True when the whole text decodes from the encoding with no bad sequence.
// Decoded through a fixed buffer: a long book needs no copy of its own.
bool DecodesCleanly(std::string_view bytes, const char* name) {
    Converter converter = OpenConverter(name);
    if (!converter) return false;
    UErrorCode error = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &error);
    UChar buffer[16384];
    const char* source = bytes.data();
    do {
        error = U_ZERO_ERROR;
        UChar* target = buffer;
        ucnv_toUnicode(converter.get(), &target, buffer + std::size(buffer), &source,
                       bytes.data() + bytes.size(), nullptr, true, &error);
    } while (error == U_BUFFER_OVERFLOW_ERROR);
    return U_SUCCESS(error);
}

// The detector's answer and its confidence (0..100).
std::string DetectorGuess(std::string_view bytes, int32_t& confidence) {
    confidence = 0;
    UErrorCode error = U_ZERO_ERROR;
    std::unique_ptr<UCharsetDetector, DetectorCloser> detector(ucsdet_open(&error));
    if (U_FAILURE(error)) return {};
    ucsdet_setText(detector.get(), bytes.data(), static_cast<int32_t>(bytes.size()), &error);
    const UCharsetMatch* match = ucsdet_detect(detector.get(), &error);
    if (U_FAILURE(error) || !match) return {};
    const char* name = ucsdet_getName(match, &error);
    confidence = ucsdet_getConfidence(match, &error);
    return U_SUCCESS(error) && name ? name : "";
}

// Counts each sequence that does not decode and puts U+FFFD in its place.
void CountingSubstitute(const void* context, UConverterToUnicodeArgs* args, const char*, int32_t,
                        UConverterCallbackReason reason, UErrorCode* error) {
    if (reason > UCNV_IRREGULAR) return;  // reset, close and clone need nothing
    ++*static_cast<int64_t*>(const_cast<void*>(context));
    static const UChar replacement = 0xFFFD;
    *error = U_ZERO_ERROR;
    ucnv_cbToUWriteUChars(args, &replacement, 1, 0, error);
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        // Eight ASCII bytes at a time: most of a Latin text, and the markup
        // and digits of a Chinese one.
        while (end - p >= 8) {
            uint64_t word;
            std::copy(p, p + 8, reinterpret_cast<unsigned char*>(&word));
            if (word & UINT64_C(0x8080808080808080)) break;
            p += 8;
        }
        if (p >= end) break;
        const unsigned lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        const auto [length, low, high] = Utf8LeadOf(lead);
        if (length == 0) return false;
        if (static_cast<size_t>(end - p) < length || p[1] < low || p[1] > high) return false;
        for (size_t i = 2; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
        }
        p += length;
    }
    return true;
}

bool IsBig5Book(std::string_view bytes) {
    int32_t confidence = 0;
    const std::string guess = DetectorGuess(bytes.substr(0, kDetectorSample), confidence);
    // Past the short texts, Big5 is said only on this guess.
    const bool may = bytes.size() < kShortTextSize || guess.rfind("Big5", 0) == 0;
    return may && DetectBookEncoding(bytes).starts_with("Big5");
}

bool IsKnownEncoding(const std::string& name) {
    return !name.empty() && OpenConverter(name) != nullptr;
}

std::string DetectBookEncoding(std::string_view bytes, bool* guessed) {
    if (guessed) *guessed = false;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return "UTF-8";
    if (bytes.substr(0, 2) == "\xFF\xFE") return "UTF-16LE";
    if (bytes.substr(0, 2) == "\xFE\xFF") return "UTF-16BE";
    if (IsValidUtf8(bytes)) return "UTF-8";
    if (guessed) *guessed = true;
    // A cut last character or a pasted line in another encoding leaves a
    // UTF-8 book UTF-8: a few replaced sequences rather than a whole book of
    // mojibake.
    if (IsMostlyUtf8(SurveyUtf8(bytes))) return "UTF-8";
    switch (BomlessUtf16Order(bytes)) {
        case TUtf16Order::LittleEndian:
            return "UTF-16LE";
        case TUtf16Order::BigEndian:
            return "UTF-16BE";
        case TUtf16Order::None:
            break;
    }
    int32_t confidence = 0;
    const std::string guess = DetectorGuess(bytes.substr(0, kDetectorSample), confidence);
    if (bytes.size() < kShortTextSize) {
        // Measured on the sample book cut short: ICU names Big5 with full
        // confidence from 16 characters on, and gives no Chinese answer
        // below; GB18030 reads every shorter text.
        const bool big5 =
            (guess == "Big5" && confidence >= kSureConfidence) ||
            (!DecodesCleanly(bytes, "GB18030") && DecodesCleanly(bytes, "Big5-HKSCS"));
        return big5 ? "Big5-HKSCS" : "GB18030";
    }
    if (guess.rfind("Big5", 0) == 0) return "Big5-HKSCS";
    // GBK text with its characters spread evenly passes for Korean or
    // Japanese; a Chinese book is far more likely here, and --encoding
    // still reads a real Korean or Japanese one.
    if ((guess == "EUC-KR" || guess == "Shift_JIS") && DecodesCleanly(bytes, "GB18030")) {
        return "GB18030";
    }
    for (const char* name : {"Shift_JIS", "EUC-JP", "EUC-KR"}) {
        if (guess == name) return guess;
    }
    // The zero bytes did not settle it; the detector's UTF-16 only when the
    // text reads as such.
    for (const char* name : {"UTF-16LE", "UTF-16BE"}) {
        if (guess == name && DecodesCleanly(bytes, name)) return guess;
    }
    return "GB18030";  // GB2312, GBK and GB18030 guesses, and anything unsure
}

namespace {

// The converter from the encoding to UTF-8, counting what does not decode.
class TIcuDecoder {
  public:
    explicit TIcuDecoder(const std::string& encoding)
        : from_(OpenConverter(encoding)), to_(OpenConverter("UTF-8")) {
        if (!from_ || !to_) throw Exception("Unknown text encoding \"" + encoding + "\".");
        UErrorCode error = U_ZERO_ERROR;
        ucnv_setToUCallBack(from_.get(), CountingSubstitute, &replaced_, nullptr, nullptr, &error);
    }

    // Appends the UTF-8 of the next slice; first starts afresh, last ends
    // the text (a sequence still open then counts as not decoding).
    void Append(std::string& out, std::string_view bytes, bool first, bool last) {
        // The pivot and the target sized for what they take (a short text
        // needs no megabytes cleared); a full one is emptied and filled again.
        // The pivot may hold units between calls, so it changes only at a start.
        if (first) {
            const size_t pivotSize = std::min<size_t>(16384, bytes.size() + 16);
            if (pivot_.size() < pivotSize) pivot_.resize(pivotSize);
            pivotSource_ = pivotTarget_ = pivot_.data();
        }
        const size_t bufferSize = std::min(kDecodeSlice, bytes.size()) * 3 + 16;
        if (buffer_.size() < bufferSize) buffer_.resize(bufferSize);
        const char* source = bytes.data();
        const char* sourceEnd = source + bytes.size();
        UErrorCode error = U_ZERO_ERROR;
        do {
            char* target = buffer_.data();
            error = U_ZERO_ERROR;
            ucnv_convertEx(to_.get(), from_.get(), &target, buffer_.data() + buffer_.size(),
                           &source, sourceEnd, pivot_.data(), &pivotSource_, &pivotTarget_,
                           pivot_.data() + pivot_.size(), first, last, &error);
            first = false;
            out.append(buffer_.data(), static_cast<size_t>(target - buffer_.data()));
        } while (error == U_BUFFER_OVERFLOW_ERROR);
        if (U_FAILURE(error))
            throw Exception(std::string("Decoding failed: ") + u_errorName(error));
    }

    int64_t Replaced() const { return replaced_; }

  private:
    Converter from_, to_;
    int64_t replaced_ = 0;
    std::u16string pivot_;
    UChar* pivotSource_ = nullptr;
    UChar* pivotTarget_ = nullptr;
    std::string buffer_;
};

// A mark (U+FEFF) at the very start says how the file is encoded; it is no
// part of the text.
void DropByteOrderMark(std::string& text) {
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
}

// Decodes the bytes in order, a slice at a time; progress, when given, gets
// the share done after each slice.
TDecodedText DecodeInOrder(std::string_view bytes, const std::string& encoding,
                           const std::function<void(int)>& progress, bool atStart) {
    TDecodedText result;
    TIcuDecoder decoder(encoding);
    result.text.reserve(bytes.size() + bytes.size() / 2);
    size_t done = 0;
    do {
        const size_t count = std::min(kDecodeSlice, bytes.size() - done);
        decoder.Append(result.text, bytes.substr(done, count), done == 0,
                       done + count == bytes.size());
        if (atStart && done == 0) DropByteOrderMark(result.text);
        done += count;
        if (progress) progress(bytes.empty() ? 100 : static_cast<int>(done * 100 / bytes.size()));
    } while (done < bytes.size());
    result.replaced = decoder.Replaced();
    return result;
}

// The same by the encoding's table: what it does not hold goes through the
// converter, from there to the next line feed, where the converter holds no
// state. A slice at a time, each ending at a line feed.
TDecodedText DecodeByTable(std::string_view bytes, const std::string& encoding,
                           const TDoubleByteTable& table, const std::function<void(int)>& progress,
                           bool atStart) {
    TDecodedText result;
    std::optional<TIcuDecoder> decoder;
    result.text.reserve(bytes.size() + bytes.size() / 2);
    size_t done = 0;
    do {
        size_t end = bytes.find('\n', std::min(bytes.size(), done + kDecodeSlice));
        end = end == std::string_view::npos ? bytes.size() : end + 1;
        const bool first = done == 0;
        while ((done += table.Decode(result.text, bytes.substr(done, end - done))) < end) {
            const size_t lineFeed = bytes.find('\n', done);
            const size_t lineEnd = lineFeed < end ? lineFeed + 1 : end;
            if (!decoder) decoder.emplace(encoding);
            decoder->Append(result.text, bytes.substr(done, lineEnd - done), true, true);
            done = lineEnd;
        }
        if (atStart && first) DropByteOrderMark(result.text);
        if (progress) progress(bytes.empty() ? 100 : static_cast<int>(done * 100 / bytes.size()));
    } while (done < bytes.size());
    if (decoder) result.replaced = decoder->Replaced();
    return result;
}

// By the table when the encoding has one.
TDecodedText DecodeWhole(std::string_view bytes, const std::string& encoding,
                         const std::function<void(int)>& progress, bool atStart) {
    if (const TDoubleByteTable* table = TDoubleByteTable::For(encoding))
        return DecodeByTable(bytes, encoding, *table, progress, atStart);
    return DecodeInOrder(bytes, encoding, progress, atStart);
}

// Valid UTF-8 needs no converting, the common case of a UTF-8 book: it is
// copied a slice at a time, each ending at a line feed (never inside a
// sequence) and checked as it goes. Nothing when a slice is not valid.
std::optional<TDecodedText> CopyValidUtf8(std::string_view bytes,
                                          const std::function<void(int)>& progress) {
    TDecodedText result;
    result.text.reserve(bytes.size());
    size_t done = bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    while (done < bytes.size()) {
        size_t end = bytes.find('\n', std::min(bytes.size(), done + kDecodeSlice));
        end = end == std::string_view::npos ? bytes.size() : end + 1;
        const std::string_view slice = bytes.substr(done, end - done);
        if (!IsValidUtf8(slice)) return std::nullopt;
        result.text.append(slice);
        done = end;
        if (progress) progress(static_cast<int>(done * 100 / bytes.size()));
    }
    if (progress && bytes.empty()) progress(100);
    return result;
}

// True for the encodings in which a line feed byte is always a line feed:
// ASCII-based ones without shift states, whose trail bytes are all above
// 0x2F. A text in one of them can be decoded in pieces cut after line feeds
// and the pieces joined, with the same result.
bool CutsAtLineFeeds(const std::string& encoding) {
    Converter asked = OpenConverter(encoding);
    if (!asked) return false;
    UErrorCode error = U_ZERO_ERROR;
    const std::string name = ucnv_getName(asked.get(), &error);
    for (const char* safe : {"UTF-8", "GB18030", "GBK", "GB2312", "Big5", "Big5-HKSCS", "Shift_JIS",
                             "EUC-JP", "EUC-KR", "windows-949"}) {
        Converter known = OpenConverter(safe);
        error = U_ZERO_ERROR;
        if (known && U_SUCCESS(error) && name == ucnv_getName(known.get(), &error)) return true;
    }
    return false;
}

// Pieces of about this size are decoded by the workers; a few per worker
// are in flight at a time, so memory stays near the text's own.
constexpr size_t kDecodePiece = size_t{4} << 20;

struct TDecodePiece {
    std::string_view bytes;
    TDecodedText decoded;
    std::future<void> done;
};

}  // namespace

TDecodedText DecodeBookText(std::string_view bytes, const std::string& encoding,
                            const std::function<void(int)>& progress, int threads) {
    {
        Converter from = OpenConverter(encoding);
        if (!from) throw Exception("Unknown text encoding \"" + encoding + "\".");
        if (ucnv_getType(from.get()) == UCNV_UTF8) {
            if (std::optional<TDecodedText> copied = CopyValidUtf8(bytes, progress))
                return std::move(*copied);
        }
    }
    if (threads == 1 || bytes.size() < 2 * kDecodePiece || !CutsAtLineFeeds(encoding)) {
        return DecodeWhole(bytes, encoding, progress, true);
    }
    std::vector<TDecodePiece> pieces;
    for (size_t start = 0; start < bytes.size();) {
        size_t end = bytes.find('\n', std::min(bytes.size(), start + kDecodePiece));
        end = end == std::string_view::npos ? bytes.size() : end + 1;
        pieces.emplace_back();
        pieces.back().bytes = bytes.substr(start, end - start);
        start = end;
    }
    TDecodedText result;
    result.text.reserve(bytes.size() + bytes.size() / 2);
    TWorkerPool pool(threads);  // goes first: no worker outlives the pieces
    const size_t window = static_cast<size_t>(pool.Threads()) * 2;
    size_t submitted = 0, done = 0;
    auto submit = [&] {
        TDecodePiece& piece = pieces[submitted++];
        piece.done = pool.Run([&piece, &pieces, &encoding] {
            piece.decoded = DecodeWhole(piece.bytes, encoding, {}, &piece == &pieces[0]);
        });
    };
    int percent = 0;
    for (size_t taken = 0; taken < pieces.size(); ++taken) {
        while (submitted < pieces.size() && submitted < taken + window) submit();
        TDecodePiece& piece = pieces[taken];
        piece.done.get();
        result.text += piece.decoded.text;
        result.replaced += piece.decoded.replaced;
        std::string().swap(piece.decoded.text);
        done += piece.bytes.size();
        percent = static_cast<int>(done * 100 / bytes.size());
        if (progress) progress(percent);
    }
    return result;
}

}  // namespace qm
