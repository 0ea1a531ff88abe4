#include <gtest/gtest.h>

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

TEST(CodePage, UnmappableAndMalformedBecomeQuestionMarks) {
    EXPECT_EQ(Utf16ToAnsi(u"a\u0E01b"), "a?b");                             // Thai is not in 936
    EXPECT_EQ(Utf16ToAnsi(u"a\U0001F600b"), "a?b");                         // one emoji, one "?"
    EXPECT_EQ(Utf16ToAnsi(std::u16string(u"x") + char16_t(0xD800)), "x?");  // lone surrogate
    EXPECT_EQ(Utf8ToAnsi("a\xFF"
                         "b"),
              "a?b");
    // A lead byte at the very end forms no character.
    EXPECT_EQ(AnsiToUtf16(std::string("a\xD6")), u"a?");
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
    for (int i = 0; i < 3000; ++i) ansi.push_back(static_cast<char>(random() % 256));
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

}  // namespace
}  // namespace qm
