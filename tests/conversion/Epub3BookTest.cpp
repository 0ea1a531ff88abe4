// The book model and the EPUB 3 writer: paragraphs from lines, the cut into
// parts at line ends, page size limits, Chinese conversion and the language
// guess. Whole books are judged by real readers in the CLI suite.
#include <gtest/gtest.h>

#include <string>

#include "conversion/BookIdentifier.h"
#include "conversion/BookModel.h"
#include "conversion/BookResources.h"
#include "conversion/ChineseConvert.h"
#include "conversion/Epub3Writer.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

std::string Texts(const std::vector<TParagraph>& paragraphs) {
    std::string out;
    for (const TParagraph& p : paragraphs) out += (p.afterBlank ? "|+" : "|") + std::string(p.text);
    return out;
}

TEST(BookModel, ParagraphsComeFromLinesWithoutTheirIndent) {
    const struct {
        const char* text;
        const char* paragraphs;
    } cases[] = {
        {"a\r\nb\nc\rd", "|a|b|c|d"},
        {"\xE3\x80\x80\xE3\x80\x80"
         "a\r\n  \tb \r\n",
         "|a|b "},                                    // full-width and ASCII indents
        {"\r\n\r\na\r\n\r\n\r\nb\n\nc", "|a|+b|+c"},  // blank lines: spacing, once
        {"\n\r\n \xE3\x80\x80\r", ""},                // nothing but blank lines
        {"a\r\r\nb", "|a|+b"},                        // CR then CR LF: two breaks
    };
    for (const auto& c : cases) {
        std::vector<TParagraph> paragraphs;
        AppendParagraphs(c.text, paragraphs);
        EXPECT_EQ(Texts(paragraphs), c.paragraphs) << c.text;
    }
}

TEST(BookModel, PartsEndAtLineEndsAndHoldTheWholeText) {
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "第" + std::to_string(i) + "行，海风。" + (i % 3 ? "\r\n" : "\n");
    for (int n : {1, 2, 7, 64, 1024}) {
        const std::vector<size_t> ends = PartEnds(text, n);
        ASSERT_FALSE(ends.empty());
        EXPECT_LE(ends.size(), static_cast<size_t>(n));
        EXPECT_EQ(ends.back(), text.size());
        for (size_t k = 0; k + 1 < ends.size(); ++k) {
            EXPECT_EQ(text[ends[k] - 1], '\n') << n << " parts, part " << k;
            EXPECT_LT(ends[k], ends[k + 1]);
        }
        if (n <= 64) {
            EXPECT_GE(ends.size() + 1,
                      static_cast<size_t>(n));  // the last share may end in the last line
        }
    }
    // A line longer than every share is never cut inside.
    EXPECT_EQ(PartEnds(std::string(1000, 'x') + "\r\nend", 4), (std::vector<size_t>{1002, 1005}));
    TBook empty;
    CutBookIntoParts(empty, 5, "Empty");
    ASSERT_EQ(empty.sections.size(), 1u);
    EXPECT_EQ(empty.sections[0].title, "Empty");
}

TEST(Epub3Writer, PagesStayUnderTheLimitAndKeepEveryCharacter) {
    TBook book;
    book.title = "Long";
    book.language = "zh-Hans";
    // A 900 KB line of markup characters and Chinese, between short ones.
    std::string huge;
    while (huge.size() < 900000) huge += "<&>海边的书信\"";
    book.text = "first\n" + huge + "\nlast\n";
    CutBookIntoParts(book, 1, book.title);
    TEpub3Extras extras;
    extras.identifier = "urn:uuid:00000000-0000-5000-8000-000000000000";
    const std::vector<TBookFile> files = RenderEpub3Files(book, extras, 2);
    EXPECT_EQ(files.front().name, "mimetype");
    std::string pages;
    int count = 0;
    for (const TBookFile& file : files) {
        if (file.name.rfind("OEBPS/text/", 0) != 0) continue;
        EXPECT_LE(file.bytes.size(), kMaxPageBytes) << file.name;
        pages += file.bytes;
        ++count;
    }
    EXPECT_GE(count, 4);
    // Escaped once, cut only between characters: the pieces join up again.
    std::string joined;
    for (size_t at = 0; (at = pages.find("<p", at)) != std::string::npos;) {
        at = pages.find('>', at) + 1;
        const size_t end = pages.find("</p>", at);
        joined += pages.substr(at, end - at);
    }
    std::string escaped;
    for (char c : huge) {
        escaped += c == '<'   ? "&lt;"
                   : c == '>' ? "&gt;"
                   : c == '&' ? "&amp;"
                   : c == '"' ? "&quot;"
                              : std::string(1, c);
    }
    EXPECT_TRUE(joined == "first" + escaped + "last");
}

