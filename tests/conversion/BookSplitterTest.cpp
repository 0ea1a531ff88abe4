// The cut of a book into parts and the documents written for them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "conversion/RecordingUi.h"
#include "conversion/layout/ClassicDocuments.h"
#include "conversion/layout/EpubTemplates.h"
#include "conversion/layout/PageText.h"
#include "conversion/layout/XmlEscape.h"
#include "conversion/run/BookSplitter.h"
#include "platform/CodePage.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

// A whole part's body in one slice.
void AppendPageBody(std::string& out, std::string_view part, TPartEdges edges = {}) {
    OpenPageBody(out);
    AppendPageBodySlice(out, part, 0, part.size(), edges);
    ClosePageBody(out);
}

using test::Hex;

std::vector<size_t> Sizes(const std::vector<std::string_view>& parts) {
    std::vector<size_t> sizes;
    for (auto part : parts) sizes.push_back(part.size());
    return sizes;
}

std::string Join(const std::vector<std::string_view>& parts) {
    std::string joined;
    for (auto part : parts) joined.append(part);
    return joined;
}

TEST(CutText, PartSizesFollowTheTextLengthAndStopWhenUsedUp) {
    const std::string ten(10, 'x'), hundred(100, 'x'), hundredOne(101, 'x');
    EXPECT_EQ(Sizes(CutText(ten, 3)), (std::vector<size_t>{4, 4, 2}));
    EXPECT_EQ(CutText(hundred, 30).size(), 25u);  // z = 4 uses it up early
    const auto parts = CutText(hundredOne, 30);
    ASSERT_EQ(parts.size(), 26u);
    EXPECT_EQ(parts.back().size(), 1u);
    EXPECT_EQ(Sizes(CutText("abc", 1)), (std::vector<size_t>{3}));
    EXPECT_TRUE(CutText("", 5).empty());
    // Fewer bytes than parts: one byte each, never an empty part.
    EXPECT_EQ(Sizes(CutText("ab", 7)), (std::vector<size_t>{1, 1}));
}

TEST(CutText, NeverSplitsACharacter) {
    // ab中 in two parts: z = 3 ends on D6, an odd lead run, so D0 joins it.
    const std::string abZhong = Hex("61 62 D6 D0");
    const auto one = CutText(abZhong, 2);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0], Hex("61 62 D6 D0"));
    // 中文 in three parts: D6 D0 is an even run; nothing appended.
    const std::string zhongWen = Hex("D6 D0 CE C4");
    const auto two = CutText(zhongWen, 3);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0], Hex("D6 D0"));
    EXPECT_EQ(two[1], Hex("CE C4"));
    // A long Chinese text, with digits and four-byte sequences (𠮷, ☕) among
    // its characters, cut many ways: each part decodes without "?".
    const std::string pieces[] = {Hex("D6 D0"), Hex("61 CE C4"), Hex("95 34 B2 35"), "1",
                                  Hex("81 37 A4 35")};
    std::string text;
    for (int i = 0; i < 500; ++i) text += pieces[i * 7 % 11 % 5];
    for (int n : {2, 3, 7, 64, 333}) {
        const auto parts = CutText(text, n);
        EXPECT_LE(parts.size(), static_cast<size_t>(n));
        EXPECT_EQ(Join(parts), text);
        for (auto part : parts) {
            EXPECT_EQ(AnsiToUtf8(part).find('?'), std::string::npos) << "n=" << n;
        }
    }
}

TEST(CutText, ZeroBytesAndLineBreaksAreJustBytes) {
    const std::string text = std::string("ab\0cd\0ef", 8);
    EXPECT_EQ(Join(CutText(text, 2)), text);
    // A CR LF falling across the cut stays split: CR ends part 0, LF starts part 1.
    const auto parts = CutText("abc\r\nxy", 2);  // z = 4
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0], "abc\r");
    EXPECT_EQ(parts[1], "\nxy");
}

