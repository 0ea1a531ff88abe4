#include "platform/CodePage.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>

#include <memory>
#include <stdexcept>

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
    ucnv_setSubstChars(converter.get(), "?", 1, &error);
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

void AppendUtf8(std::string& out, const UChar* begin, const UChar* end) {
    for (const UChar* p = begin; p < end; ++p) {
        uint32_t c = *p;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && p + 1 < end && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
            ++p;
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
}

// 936 -> UTF-8 through a fixed UTF-16 buffer, so a whole book never needs
// a UTF-16 copy of its own. Without flush, a character cut off at the end of
// the slice stays in the converter for the next call.
void ToUtf8(UConverter* converter, std::string& out, std::string_view ansi, bool flush) {
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
    ToUtf8(converter_.get(), out, slice, last);
}

TUtf16ToAnsiConverter::TUtf16ToAnsiConverter() : converter_(OpenConverter()) {}

void TUtf16ToAnsiConverter::Append(std::string& out, std::u16string_view slice, bool last) {
    FromUtf16(converter_.get(), out, slice, last);
}

std::u16string AnsiToUtf16(std::string_view ansi) {
    std::u16string result(ansi.size(), u'\0');  // 936 maps into the BMP: one unit per byte at most
    if (ansi.empty()) return result;
    UConverter* converter = Converter();
    UErrorCode error = U_ZERO_ERROR;
    UChar* target = reinterpret_cast<UChar*>(result.data());
    const char* source = ansi.data();
    ucnv_toUnicode(converter, &target, target + result.size(), &source, ansi.data() + ansi.size(),
                   nullptr, true, &error);
    if (U_FAILURE(error)) throw std::runtime_error("code page 936 conversion failed");
    result.resize(static_cast<size_t>(target - reinterpret_cast<UChar*>(result.data())));
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
    ToUtf8(Converter(), result, ansi, true);
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
