// Chapter detection judged on a labelled set of short novels
// (tests/conversion/chapters: NAME.txt and the exact table of contents it
// must get, NAME.toc), user patterns, and titles from file names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "conversion/book/BookChapters.h"
#include "conversion/book/BookNameParts.h"
#include "conversion/book/ChapterDetector.h"
#include "conversion/book/HeadingPlan.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

// "K<TAB>title" per section, indented two spaces a level: F front matter
// (or the contents block), V volume (or season), C chapter.
std::string TableOfContents(const TBook& book) {
    std::string toc;
    for (const TBookSection& s : book.sections) {
        toc += std::string(2 * static_cast<size_t>(s.level), ' ');
        toc += s.kind == TSectionKind::Volume ? 'V' : s.kind == TSectionKind::Chapter ? 'C' : 'F';
        toc += "\t" + s.title + "\n";
    }
    return toc;
}

// Nothing is lost: every line of text is a paragraph, or holds a heading
// (with its chapter's first sentence, or a volume and its chapter), or
// repeats the heading above it.
void ExpectEveryLineKept(const TBook& book, const std::string& name) {
    std::vector<TParagraph> all;
    AppendParagraphs(book.text, all);
    std::set<std::string_view> paragraphs;
    std::vector<std::string> headings;
    for (const TBookSection& s : book.sections) {
        for (const TParagraph& p : s.paragraphs) paragraphs.insert(TrimHeadingLine(p.text));
        if (s.kind != TSectionKind::Part)
            headings.push_back(s.heading.empty() ? s.title : s.heading);
    }
    for (const TParagraph& line : all) {
        const std::string_view text = TrimHeadingLine(line.text);
        const bool kept =
            paragraphs.contains(text) ||
            std::any_of(headings.begin(), headings.end(), [&](const std::string& h) {
                return text.find(h) != std::string_view::npos || h.find(text) != std::string::npos;
            });
        EXPECT_TRUE(kept) << name << ": " << text;
    }
}

TEST(ChapterDetection, LabelledNovelsGetExactlyTheirTablesOfContents) {
    const std::string dir = std::string(QM_SOURCE_DIR) + "/tests/conversion/chapters/";
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() == ".txt") names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    ASSERT_GE(names.size(), 12u);
    const TChapterDetector detector;
    size_t truePositive = 0, falsePositive = 0, falseNegative = 0;
    for (const std::string& name : names) {
        TBook book;
        book.title = name;
        book.text = test::ReadFile(dir + name + ".txt");
        const TChapterCount count = DivideBookIntoChapters(book, detector);
        LabelByLanguage(book, count);
        const std::string got = TableOfContents(book);
        const std::string want = test::ReadFile(dir + name + ".toc");
        EXPECT_EQ(got, want) << name;
        size_t entries = 0;
        for (size_t at = 0; at < want.size(); at = want.find('\n', at) + 1) {
            if (want[want.find_first_not_of(' ', at)] != 'F') ++entries;
        }
        EXPECT_EQ(count.volumes + count.chapters, entries) << name;
        ExpectEveryLineKept(book, name);

        // Headings as multisets of lines, for precision and recall.
        std::map<std::string, int> expected;
        size_t at = 0;
        for (size_t end; (end = want.find('\n', at)) != std::string::npos; at = end + 1) {
            const std::string entry = want.substr(at, end - at);
            if (entry.find_first_not_of(' ') != entry.find('F')) ++expected[entry];
        }
        for (const TBookSection& s : book.sections) {
            if (s.kind == TSectionKind::Part) continue;
            const std::string line = std::string(2 * static_cast<size_t>(s.level), ' ') +
                                     (s.kind == TSectionKind::Volume ? "V" : "C") + "\t" + s.title;
            if (expected[line]-- > 0) {
                ++truePositive;
            } else {
                ++falsePositive;
            }
        }
        for (const auto& [line, left] : expected) falseNegative += std::max(0, left);
    }
    const double precision =
        100.0 * truePositive / std::max<size_t>(1, truePositive + falsePositive);
    const double recall = 100.0 * truePositive / std::max<size_t>(1, truePositive + falseNegative);
    std::printf(
        "%zu novels, %zu headings found right, %zu wrong, %zu missed: precision %.1f %%, "
        "recall %.1f %%\n",
        names.size(), truePositive, falsePositive, falseNegative, precision, recall);
    EXPECT_EQ(falsePositive + falseNegative, 0u);
}

