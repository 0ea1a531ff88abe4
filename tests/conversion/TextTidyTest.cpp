// The text made as a reader expects it: wrapped lines joined, blank lines
// that merely separate paragraphs dropped, boilerplate out on request, the
// book's own title and author lines taken, separators and upright digits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conversion/book/FrontMatter.h"
#include "conversion/layout/Epub3Paragraph.h"
#include "conversion/text/Boilerplate.h"
#include "conversion/text/TextLines.h"
#include "conversion/text/Unwrap.h"

namespace qm {
namespace {

// Words laid into lines of at most `width` columns, as a wrapping tool does.
std::string Wrapped(const std::string& words, size_t width) {
    std::string out, line;
    size_t at = 0;
    while (at < words.size()) {
        size_t end = words.find(' ', at);
        if (end == std::string::npos) end = words.size();
        const std::string word = words.substr(at, end - at);
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            out += line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        at = end + 1;
    }
    return out + line + "\n";
}

std::string Sentence(int k) {
    std::string s = "Paragraph " + std::to_string(k) + " tells";
    for (int w = 0; w < 30 + k % 7 * 4; ++w) s += w % 3 ? " quietly" : " of the sea";
    return s + ".";
}

// A Gutenberg-like book: heading, blank-line paragraphs wrapped at 70
// columns, a separator and a short letter line that must stay apart.
std::string WrappedEnglish() {
    std::string text = "Chapter 1\n\n";
    for (int k = 0; k < 12; ++k) {
        text += Wrapped(Sentence(k), 70) + "\n";
        if (k == 5) text += "* * *\n\n";
    }
    return text + "Dear Jane,\nYours ever.\n";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

bool IsHeading(std::string_view line) {
    return line.starts_with("Chapter") || line.starts_with("第");
}

TEST(Unwrap, WrappedTextsBecomeParagraphsAndOthersStayAsTheyWere) {
    std::string english = WrappedEnglish();
    const TReflowCount count = ReflowText(english, TUnwrapMode::Auto, IsHeading);
    EXPECT_TRUE(count.blankSeparated);
    const std::vector<std::string> lines = Lines(english);
    // Heading, 12 paragraphs, the separator, two letter lines; no blank line.
    ASSERT_EQ(lines.size(), 16u) << english;
    EXPECT_EQ(lines[1], Sentence(0));
    EXPECT_EQ(lines[7], "* * *");
    EXPECT_EQ(lines[14], "Dear Jane,");

    // Chinese wrapped at 20 characters, paragraphs opened by an indent: joined
    // without spaces; a line ending in 。 and the heading stay apart.
    std::string body;
    for (int k = 0; k < 30; ++k) body += "海风吹过小镇的屋顶和港口";
    std::string chinese = "第一章 海\n";
    for (int p = 0; p < 3; ++p) {
        const std::string para = "　　" + body.substr(0, body.size() - 3 * p * 7) + "。";
        for (size_t at = 0; at < para.size(); at += 60) chinese += para.substr(at, 60) + "\n";
    }
    std::string joined = chinese;
    ReflowText(joined, TUnwrapMode::Auto, IsHeading);
    const std::vector<std::string> paragraphs = Lines(joined);
    ASSERT_EQ(paragraphs.size(), 4u) << joined;
    EXPECT_EQ(paragraphs[1], "　　" + body + "。");

    // One paragraph per line, of every length: nothing joined, not a byte
    // changed; --no-unwrap leaves a wrapped text alone too.
    std::string unwrapped = "第一章\r\n";
    for (int k = 0; k < 40; ++k)
        unwrapped += "　　" + body.substr(0, 3 * (k * 37 % 90 + 1)) + "\r\n";
    std::string kept = unwrapped;
    EXPECT_EQ(ReflowText(kept, TUnwrapMode::Auto, IsHeading).joinedLines, 0u);
    EXPECT_EQ(kept, unwrapped);
    kept = chinese;
    ReflowText(kept, TUnwrapMode::Never, IsHeading);
    EXPECT_EQ(kept, chinese);
}

TEST(Unwrap, BlankLinesSeparatingMostParagraphsShowNoGap) {
    std::string text;
    for (int k = 0; k < 12; ++k) text += "　　第" + std::to_string(k) + "段。\n\n";
    text += "\n\n　　场景之后。\n";
    const TReflowCount count = ReflowText(text, TUnwrapMode::Auto, IsHeading);
    EXPECT_TRUE(count.blankSeparated);
    // The usual single blank line goes; the longer run stays as one gap.
    EXPECT_EQ(Lines(text).size(), 14u) << text;
    EXPECT_NE(text.find("第11段。\n\n　　场景之后。"), std::string::npos) << text;
}

TEST(Boilerplate, OnlyWhatSitesAddedGoes) {
    const std::string stamp = "更多精彩好书，请登陆某某小说网--www.example.com\n";
    std::string body;
    for (int k = 0; k < 15; ++k) body += "　　正文第" + std::to_string(k) + "段。\n";
    struct Case {
        const char* name;
        std::string text, expected;
        size_t lines, addresses;
    } cases[] = {
        {"notice at the top and the end",
         "申明:本书由某某下载网(www.example.com)整理\n" + body + stamp, body, 2, 0},
        {"word counts", "第一章\n本章字数:1234\n" + body, "第一章\n" + body, 1, 0},
        {"stamp repeated through the book",
         body + "笔趣阁\n" + body + "笔趣阁\n" + body + "笔趣阁\n", body + body + body, 3, 0},
        {"address stamped on a sentence", body + "　　低回不能去。http://www.example.com\n" + body,
         body + "　　低回不能去。\n" + body, 0, 1},
        {"site name and address stamped on a sentence",
         body + "　　痛哭而返。某某小说下载网+example.com\n" + body,
         body + "　　痛哭而返。\n" + body, 0, 1},
        {"address in mixed and full-width letters",
         body + "　　低回不能去。wwＷ．example.com\n" + body, body + "　　低回不能去。\n" + body, 0,
         1},
        {"Gutenberg header and licence",
         "The Project Gutenberg EBook of X\n*** START OF THIS PROJECT GUTENBERG EBOOK X ***\n" +
             body + "*** END OF THIS PROJECT GUTENBERG EBOOK X ***\nlicence\n",
         body, 4, 0},
        {"a book's own text, even a repeated line", body + "你好。\n你好。\n你好。\n" + body,
         body + "你好。\n你好。\n你好。\n" + body, 0, 0},
    };
    for (Case& c : cases) {
        const TCleanCount count = RemoveBoilerplate(c.text);
        EXPECT_EQ(count.lines, c.lines) << c.name;
        EXPECT_EQ(count.addresses, c.addresses) << c.name;
        EXPECT_EQ(c.text, c.expected) << c.name;
    }
}

// Only a line that is boilerplate as a whole goes: each stands at both ends
// of the text, then three times in its middle.
TEST(Boilerplate, StoryLinesStayWhateverWordsTheyHold) {
    std::string body;
    for (int k = 0; k < 15; ++k) body += "　　正文第" + std::to_string(k) + "段。\n";
    enum TFate { Stays, GoesWhenRepeated, Goes };
    const struct {
        const char* line;
        TFate fate;
    } cases[] = {
        {"“站住！”", Stays},
        {"火车站", Stays},
        {"她说：“请记住，我永远爱你。”", Stays},
        {"他把那本电子书下载到手机上，仅供自己消遣。", Stays},
        {"下载的电子书仅供自己阅读。", Stays},
        {"He typed www.example.com into the browser…", Stays},
        {"护士把药量加到5.cc", Stays},
        {"申明:本书由某某小说下载网(www.example.com)自网络收集整理制作,仅供预览交流学习使用,"
         "版权归原作者和出版社所有,如果喜欢,请支持订阅购买正版.",
         Goes},
        {"某某阁[www.example.org] 为您搜集整理提供全文TXT下载！", Goes},
        {"更多精彩好书，更多原创手机电子书，请登陆某某网--Www.Example.Com", Goes},
        {"本书由转载", Goes},
        {"http://www.example.com/book/20007/", Goes},
        {"《某书》查看《某书》书评和最新更新请到《某书》专题网址http://www.example.com/a/1/", Goes},
        {"笔趣阁", GoesWhenRepeated},
    };
    for (const auto& c : cases) {
        const std::string line = std::string(c.line) + "\n";
        std::string edges = line + body + body + line;
        const std::string edgesBefore = edges;
        EXPECT_EQ(RemoveBoilerplate(edges).lines, c.fate == Goes ? 2u : 0u) << c.line;
        EXPECT_EQ(edges, c.fate == Goes ? body + body : edgesBefore) << c.line;
        std::string repeated = body + line + line + line + body;
        const std::string repeatedBefore = repeated;
        EXPECT_EQ(RemoveBoilerplate(repeated).lines, c.fate == Stays ? 0u : 3u) << c.line;
        EXPECT_EQ(repeated, c.fate == Stays ? repeatedBefore : body + body) << c.line;
    }
}

TEST(FrontMatter, TitleAndAuthorLinesAreTakenAndNotRepeated) {
    const std::string rest = "简介\n　　正文。\n";
    struct Case {
        std::string text;
        const char* title;
        const char* author;
        std::string left;  // when the book keeps the title and author found
    } cases[] = {
        {"《红楼梦》曹雪芹\n" + rest, "红楼梦", "曹雪芹", rest},
        // A dynasty or a note is more than the name: the line stays.
        {"《東周列國志》作者：清·蔡元放\n\n" + rest, "東周列國志", "蔡元放",
         "《東周列國志》作者：清·蔡元放\n\n" + rest},
        {"书名：海边 作者：某某\n" + rest, "海边", "某某", rest},
        {"采墨阁[www.x.org] 下载\n《金瓶梅》\n作者：(明)兰陵笑笑生\n" + rest, "金瓶梅",
         "兰陵笑笑生", "采墨阁[www.x.org] 下载\n作者：(明)兰陵笑笑生\n" + rest},
        {"浮生六記\n作者：清.沈復（沈三白）\n" + rest, "浮生六記", "沈復",
         "作者：清.沈復（沈三白）\n" + rest},
        {"老残游记\n\n[清]刘鹗\n" + rest, "老残游记", "刘鹗", "\n[清]刘鹗\n" + rest},
        {"Title: Emma\nAuthor: Jane Austen\n", "Emma", "Jane Austen",
         "Title: Emma\nAuthor: Jane Austen\n"},
        {"第一章 开始\n　　他说：作者很好。\n", "", "", "第一章 开始\n　　他说：作者很好。\n"},
    };
    for (Case& c : cases) {
        const TFrontMatter found = ReadFrontMatter(c.text);
        EXPECT_EQ(found.title, c.title) << c.left;
        EXPECT_EQ(found.author, c.author) << c.left;
        DropNamingLines(c.text, found, found.title, found.author);
        EXPECT_EQ(c.text, c.left);
    }
    // Only the head is read and rewritten; the rest of a long text stays as
    // it was, line ends included.
    std::string longer = "《海边》某某\r\n";
    for (int k = 0; k < 100; ++k) longer += "　　正文。\r\n";
    const TFrontMatter found = ReadFrontMatter(longer);
    EXPECT_EQ(found.author, "某某");
    EXPECT_TRUE(DropNamingLines(longer, found, "海边", "某某").author);
    EXPECT_EQ(SplitTextLines(longer), std::vector<std::string_view>(100, "　　正文。"));
    EXPECT_TRUE(longer.ends_with("。\r\n"));
    std::string titled = "\n《海边》\n序\n　　正文。\n";
    EXPECT_EQ(DropTitleLines(titled, "海边"), 1u);
    EXPECT_EQ(titled, "\n序\n　　正文。\n");
}

// The fast paths through lines give what a walk over every character gives.
TEST(TextLines, SplitAndMeasureAsCharacterByCharacter) {
    EXPECT_EQ(SplitTextLines("a\r\nb\rc\n\nd"),
              (std::vector<std::string_view>{"a", "b", "c", "", "d"}));
    EXPECT_EQ(SplitHeadLines("a\n\n\nb\nc\nd\n", 2, 2),
              (std::vector<std::string_view>{"a", "", "", "b"}));
    // Wide CJK, a narrow half-width kana, Hangul, an unfinished sequence.
    EXPECT_EQ(LineColumns("中a，ｱ한\xE9\xBF"), 9);
}

TEST(Epub3Paragraph, SeparatorsCentreAndShortDigitRunsStandUpright) {
    EXPECT_STREQ(Epub3ParagraphClass("＊　＊　＊", true), "sep");
    EXPECT_STREQ(Epub3ParagraphClass("———", false), "sep");
    EXPECT_EQ(Epub3ParagraphClass("——你好", false), nullptr);
    EXPECT_STREQ(Epub3ParagraphClass("**", true), "gap");

    std::string out;
    WriteEpub3Paragraph(out, nullptr, "第1章 7月15日 2024年 MP3 3.5 <&>", true);
    EXPECT_EQ(out,
              "<p>第<span class=\"tcu\">1</span>章 <span class=\"tcu\">7</span>月"
              "<span class=\"tcu\">15</span>日 2024年 MP3 3.5 &lt;&amp;&gt;</p>\n");
    out.clear();
    WriteEpub3Paragraph(out, "gap", "第1章", false);
    EXPECT_EQ(out, "<p class=\"gap\">第1章</p>\n");
}

}  // namespace
}  // namespace qm
