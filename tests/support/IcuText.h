#pragma once
// Texts in other encodings for the tests, made with ICU: the texts used here
// map completely, so a failed conversion is a broken test.
#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <cstdint>
#include <string>

namespace qm::test {

inline std::string ConvertText(const std::string& text, const char* to, const char* from) {
    UErrorCode error = U_ZERO_ERROR;
    std::string out(text.size() * 4 + 8, '\0');
    const int32_t length = ucnv_convert(to, from, out.data(), static_cast<int32_t>(out.size()),
                                        text.data(), static_cast<int32_t>(text.size()), &error);
    EXPECT_TRUE(U_SUCCESS(error)) << u_errorName(error);
    out.resize(U_SUCCESS(error) ? static_cast<size_t>(length) : 0);
    return out;
}

// UTF-8 text in encoding, and back.
inline std::string Encode(const std::string& utf8, const char* encoding) {
    return ConvertText(utf8, encoding, "UTF-8");
}
inline std::string Decode(const std::string& bytes, const char* encoding) {
    return ConvertText(bytes, "UTF-8", encoding);
}

}  // namespace qm::test
