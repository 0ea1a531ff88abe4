#include "platform/CodePageExtension.h"

#include <unicode/ucnv_cb.h>

#include <memory>
#include <stdexcept>

namespace qm {
namespace {

struct Closer {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, Closer>;

// A converter that reports every character it cannot convert, so nothing is
// replaced behind the caller's back.
Converter OpenStrict(const char* name) {
    UErrorCode error = U_ZERO_ERROR;
    Converter converter(ucnv_open(name, &error));
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                          &error);
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &error);
    if (U_FAILURE(error)) throw std::runtime_error(std::string(name) + " converter unavailable");
    return converter;
}

UConverter* Gb18030() {
    thread_local Converter converter = OpenStrict("GB18030");
    return converter.get();
}

UConverter* CodePage936() {
    thread_local Converter converter = OpenStrict("windows-936-2000");
    return converter.get();
}

// The bytes of c in the encoding, or -1 when it has none. Default-ignorable
// characters count as lacking: the strict callback passes over them.
int32_t Encode(UConverter* converter, UChar32 c, char* out, int32_t capacity) {
    UChar units[2];
    int32_t count = 0;
    UBool failed = false;
    U16_APPEND(units, count, 2, c, failed);
    if (failed) return -1;
    ucnv_reset(converter);
    UErrorCode error = U_ZERO_ERROR;
    const int32_t length = ucnv_fromUChars(converter, out, capacity, units, count, &error);
    return U_SUCCESS(error) && length > 0 ? length : -1;
}

// The one character the bytes hold, or -1.
UChar32 DecodeOne(UConverter* converter, const char* bytes, int32_t length) {
    UChar units[4];
    ucnv_reset(converter);
    UErrorCode error = U_ZERO_ERROR;
    const int32_t count = ucnv_toUChars(converter, units, 4, bytes, length, &error);
    if (U_FAILURE(error) || count < 1) return -1;
    int32_t i = 0;
    UChar32 c = 0;
    U16_NEXT(units, i, count, c);
    return i == count ? c : -1;
}

// U+FFFE and U+FFFF: XML allows them nowhere, so they get no sequence and
// stay "?" as before.
bool IsNonCharacterForXml(UChar32 c) {
    return c == 0xFFFE || c == 0xFFFF;
}

bool IsLead(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

bool IsDigit(unsigned char byte) {
    return byte >= 0x30 && byte <= 0x39;
}

// True when the bytes follow the four-byte pattern as far as they go.
bool FollowsPattern(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size() && i < 4; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (i % 2 == 0 ? !IsLead(byte) : !IsDigit(byte)) return false;
    }
    return true;
}

}  // namespace

std::string_view ExtendedSequenceOf(UChar32 c, char (&buffer)[4]) {
    if (IsNonCharacterForXml(c)) return {};
    char bytes[8];
    int32_t length = Encode(Gb18030(), c, bytes, sizeof bytes);
    if (length == 2) {
        // A two-byte code of GB18030 reads as the twin in code page 936.
        const UChar32 twin = DecodeOne(CodePage936(), bytes, 2);
        length = twin < 0 ? -1 : Encode(Gb18030(), twin, bytes, sizeof bytes);
    }
    if (length != 4) return {};
    std::copy(bytes, bytes + 4, buffer);
    return std::string_view(buffer, 4);
}

UChar32 ExtendedCharacterAt(std::string_view bytes) {
    if (bytes.size() < 4 || !FollowsPattern(bytes)) return -1;
    const UChar32 c = DecodeOne(Gb18030(), bytes.data(), 4);
    if (c < 0 || IsNonCharacterForXml(c)) return -1;
    char twinBytes[8];
    const int32_t twinLength = Encode(CodePage936(), c, twinBytes, sizeof twinBytes);
    if (twinLength < 0) return c;
    // c has its own code in code page 936: the sequence stands for the
    // character GB18030 reads from that code, if code page 936 lacks it.
    const UChar32 meant = DecodeOne(Gb18030(), twinBytes, twinLength);
    char unused[8];
    return meant >= 0 && Encode(CodePage936(), meant, unused, sizeof unused) < 0 ? meant : -1;
}

bool MayBeginExtendedSequence(std::string_view bytes) {
    return !bytes.empty() && bytes.size() < 4 && FollowsPattern(bytes);
}

size_t CharacterLengthAt(std::string_view bytes) {
    if (bytes.empty()) return 0;
    if (!IsLead(static_cast<unsigned char>(bytes[0]))) return 1;
    if (bytes.size() >= 4 && IsDigit(static_cast<unsigned char>(bytes[1])) &&
        ExtendedCharacterAt(bytes.substr(0, 4)) >= 0) {
        return 4;
    }
    return bytes.size() >= 2 ? 2 : 1;
}

void WriteExtendedSequence(const void*, UConverterFromUnicodeArgs* args, const UChar*, int32_t,
                           UChar32 codePoint, UConverterCallbackReason reason, UErrorCode* error) {
    if (reason > UCNV_IRREGULAR) return;  // reset, close and clone need nothing
    *error = U_ZERO_ERROR;
    char buffer[4];
    std::string_view sequence;
    if (reason == UCNV_UNASSIGNED) sequence = ExtendedSequenceOf(codePoint, buffer);
    if (sequence.empty()) sequence = "?";  // a lone surrogate is no character
    ucnv_cbFromUWriteBytes(args, sequence.data(), static_cast<int32_t>(sequence.size()), 0, error);
}

}  // namespace qm