TEST(PageText, EveryLineEndStartsAParagraphAndEveryPieceIsInOne) {
    auto body = [](std::string_view part, TPartEdges edges = {}) {
        std::string out;
        AppendPageBody(out, part, edges);
        return out;
    };
    EXPECT_EQ(body("plain"), "<p>plain</p>");
    EXPECT_EQ(body(""), "<p></p>");
    EXPECT_EQ(body("a\r\nb"), "<p>a</p><p>b</p>");
    EXPECT_EQ(body("a\r\n\r\nb"), "<p>a</p><p></p><p>b</p>");
    EXPECT_EQ(body("a\r\n"), "<p>a</p><p></p>");
    EXPECT_EQ(body("a\nb\rc\n"), "<p>a</p><p>b</p><p>c</p><p></p>");
    EXPECT_EQ(body("a\r\r\nb\n\rc"), "<p>a</p><p></p><p>b</p><p></p><p>c</p>");
    EXPECT_EQ(body("x<y>&z\r\nq"), "<p>x&lt;y&gt;&amp;z</p><p>q</p>");
    // The halves of a CR LF pair cut between two parts stay text.
    EXPECT_EQ(body("abc\r", PartEdges("", "abc\r", "\nxy")), "<p>abc\r</p>");
    EXPECT_EQ(body("\nxy", PartEdges("abc\r", "\nxy", "")), "<p>\nxy</p>");
    EXPECT_EQ(body("\n\r", PartEdges("\r", "\n\r", "\n")), "<p>\n\r</p>");
    EXPECT_EQ(body("abc\r", PartEdges("", "abc\r", "xy")), "<p>abc</p><p></p>");
    EXPECT_EQ(body("\nxy", PartEdges("ab", "\nxy", "")), "<p></p><p>xy</p>");
}

TEST(PageText, EscapesMarkupAndDropsForbiddenControlBytes) {
    EXPECT_EQ(XmlText("A&B <i>"), "A&amp;B &lt;i&gt;");
    EXPECT_EQ(XmlText(std::string("a\0b\x01\x1F\tc\x7F", 8)), "ab\tc\x7F");
    // Chinese text around the markup stays whole.
    const std::string mixed = Hex("D6 D0") + "&" + Hex("CE C4") + "<" + Hex("B0 A1") + ">";
    EXPECT_EQ(AnsiToUtf8(XmlText(mixed)), "中&amp;文&lt;啊&gt;");
    // A stray lead byte before markup must not swallow the markup's first byte.
    std::string body;
    AppendPageBody(body, Hex("D6") + "\r\n&" + Hex("D6"));
    EXPECT_EQ(AnsiToUtf8(body), "<p>?</p><p>&amp;?</p>");
    // Nor may a dropped control byte let a stray lead byte swallow a letter.
    EXPECT_EQ(AnsiToUtf8(XmlText(Hex("61 D6 01 62"))), "a?b");
    EXPECT_EQ(AnsiToUtf8(XmlText(Hex("D6 D0 00 62 B0 A1 D6 00 00 63"))), "中b啊?c");
    // Nor may it join two halves of a four-byte character that was never
    // there; a digit after a whole character is left as it was.
    EXPECT_EQ(AnsiToUtf8(XmlText(Hex("BF 38 1F E0 31"))), "?8<!---->?1");
    EXPECT_EQ(XmlText(Hex("D6 D0 31 0C 32")), Hex("D6 D0 31 32"));
    // Each byte that needs something, at every place in the eight-byte words
    // the scan passes by whole; full-width punctuation (EF BC ..) stays.
    const std::pair<std::string, std::string> marks[] = {
        {"<", "&lt;"}, {"&", "&amp;"},       {"\"", "&quot;"},
        {"\x01", ""},  {"\xEF\xBF\xBF", ""}, {"\xEF\xBC\x8C", "\xEF\xBC\x8C"}};
    for (const auto& [mark, escaped] : marks) {
        for (int chars = 0; chars <= 8; ++chars) {
            std::string before;
            for (int k = 0; k < chars; ++k) before += "中";
            EXPECT_EQ(XmlUtf8(before + mark + "文文文文"), before + escaped + "文文文文");
        }
    }
}

class BookFiles : public ::testing::Test {
  protected:
    // The file of that name in OEBPS/; empty when the book has none.
    std::string Oebps(const std::string& name) const {
        for (const TBookEntry& file : files)
            if (file.name == "OEBPS/" + name) return file.bytes;
        return {};
    }
    bool Has(const std::string& name) const { return !Oebps(name).empty(); }
    void Write(const std::vector<std::string_view>& parts) {
        files = ClassicBookFiles(parts, request, ui);
    }

