#include <gtest/gtest.h>

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
    EXPECT_EQ(Utf16ToAnsi(u"a\u0E01b"), "a?b");        // Thai is not in 936
    EXPECT_EQ(Utf16ToAnsi(u"a\U0001F600b"), "a?b");    // one emoji, one "?"
    EXPECT_EQ(Utf16ToAnsi(std::u16string(u"x") + char16_t(0xD800)), "x?");  // lone surrogate
    EXPECT_EQ(Utf8ToAnsi("a\xFF" "b"), "a?b");
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