TEST(ChineseText, ConvertsEachWayAndGuessesTheLanguage) {
    EXPECT_EQ(TChineseConverter("s2t").Convert("这是一个关于信的故事，后来头发白了。"),
              "這是一個關於信的故事，後來頭髮白了。");
    EXPECT_EQ(TChineseConverter("t2s").Convert("這是一個關於信的故事，後來頭髮白了。"),
              "这是一个关于信的故事，后来头发白了。");
    EXPECT_EQ(TChineseConverter("s2twp").Convert("鼠标和软件"), "滑鼠和軟體");
    EXPECT_THROW(TChineseConverter("nonsense"), std::exception);
    EXPECT_EQ(GuessLanguage("这是一个关于信的故事，镇上的邮局很小。"), "zh-Hans");
    EXPECT_EQ(GuessLanguage("這是一個關於信的故事，鎮上的郵局很小。"), "zh-Hant");
    EXPECT_EQ(GuessLanguage("これは手紙についての物語です。町の郵便局はとても小さい。"), "ja");
    EXPECT_EQ(GuessLanguage("A story about letters."), "en");
    EXPECT_EQ(GuessLanguage("A story about letters sent from 北京 to a lighthouse far away."),
              "en");
    for (const char* good : {"zh-Hans", "zh-Hant-TW", "en", "ja-JP"})
        EXPECT_TRUE(IsWellFormedLanguageTag(good));
    for (const char* bad : {"", "zh_CN", "chinese!", "-en", "en--US"})
        EXPECT_FALSE(IsWellFormedLanguageTag(bad));
}

TEST(BookIdentifier, DigestDatesAndUuidFollowTheirStandards) {
    TSha1 sha;
    sha.Update("The quick brown fox jumps over the lazy dog");
    EXPECT_EQ(UuidUrnFromDigest(sha.Final()), "urn:uuid:2fd4e1c6-7a2d-58fc-ad84-9ee1bb76e739");
    // 2009-02-13 23:31:30 UTC.
    EXPECT_EQ(Iso8601Utc(1234567890), "2009-02-13T23:31:30Z");
    EXPECT_EQ(DosDateTimeUtc(1234567890),
              ((29u << 9 | 2u << 5 | 13u) << 16) | (23u << 11 | 31u << 5 | 15u));
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

TEST(BookResources, ImagesAndFontsAreKnownByTheirBytes) {
    test::ScratchDir dir;
    // A JPEG's header: JFIF segment, then a baseline frame of 128 x 256.
    const std::string jpeg = test::Hex(
        "FFD8 FFE0 0010 4A46494600 0101 0000 0100 0100 00"
        "FFC0 0011 08 0100 0080 03 012200 021101 031101 FFD9");
    const std::string png =
        test::Hex("89504E470D0A1A0A 0000000D 49484452 00000280 000001E0 0806000000");
    test::WriteFile(dir / "a.jpg", jpeg);
    test::WriteFile(dir / "b.png", png);
    const TBookResource a = ReadCoverImage(dir / "a.jpg");
    EXPECT_EQ(a.mediaType, "image/jpeg");
    EXPECT_EQ(std::make_pair(a.width, a.height), std::make_pair(128, 256));
    const TBookResource b = ReadCoverImage(dir / "b.png");
    EXPECT_EQ(b.mediaType, "image/png");
    EXPECT_EQ(std::make_pair(b.width, b.height), std::make_pair(640, 480));
    const struct {
        std::string bytes;
        const char* mediaType;
    } fonts[] = {{std::string("\0\1\0\0", 4), "font/ttf"},
                 {"OTTO", "font/otf"},
                 {"wOFF", "font/woff"},
                 {"wOF2", "font/woff2"},
                 {"ttcf", nullptr},
                 {"GIF89a", nullptr}};
    for (const auto& f : fonts) {
        test::WriteFile(dir / "f", f.bytes + "rest of the font");
        if (f.mediaType) {
            EXPECT_EQ(ReadFontFile(dir / "f").mediaType, f.mediaType);
        } else {
            EXPECT_THROW(ReadFontFile(dir / "f"), std::exception) << f.bytes;
        }
    }
    test::WriteFile(dir / "c.png", jpeg.substr(0, 12));  // cut before its frame
    EXPECT_THROW(ReadCoverImage(dir / "c.png"), std::exception);
    EXPECT_THROW(ReadCoverImage(dir / "missing.png"), std::exception);
}

}  // namespace
}  // namespace qm