    test::ScratchDir scratch;
    test::RecordingUi ui;
    TConversionRequest request;
    std::vector<TBookEntry> files;
};

TEST_F(BookFiles, PagesAndPackageDocumentsListEveryPartInOrder) {
    request.labelName = Hex("D0 A1 CB B5");  // 小说
    request.title = "T";
    request.author = "A";
    const std::vector<std::string_view> parts = {"one\r\ntwo\r", "\nthree", "four"};
    Write(parts);

    EXPECT_EQ(Oebps("0.html"),
              ClassicPageFrame().head + "<p>one</p><p>two\r</p>" + ClassicPageFrame().tail);
    EXPECT_EQ(Oebps("1.html"),
              ClassicPageFrame().head + "<p>\nthree</p>" + ClassicPageFrame().tail);
    EXPECT_EQ(Oebps("2.html"), ClassicPageFrame().head + "<p>four</p>" + ClassicPageFrame().tail);
    EXPECT_FALSE(Has("3.html"));

    const std::string ncx = Oebps("toc.ncx");
    for (int k = 0; k < 3; ++k) {
        const std::string point = "<navPoint id=\"txt" + std::to_string(k) + "\" playOrder=\"" +
                                  std::to_string(k) + "\"><navLabel><text>小说(" +
                                  std::to_string(k + 1) + ")</text></navLabel><content src=\"" +
                                  std::to_string(k) + ".html\"/></navPoint>";
        EXPECT_NE(ncx.find(point), std::string::npos) << point;
    }
    const std::string opf = Oebps("content.opf");
    EXPECT_NE(opf.find("<dc:creator>A</dc:creator>"), std::string::npos);
    EXPECT_NE(opf.find("<dc:title>T</dc:title>"), std::string::npos);
    EXPECT_NE(opf.find("<item id=\"txt2\" href=\"2.html\" media-type=\"application/xhtml+xml\"/>"
                       "</manifest><spine toc=\"ncx\"><itemref idref=\"txt0\"/>"),
              std::string::npos);
    const std::string tail = "<itemref idref=\"txt2\"/></spine></package>";
    EXPECT_EQ(opf.substr(opf.size() - tail.size()), tail);
    EXPECT_EQ(ui.pagePercents, (std::vector<int>{33, 66, 100}));
}

TEST_F(BookFiles, FilesComeInTheOrderAWalkOfTheirFoldersGave) {
    // Twelve parts: 10.html and 11.html sort between 1.html and 2.html.
    const std::string text = "abcdefghijkl";
    std::vector<std::string_view> parts;
    for (size_t k = 0; k < text.size(); ++k) parts.push_back(std::string_view(text).substr(k, 1));
    Write(parts);
    std::vector<std::string> names;
    for (const TBookEntry& file : files) {
        names.push_back(file.name);
        EXPECT_EQ(file.packing, TPacking::DeflateAsStreamed) << file.name;
    }
    std::vector<std::string> expected = {"META-INF/container.xml", "mimetype"};
    for (const char* page : {"0", "1", "10", "11", "2", "3", "4", "5", "6", "7", "8", "9"})
        expected.push_back(std::string("OEBPS/") + page + ".html");
    for (const char* name : {"OEBPS/content.opf", "OEBPS/css/main.css", "OEBPS/toc.ncx"})
        expected.emplace_back(name);
    EXPECT_EQ(names, expected);
    EXPECT_EQ(files[1].bytes, "application/epub+zip");
    EXPECT_EQ(Oebps("css/main.css"), std::string(kMainCss));
}

TEST_F(BookFiles, MarkupInTitleAuthorLabelAndTextIsEscaped) {
    request.labelName = "a<b>";
    request.title = "<T&>";
    request.author = "A&B";
    // A zero byte is dropped like any forbidden control byte; the text
    // after it stays on the page.
    Write({std::string_view("x&y<z>\x01\0tail", 12)});
    const std::string opf = Oebps("content.opf");
    EXPECT_NE(opf.find("<dc:creator>A&amp;B</dc:creator>"), std::string::npos);
    EXPECT_NE(opf.find("<dc:title>&lt;T&amp;&gt;</dc:title>"), std::string::npos);
    EXPECT_NE(Oebps("toc.ncx").find("<text>a&lt;b&gt;(1)</text>"), std::string::npos);
    EXPECT_NE(Oebps("0.html").find("<body><p>x&amp;y&lt;z&gt;tail</p></body>"), std::string::npos);
}