TEST(ChapterDetection, UserPatternsReplaceTheBuiltInRules) {
    TBook book;
    book.title = "t";
    book.text =
        "第一章 不再是标题\n== Act 1 ==\nScene 1\ntext\nScene 2: Night\nScene 22 is long.\n"
        "== Act 2 ==\nScene 3\nmore\n";
    const TChapterCount count =
        DivideBookIntoChapters(book, TChapterDetector("^Scene \\d+(:.*)?$", "^== Act \\d+ ==$"));
    EXPECT_EQ(count.volumes, 2u);
    EXPECT_EQ(count.chapters, 3u);
    EXPECT_EQ(TableOfContents(book),
              "F\tt\nV\t== Act 1 ==\n  C\tScene 1\n  C\tScene 2: Night\nV\t== Act 2 ==\n  C\tScene "
              "3\n");
    // One pattern keeps the other kind's built-in rules.
    EXPECT_EQ(TChapterDetector("^Scene").Classify("　第一卷 风起　"), THeadingKind::Volume);
    EXPECT_EQ(TChapterDetector("^Scene").Classify("第一章 风起"), THeadingKind::None);
    // Long lines are prose whatever the pattern says.
    EXPECT_EQ(TChapterDetector("Scene").Classify("Scene " + std::string(40, 'x')),
              THeadingKind::None);
    // A page break or a zero-width space alone shows nothing: no heading.
    const TChapterDetector any("^\\W$");
    for (std::string_view blank : {"\f", "\v", "\xE2\x80\x8B"})
        EXPECT_EQ(any.Classify(blank), THeadingKind::None) << blank;
    EXPECT_EQ(any.Classify("*"), THeadingKind::Chapter);
    try {
        TChapterDetector("第(.*章");
        FAIL() << "a bad pattern was accepted";
    } catch (const EChapterPattern& error) {
        EXPECT_NE(std::string(error.what()).find("\"第(.*章\" is not a valid regular expression"),
                  std::string::npos)
            << error.what();
    }
}

// A pattern that backtracks without end on a line stops the run with a
// message that names it; meanwhile it looks for a stop, and a stop raised
// there ends the match at once.
TEST(ChapterDetection, ARunawayPatternIsStoppedAndLooksForAStop) {
    const std::string hostile = std::string(39, 'a') + "!";
    int checks = 0;
    const TChapterDetector detector("(a+)+$", {}, [&checks] { ++checks; });
    try {
        detector.Classify(hostile);
        FAIL() << "the match was not stopped";
    } catch (const EChapterPattern& error) {
        EXPECT_NE(std::string(error.what()).find("\"(a+)+$\""), std::string::npos) << error.what();
    }
    EXPECT_GT(checks, 0);
    EXPECT_EQ(detector.Classify(std::string(39, 'a')), THeadingKind::Chapter);

    struct TStop {};
    const TChapterDetector stopped("(a+)+$", "^Vol", [] { throw TStop(); });
    EXPECT_THROW(stopped.Classify(hostile), TStop);
    EXPECT_EQ(stopped.Classify("Vol 1"), THeadingKind::Volume);
}

TEST(ChapterDetection, NoHeadingLeavesTheBookUndivided) {
    TBook book;
    book.text = "只是一段话。\n第二天他走了。\n";
    EXPECT_FALSE(DivideBookIntoChapters(book, TChapterDetector()).Found());
    EXPECT_TRUE(book.sections.empty());
}

// Every name in the table is reached: alone, and followed by a title, as
// the built-in rules and the detector see it.
TEST(ChapterDetection, TheTextBeforeTheFirstHeadingIsAPrefaceUnlessItIsTheTitlePage) {
    // Four paragraphs before CHAPTER I: a preface, unless one of them is the
    // book's title, as in a Project Gutenberg book's own title page.
    for (const auto& [front, want] :
         {std::pair{"Produced by a volunteer\nIt was written\nin a garret\nlong ago\n", "Preface"},
          std::pair{"Produced by a volunteer\nTHE  GREAT BOOK\nby\nA. Writer\n",
                    "The Great Book"}}) {
        TBook book;
        book.title = "The Great Book";
        book.language = "en";
        book.text = std::string(front) + "\nCHAPTER I\nIt began.\n";
        const TChapterCount count = DivideBookIntoChapters(book, TChapterDetector());
        LabelByLanguage(book, count);
        ASSERT_EQ(book.sections.size(), 2u);
        EXPECT_EQ(book.sections[0].title, want);
    }
}

