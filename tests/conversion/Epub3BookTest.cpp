// The book model and the EPUB 3 writer: paragraphs from lines, the cut into
// parts at line ends, page size limits, Chinese conversion and the language
// guess. Whole books are judged by real readers in the CLI suite.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "conversion/book/BookCutting.h"
#include "conversion/book/BookIdentifier.h"
#include "conversion/book/BookModel.h"
#include "conversion/layout/BookResources.h"
#include "conversion/run/Epub3Writer.h"
#include "conversion/text/ChineseConvert.h"
#include "platform/Exceptions.h"
#include "support/TestImages.h"
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

    // Thousands of short sections are rendered in batches of about 256 KB of
    // text, progress told after each, not a pool task per section.
    book.text.clear();
    while (book.text.size() < (size_t{2} << 20)) book.text += "海边的书信，一封又一封。\n";
    CutBookIntoParts(book, 1024, book.title);
    int told = 0;
    RenderEpub3Files(book, extras, 2, [&told](int) { ++told; });
    EXPECT_GT(told, 5);
    EXPECT_LT(told, 30);
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

TEST(BookResources, CoversAreDecodedWholeAndFontsCheckedByTheirTables) {
    test::ScratchDir dir;
    const std::string png = test::MakePng(40, 30);
    const std::string jpeg = test::MakeJpeg(128, 256);
    // The same JPEG claiming 10000 x 10000 or 65535 x 65535 in its frame
    // header (height, then width, after the length and the precision).
    const size_t frame = jpeg.find("\xFF\xC0");
    const auto claiming = [&](const char* size) {
        return std::string(jpeg).replace(frame + 5, 4, size, 4);
    };
    const struct {
        const char* name;
        std::string bytes;
        const char* mediaType;  // nullptr: refused
        int width, height;
    } images[] = {
        {"ok.png", png, "image/png", 40, 30},
        {"ok.jpg", jpeg, "image/jpeg", 128, 256},
        {"cut.png", png.substr(0, png.size() - 20), nullptr, 0, 0},
        {"huge.png", test::MakePng(100000, 100000, std::string(64, '\0')), nullptr, 0, 0},
        {"cut.jpg", jpeg.substr(0, jpeg.size() * 2 / 3), nullptr, 0, 0},
        {"big.jpg", claiming("\x27\x10\x27\x10"), nullptr, 0, 0},
        {"huge.jpg", claiming("\xFF\xFF\xFF\xFF"), nullptr, 0, 0},
        {"head.jpg", jpeg.substr(0, frame + 19), nullptr, 0, 0},
        {"no.png", "GIF89a and more", nullptr, 0, 0},
    };
    for (const auto& image : images) {
        test::WriteFile(dir / image.name, image.bytes);
        if (!image.mediaType) {
            EXPECT_THROW(ReadCoverImage(dir / image.name), Exception) << image.name;
            continue;
        }
        const TBookResource read = ReadCoverImage(dir / image.name);
        EXPECT_EQ(read.mediaType, image.mediaType);
        EXPECT_EQ(std::make_pair(read.width, read.height),
                  std::make_pair(image.width, image.height));
    }

    const std::string ttf = test::ReadFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    EXPECT_EQ(ReadFontFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf").mediaType,
              "font/ttf");
    std::string noCmap = ttf;
    noCmap.replace(noCmap.find("cmap"), 4, "cmaq");
    for (const std::string& bad :
         {ttf.substr(0, 4096), noCmap, std::string("OTTO\0\0", 6), "wOFF" + ttf.substr(4),
          "wOF2" + ttf.substr(4), "ttcf" + ttf.substr(4), std::string("GIF89a")}) {
        test::WriteFile(dir / "f", bad);
        EXPECT_THROW(ReadFontFile(dir / "f"), Exception) << bad.substr(0, 4);
    }
    // Named pipes would wait for a writer for ever: refused unopened.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_THROW(ReadCoverImage(dir / "pipe"), Exception);
    EXPECT_THROW(ReadFontFile(dir / "pipe"), Exception);
    EXPECT_THROW(ReadCoverImage(dir / "missing.png"), Exception);
}

}  // namespace
}  // namespace qm
