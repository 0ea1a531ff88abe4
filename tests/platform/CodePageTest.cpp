#include <gtest/gtest.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>

#include <random>

#include "platform/CodePage.h"
#include "support/TestSupport.h"

using qm::test::Hex;

namespace qm {
namespace {

TEST(CodePage, ConvertsBetween936Utf16AndUtf8) {
    EXPECT_EQ(AnsiToUtf8(Hex("D6 D0")), Hex("E4 B8 AD"));  // 中
    EXPECT_EQ(AnsiToUtf16(Hex("D6 D0 CE C4")), u"中文");
    EXPECT_EQ(Utf16ToAnsi(u"中文abc"), Hex("D6 D0 CE C4") + "abc");
    EXPECT_EQ(Utf8ToAnsi("中文"), Hex("D6 D0 CE C4"));
    EXPECT_EQ(AnsiToUtf8(""), "");
    // The Windows table: 0x80 is the euro sign.
    EXPECT_EQ(AnsiToUtf8(Hex("80")), "€");
}

TEST(CodePage, MalformedBecomesQuestionMarks) {
    EXPECT_EQ(Utf16ToAnsi(std::u16string(u"x") + char16_t(0xD800)), "x?");  // lone surrogate
    EXPECT_EQ(Utf8ToAnsi("a\xFF"
                         "b"),
              "a?b");
    // A lead byte at the very end forms no character.
    EXPECT_EQ(AnsiToUtf16(std::string("a\xD6")), u"a?");
}

// What the code page lacks is written as a GB18030 four-byte sequence and
// read back whole; what it has keeps its own bytes.
TEST(CodePage, CharactersTheCodePageLacksSurviveAsFourByteSequences) {
    const struct {
        std::u16string text;
        std::string ansi;
    } cases[] = {
        {u"a\u0E01b", "a" + Hex("81 32 CE 39") + "b"},  // Thai
        {u"\U00020BB7", Hex("95 34 B2 35")},            // 𠮷, beyond the 16-bit range
        {u"☕한", Hex("81 37 A4 35 83 36 84 33")},
        {u"\u00AD", Hex("81 30 85 32")},  // a soft hyphen is a character too
        // ḿ: GB18030's two bytes A8 BC are code page 936's private-use
        // U+E7C7, so it takes the four bytes GB18030 gives that one.
        {u"\u1E3F\uE7C7", Hex("81 35 F4 37 A8 BC")},
        {u"中1文", Hex("D6 D0 31 CE C4")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf16ToAnsi(c.text), c.ansi);
        EXPECT_EQ(AnsiToUtf16(c.ansi), c.text);
    }
    // A sequence GB18030 leaves unassigned reads as before: each lead byte a
    // "?"; U+FFFF, which XML does not allow, stays "?" too.
    EXPECT_EQ(AnsiToUtf16(Hex("84 31 A5 30")), u"?1?0");
    EXPECT_EQ(Utf16ToAnsi(u"\uFFFF"), "?");

    // Every character the code page lacks: one sequence, read back as itself.
    size_t lacking = 0;
    for (char32_t c = 0; c <= 0x10FFFF; c += c < 0x10000 ? 1 : 61) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        std::u16string text;
        if (c < 0x10000) {
            text.push_back(static_cast<char16_t>(c));
        } else {
            text.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        }
        const std::string ansi = Utf16ToAnsi(text);
        if (ansi.size() == 4 && (ansi[1] & 0xF0) == 0x30) {
            ++lacking;
            ASSERT_EQ(AnsiToUtf16(ansi), text) << std::hex << static_cast<uint32_t>(c);
        } else {
            ASSERT_LE(ansi.size(), 2u) << std::hex << static_cast<uint32_t>(c);
        }
    }
    EXPECT_GT(lacking, 40000u);
}

TEST(CodePage, LongTextsConvertAcrossSliceBoundaries) {
    std::string text;
    for (int i = 0; i < 40000; ++i) text += Hex("D6 D0") + "a";
    const std::string utf8 = AnsiToUtf8(text);
    ASSERT_EQ(utf8.size(), 40000u * 4);
    EXPECT_EQ(Utf8ToAnsi(utf8), text);
}

TEST(CodePage, LeadByteRange) {
    EXPECT_FALSE(IsLeadByte(0x80));
    EXPECT_TRUE(IsLeadByte(0x81));
    EXPECT_TRUE(IsLeadByte(0xFE));
    EXPECT_FALSE(IsLeadByte(0xFF));
    EXPECT_FALSE(IsLeadByte('a'));
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

// Slices of every small size cut characters, pairs and bad sequences in all
// places; the converters must still give what one call gives.
TEST(CodePage, SliceBySliceConversionEqualsOnePiece) {
    std::mt19937 random(936);
    std::string ansi;
    // Random bytes, and four-byte sequences whole and broken.
    const std::string sequences[] = {Hex("95 34 B2 35"), Hex("81 30 D4"), Hex("81 30"),
                                     Hex("D6 D0 31")};
    for (int i = 0; i < 3000; ++i) {
        if (random() % 8 == 0) ansi += sequences[random() % std::size(sequences)];
        ansi.push_back(static_cast<char>(random() % 256));
    }
    ansi += '\n';
    ansi += Hex("D6");  // a lead byte cut off at the very end
    std::u16string wide;
    const std::u16string pieces[] = {u"a",
                                     u"中",
                                     u"\U0001F600",
                                     std::u16string(1, 0xD800),
                                     std::u16string(1, 0xDC00),
                                     u"\u0E01",
                                     std::u16string(1, 0)};
    for (int i = 0; i < 1500; ++i) wide += pieces[random() % std::size(pieces)];
    wide += char16_t(0xD83D);  // a pair cut off at the very end

    const std::string utf8 = AnsiToUtf8(ansi);
    const std::string narrow = Utf16ToAnsi(wide);
    for (size_t slice : {1, 2, 3, 5, 64}) {
        SCOPED_TRACE(slice);
        TAnsiToUtf8Converter toUtf8;
        TUtf16ToAnsiConverter toAnsi;
        std::string utf8Slices, narrowSlices;
        for (size_t i = 0; i < ansi.size(); i += slice) {
            toUtf8.Append(utf8Slices, std::string_view(ansi).substr(i, slice), false);
        }
        for (size_t i = 0; i < wide.size(); i += slice) {
            toAnsi.Append(narrowSlices, std::u16string_view(wide).substr(i, slice), false);
        }
        toUtf8.Append(utf8Slices, {}, true);
        toAnsi.Append(narrowSlices, {}, true);
        EXPECT_EQ(utf8Slices, utf8);
        EXPECT_EQ(narrowSlices, narrow);
    }
    EXPECT_EQ(utf8.substr(utf8.size() - 2), "\n?");
    EXPECT_EQ(narrow.substr(narrow.size() - 1), "?");
}

// Decoding looks pairs up in a table; what ICU's converter itself gives (each
// malformed sequence one "?") is the judge, for every pair, every lone lead
// byte at the end and random text. Digits are left out: after a lead byte
// they may start a four-byte sequence, which the code page lacks.
TEST(CodePage, TableDecodingGivesWhatTheConverterGives) {
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open("windows-936-2000", &error);
    ASSERT_TRUE(U_SUCCESS(error));
    ucnv_setToUCallBack(
        converter,
        [](const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
           UConverterCallbackReason reason, UErrorCode* status) {
            if (reason > UCNV_IRREGULAR) return;
            *status = U_ZERO_ERROR;
            const UChar question = u'?';
            ucnv_cbToUWriteUChars(args, &question, 1, 0, status);
        },
        nullptr, nullptr, nullptr, &error);
    const auto reference = [&](const std::string& ansi) {
        std::u16string wide(ansi.size() * 2 + 4, u'\0');
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length = ucnv_toUChars(converter, wide.data(), int32_t(wide.size()),
                                             ansi.data(), int32_t(ansi.size()), &status);
        wide.resize(size_t(length));
        std::string utf8(wide.size() * 3, '\0');
        int32_t written = 0;
        u_strToUTF8(utf8.data(), int32_t(utf8.size()), &written, wide.data(), int32_t(wide.size()),
                    &status);
        utf8.resize(size_t(written));
        return utf8;
    };
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int second = 0; second < 256; ++second) {
            if (second >= '0' && second <= '9') continue;
            const std::string ansi = {'a', char(lead), char(second), 'b'};
            ASSERT_EQ(AnsiToUtf8(ansi), reference(ansi)) << lead << " " << second;
        }
        ASSERT_EQ(AnsiToUtf8(std::string("a") + char(lead)),
                  reference(std::string("a") + char(lead)));
    }
    std::mt19937 random(2000);
    std::string ansi;
    for (int i = 0; i < 20000; ++i) {
        const auto byte = char(random() % 256);
        ansi.push_back(byte >= '0' && byte <= '9' ? 'x' : byte);
    }
    EXPECT_EQ(AnsiToUtf8(ansi), reference(ansi));
    ucnv_close(converter);
}

}  // namespace
}  // namespace qm
