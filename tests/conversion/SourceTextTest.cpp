#include <gtest/gtest.h>

#include "conversion/SourceText.h"
#include "platform/Exceptions.h"
#include "support/TestSupport.h"

using qm::test::Hex;

namespace qm {
namespace {

// 第一章 中文，"引号"与€。 with a CRLF: in code page 936 and UTF-8/16.
const std::string kGbk = Hex("B5 DA D2 BB D5 C2 20 D6 D0 CE C4 A3 AC A1 B0 D2 FD BA C5 A1 B1 D3 EB 80 A1 A3") + "\r\nabc";
const std::string kUtf8 = "第一章 中文，“引号”与€。\r\nabc";

class SourceTextTest : public ::testing::Test {
protected:
    std::string Load(const std::string& bytes) {
        const std::string path = dir_ / "book.txt";
        test::WriteFile(path, bytes);
        return LoadSourceText(path);
    }
    test::ScratchDir dir_;
};

TEST_F(SourceTextTest, EveryEncodingGivesTheSameWorkingText) {
    EXPECT_EQ(Load(kGbk), kGbk);
    EXPECT_EQ(Load(kUtf8), kGbk);
    EXPECT_EQ(Load("\xEF\xBB\xBF" + kUtf8), kGbk);
    EXPECT_EQ(Load("\xEF\xBB\x41" + kUtf8), kGbk);  // the third byte is not compared
    EXPECT_EQ(Load(test::Utf16LeWithMark(u"第一章 中文，“引号”与€。\r\nabc")), kGbk);
}

TEST_F(SourceTextTest, Utf16Rules) {
    // A zero unit is left out and the text after it kept; a character 936
    // lacks is "?".
    EXPECT_EQ(Load(test::Utf16LeWithMark(std::u16string(u"ab") + u'\0' + u"cd")), "abcd");
    EXPECT_EQ(Load(test::Utf16LeWithMark(u"a\u0E01b")), "a?b");
    EXPECT_EQ(Load(test::Utf16LeWithMark(u"ab") + "x"), "ab");  // an odd last byte is dropped
    // Big-endian is not recognised: its bytes, mark included, are the text.
    const std::string bigEndian = Hex("FE FF 4E 2D");
    EXPECT_EQ(Load(bigEndian), bigEndian);
}

TEST_F(SourceTextTest, FourByteUtf8IsOneCharacterAndTheRestIsKept) {
    EXPECT_EQ(Load("中\xF0\x9F\x98\x80文"), Hex("D6 D0") + "?" + Hex("CE C4"));
    EXPECT_EQ(Load("\xEF\xBB\xBF中\xF0\x9F\x98\x80文"), Hex("D6 D0") + "?" + Hex("CE C4"));
    // A four-byte lead without its continuation bytes still fails the rule.
    const std::string broken = "a\xF0\x9F" "b";
    EXPECT_EQ(Load(broken), broken);
    EXPECT_EQ(Load("\xEF\xBB\xBF" + broken), "");
}

TEST_F(SourceTextTest, EmptyMarkOnlyAndMissingFiles) {
    EXPECT_EQ(Load(""), "");
    EXPECT_EQ(Load("\xEF\xBB\xBF"), "");
    EXPECT_EQ(Load(Hex("FF FE")), "");
    EXPECT_EQ(Load("x"), "x");  // shorter than a mark
    const std::string missing = dir_ / "gone.txt";
    try {
        LoadSourceText(missing);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Cannot open file \"" + missing + "\". No such file or directory");
    }
    EXPECT_THROW(LoadSourceText(dir_.Path()), EFOpenError);
}

TEST_F(SourceTextTest, ZeroCharactersSurviveDecoding) {
    EXPECT_EQ(Load(std::string("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(Load(std::string("\xEF\xBB\xBF" "a\0b", 6)), std::string("a\0b", 3));
}

}  // namespace
}  // namespace qm