TEST_F(BookFiles, EmptyTitleAndAuthorGiveEmptyElements) {
    Write({std::string_view("x")});
    const std::string opf = Oebps("content.opf");
    EXPECT_NE(opf.find("<dc:creator></dc:creator>"), std::string::npos);
    EXPECT_NE(opf.find("<dc:title></dc:title>"), std::string::npos);
}

TEST_F(BookFiles, SplitTextWarnsWhenPartsAreNotFewerThanBytes) {
    request.sourcePath = scratch / "book.txt";
    test::WriteFile(request.sourcePath, "0123456789");
    request.fileSize = 10;
    const auto refused = SplitText(10, request, ui);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.Error().message, "文件大小小于或等于分割数");
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_EQ(ui.warnings[0].first, "Quillmark");
    EXPECT_EQ(ui.warnings[0].second, "文件大小小于或等于分割数");

    auto made = SplitText(3, request, ui);
    ASSERT_TRUE(made);
    files = std::move(*made);
    EXPECT_EQ(Oebps("2.html"), ClassicPageFrame().head + "<p>89</p>" + ClassicPageFrame().tail);
    EXPECT_EQ(ui.warnings.size(), 1u);
}

TEST_F(BookFiles, SplitTextFailsQuietlyOnUnreadableOrEmptyText) {
    ASSERT_EQ(::mkfifo((scratch / "pipe.txt").c_str(), 0600), 0);
    test::WriteFile(scratch / "bad.txt", Hex("EF BB BF C3 28 41 42"));
    const struct {
        const char* file;
        TRunError::Kind kind;
        const char* reasonPart;
    } cases[] = {
        {"missing.txt", TRunError::Kind::Failed, "missing.txt"},
        // A marked UTF-8 file whose content does not decode yields no text.
        {"bad.txt", TRunError::Kind::Failed, "bad.txt"},
        // Refused before it is opened, which would wait for a writer.
        {"pipe.txt", TRunError::Kind::NamedPipe, "named pipe"},
    };
    request.fileSize = 100;
    for (const auto& c : cases) {
        request.sourcePath = scratch / c.file;
        const auto split = SplitText(2, request, ui);
        ASSERT_FALSE(split) << c.file;
        EXPECT_EQ(split.Error().kind, c.kind) << c.file;
        EXPECT_NE(split.Error().message.find(c.reasonPart), std::string::npos)
            << split.Error().message;
    }
    EXPECT_TRUE(ui.warnings.empty());
}

TEST_F(BookFiles, ShrunkSourceGetsAboutTheAskedPartsAndNoEmptyPage) {
    // 60 Chinese characters in UTF-16: 122 bytes on disk, 120 in code page 936.
    std::string utf16 = Hex("FF FE");
    for (int i = 0; i < 60; ++i) utf16 += Hex("2D 4E");  // 中
    request.sourcePath = scratch / "wide.txt";
    test::WriteFile(request.sourcePath, utf16);
    request.fileSize = static_cast<int32_t>(utf16.size());
    auto made = SplitText(4, request, ui);
    ASSERT_TRUE(made);
    files = std::move(*made);
    std::string joined;
    int pages = 0;
    for (; Has(std::to_string(pages) + ".html"); ++pages) {
        const std::string page = Oebps(std::to_string(pages) + ".html");
        const size_t around = ClassicPageFrame().head.size() + 3 + 4 +
                              ClassicPageFrame().tail.size();  // and <p>, </p>
        const std::string body =
            page.substr(ClassicPageFrame().head.size() + 3, page.size() - around);
        EXPECT_FALSE(body.empty());
        joined += body;
    }
    EXPECT_EQ(pages, 4);
    std::string expected;
    for (int i = 0; i < 60; ++i) expected += "中";
    EXPECT_EQ(joined, expected);
}

}  // namespace
}  // namespace qm