TEST(ChapterDetection, EveryNamedPartOfTheTableIsAHeading) {
    ASSERT_FALSE(NamedParts().empty());
    for (const TNamedPart& part : NamedParts()) {
        const std::string name(part.name);
        EXPECT_EQ(BuiltInHeadingKind(name), THeadingKind::Chapter) << name;
        EXPECT_EQ(TChapterDetector().Classify("\xC2\xA0" + name + "：题目 "), THeadingKind::Chapter)
            << name;
        EXPECT_EQ(BuiltInHeadingKind(name + "是一句话。"), THeadingKind::None) << name;
    }
}

// The trim removes exactly the spaces that may separate a number from its
// title, no-break space included; a stray byte is no space.
TEST(ChapterDetection, TrimRemovesTheSpacesTheRulesCount) {
    const std::pair<std::string, std::string> cases[] = {
        {" \t\xC2\xA0\xE3\x80\x80第一章 开始\xC2\xA0\xE3\x80\x80\t ", "第一章 开始"},
        {"\xC2\xA0\xC2\xA0", ""},
        {"\xA0第一章\xA0", "\xA0第一章\xA0"},
        {"Chapter 1", "Chapter 1"},
    };
    for (const auto& [line, trimmed] : cases) EXPECT_EQ(TrimHeadingLine(line), trimmed) << line;
    EXPECT_EQ(TChapterDetector().Classify("第一章\xC2\xA0开始\xC2\xA0"), THeadingKind::Chapter);
}

// A chapter nests under the volume before it until a part ends the volume.
// Seasons over volumes over chapters; a page without a heading (None)
// ends every group; back matter after the last volume returns to the top.
TEST(ChapterDetection, HeadingLevelsNestAndBackMatterLeavesTheLastVolume) {
    using K = THeadingKind;
    const std::vector<K> kinds = {K::None,    K::Chapter, K::Season,  K::Volume,
                                  K::Chapter, K::Volume,  K::Chapter, K::Chapter,
                                  K::Chapter, K::None,    K::Chapter};
    std::vector<bool> back(kinds.size(), false);
    back[7] = back[8] = true;  // 尾声, 后记
    EXPECT_EQ(HeadingLevels(kinds, back), (std::vector<int>{0, 0, 0, 1, 2, 1, 2, 0, 0, 0, 0}));
    back[7] = back[8] = false;
    EXPECT_EQ(HeadingLevels(kinds, back), (std::vector<int>{0, 0, 0, 1, 2, 1, 2, 2, 2, 0, 0}));
    std::vector<TBookSection> sections(4);
    const int asked[] = {0, 2, 1, 3};  // a jump of two is held to one
    for (size_t k = 0; k < 4; ++k) sections[k].level = asked[k];
    EXPECT_EQ(SectionLevels(sections), (std::vector<int>{0, 1, 1, 2}));
}

TEST(BookNameParts, BlankTextShowsNothing) {
    for (const char* blank : {"", "   ", "\t\r\n", "\x01\x1F\x7F", "\xE3\x80\x80\xC2\xA0",
                              "\xE2\x80\x8B\xEF\xBB\xBF", "\xEF\xBF\xBE"})
        EXPECT_TRUE(IsBlankText(blank)) << blank;
    for (const char* shown : {"a", " 书 ", "\x01x", "\xFF", "\xC2"})
        EXPECT_FALSE(IsBlankText(shown)) << shown;
}

TEST(BookNameParts, CommonDownloadNames) {
    const struct {
        const char *name, *title, *author;
    } cases[] = {
        {"《山河》作者：林远", "山河", "林远"},
        {"《山河》（校对版全本）作者：林远", "山河", "林远"},
        {"山河 作者：林远", "山河", "林远"},
        {"山河 作者:林远（完结）", "山河", "林远"},
        {"山河", "山河", ""},
        {"《山河》", "山河", ""},
        {"a.b c", "a.b c", ""},
    };
    for (const auto& c : cases) {
        const TBookNameParts parts = BookNamePartsOf(c.name);
        EXPECT_EQ(parts.title, c.title) << c.name;
        EXPECT_EQ(parts.author, c.author) << c.name;
    }
}

}  // namespace
}  // namespace qm
