#include <gtest/gtest.h>

#include "conversion/text/SourceText.h"
#include "platform/CodePage.h"
#include "platform/Exceptions.h"
#include "support/IcuText.h"
#include "support/TestSupport.h"

using qm::test::Hex;

namespace qm {
namespace {

// 第一章 中文，"引号"与€。 with a CRLF: in code page 936 and UTF-8/16.
const std::string kGbk =
    Hex("B5 DA D2 BB D5 C2 20 D6 D0 CE C4 A3 AC A1 B0 D2 FD BA C5 A1 B1 D3 EB 80 A1 A3") +
    "\r\nabc";
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

// UTF-16 units in either byte order, without a mark.
std::string Units(const std::u16string& text, bool littleEndian) {
    std::string bytes;
    for (char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += littleEndian ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
}

TEST_F(SourceTextTest, EveryRuleKeepsEveryCharacter) {
    const std::u16string wide = u"第一章 中文，“引号”与€。\r\nabc";
    const std::string cutZhong = "\xE4\xB8";             // 中 without its last byte
    const std::string replacement = Hex("84 31 A4 37");  // U+FFFD, what a cut character reads as
    const std::string rare = Hex("95 34 B2 35 81 37 A4 35 83 36 84 33");  // 𠮷☕한
    const struct {
        const char* name;
        std::string bytes, text;
    } cases[] = {
        {"UTF-16BE with its mark", Hex("FE FF") + Units(wide, false), kGbk},
        {"UTF-16LE without a mark", Units(wide, true), kGbk},
        {"UTF-16BE without a mark", Units(wide, false), kGbk},
        {"UTF-16LE, lines of Latin", Units(u"abc\ndéf\n", true), "abc\nd" + Hex("A8 A6") + "f\n"},
        {"UTF-16BE, one line of ASCII", Units(u"abc déf", false), "abc d" + Hex("A8 A6") + "f"},
        // A zero unit is left out and the text after it kept; an odd last
        // byte is dropped.
        {"zero unit", test::Utf16LeWithMark(std::u16string(u"ab") + u'\0' + u"cd"), "abcd"},
        {"odd last byte", test::Utf16LeWithMark(u"ab") + "x", "ab"},
        {"UTF-8 cut at the end", kUtf8 + cutZhong, kGbk + replacement},
        {"marked UTF-8 cut at the end", "\xEF\xBB\xBF" + kUtf8 + cutZhong, kGbk + replacement},
        {"UTF-8 of two-byte characters cut at the end", test::Repeat("Привет ", 16) + "\xD1",
         Utf8ToAnsi(test::Repeat("Привет ", 16)) + replacement},
        // Code page 936 that passes for UTF-8 but for its last character
        // (B0 A1 reads as a cut three-byte sequence) stays code page 936.
        {"936 like cut UTF-8", "ok " + Hex("B0 A1"), "ok " + Hex("B0 A1")},
        {"936 with zero bytes", kGbk + std::string(2, '\0') + kGbk + '\0',
         kGbk + std::string(2, '\0') + kGbk + '\0'},
        {"936 padded with zero bytes", "x" + kGbk + std::string(9, '\0'),
         "x" + kGbk + std::string(9, '\0')},
        {"936 with zero bytes in like places", kGbk + '\0' + kGbk + "x" + kGbk + '\0',
         kGbk + '\0' + kGbk + "x" + kGbk + '\0'},
        {"outside code page 936", "\xF0\xA0\xAE\xB7☕한", rare},
        {"outside, UTF-16", test::Utf16LeWithMark(u"\U00020BB7☕한"), rare},
        {"outside, marked UTF-8", "\xEF\xBB\xBF中\xF0\x9F\x98\x80文",
         Hex("D6 D0 94 39 FC 36 CE C4")},
        // A four-byte lead without its continuation bytes mid-text still
        // fails the rule.
        {"broken four-byte",
         "a\xF0\x9F"
         "b",
         "a\xF0\x9F"
         "b"},
        {"marked broken four-byte",
         "\xEF\xBB\xBF"
         "a\xF0\x9F"
         "b",
         ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Load(c.bytes), c.text) << c.name;
    }
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
    EXPECT_EQ(Load(std::string("\xEF\xBB\xBF"
                               "a\0b",
                               6)),
              std::string("a\0b", 3));
}

// Real books (tests/conversion/realtexts): a Big5 one is read as Big5, every
// character kept; a GBK one stays byte for byte as it is.
TEST_F(SourceTextTest, RealBig5BooksReadAsBig5AndGbkOnesStayAsTheyAre) {
    const std::string dir = std::string(QM_SOURCE_DIR) + "/tests/conversion/realtexts/";
    int seen[2] = {0, 0};
    for (const std::string& name : test::DirectoryNames(dir)) {
        const bool big5 = name.ends_with("_big5.txt.xz");
        if (!big5 && !name.ends_with("_gbk.txt.xz")) continue;
        SCOPED_TRACE(name);
        const std::string path = dir_ / "book.txt";
        ASSERT_EQ(test::Run("xz -dc " + test::Quote(dir + name) + " > " + path).exitCode, 0);
        const std::string raw = test::ReadFile(path), text = LoadSourceText(path);
        if (big5) {
            EXPECT_TRUE(test::Decode(text, "GB18030") == test::Decode(raw, "Big5-HKSCS"));
        } else {
            EXPECT_TRUE(text == raw);
        }
        ++seen[big5];
    }
    EXPECT_EQ(seen[0], 3);
    EXPECT_EQ(seen[1], 3);
}

}  // namespace
}  // namespace qm
