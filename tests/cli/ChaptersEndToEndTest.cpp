// EPUB 3 books divided at their own headings, made by quillmark-cli and read
// back by epubcheck, pandoc and ebooklib (tests/cli/reader_harness.py).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/TestSupport.h"

namespace qm {
namespace {

using test::Quote;

class ChaptersCli : public ::testing::Test {
  protected:
    test::CommandResult Cli(const std::string& args) {
        return test::Run("cd " + Quote(work.Path()) + " && TMPDIR=" + Quote(tmp.Path()) +
                         " LC_ALL=C.UTF-8 SOURCE_DATE_EPOCH=1700000000 " +
                         Quote(test::BinPath("quillmark-cli")) + " " + args);
    }
    std::string Entry(const std::string& book, const std::string& name) {
        return test::Run("unzip -p " + Quote(work / book) + " " + Quote(name)).out;
    }
    size_t Count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    }
    // The text as readers get it: a line that only repeats the end of the
    // heading line above it is dropped from the page.
    std::string WithoutRepeatedHeadings(const std::string& path) {
        const std::string text = test::ReadFile(path);
        std::string kept, previous;
        for (size_t at = 0; at < text.size();) {
            const size_t end = std::min(text.find('\n', at), text.size());
            const std::string line = text.substr(at, end - at);
            const size_t first = line.find_first_not_of(" \t\r"), skip = first == 0 ? 0 : first;
            std::string trimmed = first == std::string::npos ? "" : line.substr(skip);
            while (trimmed.starts_with("\xE3\x80\x80")) trimmed.erase(0, 3);
            const bool repeat =
                !trimmed.empty() && previous.size() > trimmed.size() && previous.ends_with(trimmed);
            if (!repeat) kept += line + "\n";
            if (!trimmed.empty()) previous = trimmed;
            at = end + 1;
        }
        const std::string copy =
            work / ("whole-" + std::filesystem::path(path).filename().string());
        test::WriteFile(copy, kept);
        return copy;
    }
    test::ScratchDir work, tmp;
};

TEST_F(ChaptersCli, BooksOfEveryStyleAreValidAndWhole) {
    std::string pairs;
    auto add = [&](const std::string& book, const std::string& source) {
        pairs += " " + Quote(work / book) + " " + Quote(source) + " unicode";
    };
    const std::string dir = std::string(QM_SOURCE_DIR) + "/tests/conversion/chapters/";
    // Three books open with their title and author lines, which the title
    // page shows instead of a page: the rest of the text must come back.
    const std::string bodyOfVolumes = work / "volumes.body";
    ASSERT_EQ(test::Run("tail -n +3 " + Quote(dir + "volumes.txt") + " > " + Quote(bodyOfVolumes))
                  .exitCode,
              0);
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".txt") continue;
        const std::string name = entry.path().stem().string();
        const auto run = Cli("--epub3 -o " + name + " " + Quote(entry.path().string()));
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.err;
        EXPECT_NE(run.out.find("Found "), std::string::npos) << name;
        std::string expected = entry.path().string();
        if (name == "volumes" || name == "numerals-cn" || name == "contents-block") {
            expected = work / (name + ".body");
            test::Run("tail -n +3 " + Quote(entry.path().string()) + " > " + Quote(expected));
        }
        add(name + ".epub", WithoutRepeatedHeadings(expected));
    }
    EXPECT_NE(Entry("volumes.epub", "OEBPS/content.opf").find("<dc:creator>某人</dc:creator>"),
              std::string::npos);
    // The volumes book without those lines as its file name gives title and
    // author, in GBK.
    const std::string named = "《山河》（校对版全本）作者：林远.txt";
    ASSERT_EQ(
        test::Run("iconv -f UTF-8 -t GBK " + Quote(bodyOfVolumes) + " > " + Quote(work / named))
            .exitCode,
        0);
    const auto run = Cli("--epub3 -o named " + Quote(named));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Found 3 volumes and 5 chapters."), std::string::npos) << run.out;
    add("named.epub", bodyOfVolumes);
    const std::string opf = Entry("named.epub", "OEBPS/content.opf");
    EXPECT_NE(opf.find("<dc:title>山河</dc:title>"), std::string::npos) << opf;
    EXPECT_NE(opf.find("<dc:creator>林远</dc:creator>"), std::string::npos) << opf;
    // A batch names the book after the title the file name gives.
    ASSERT_EQ(Cli("--epub3 -O shelf " + Quote(named)).exitCode, 0);
    EXPECT_TRUE(test::Exists(work / "shelf/山河.epub"));
    // Chapters nest under their volumes in both tables of contents.
    const std::string nav = Entry("named.epub", "OEBPS/nav.xhtml");
    EXPECT_NE(nav.find("第一卷 风起</a>\n<ol>\n<li><a href=\"text/p00002.xhtml\">第一章 离家"),
              std::string::npos)
        << nav;
    EXPECT_NE(Entry("named.epub", "OEBPS/toc.ncx").find("<meta name=\"dtb:depth\" content=\"2\"/>"),
              std::string::npos);
    const std::string page = Entry("named.epub", "OEBPS/text/p00002.xhtml");
    EXPECT_NE(page.find("<title>第一章 离家</title>"), std::string::npos) << page;
    EXPECT_NE(page.find("<h2>第一章　离家</h2>"), std::string::npos) << page;

    const auto read = test::Run("/usr/bin/python3 " +
                                Quote(std::string(QM_SOURCE_DIR) + "/tests/cli/reader_harness.py") +
                                " --layout epub3" + pairs);
    EXPECT_EQ(read.exitCode, 0) << read.out << read.err;
}

TEST_F(ChaptersCli, LongChapterContinuesAtParagraphEndsWithOneEntry) {
    std::string text = "第一章 长\n";
    while (text.size() < 700000)
        text += "　　一段不长的文字，重复很多次，直到这一章远远超过一页所能容纳的大小。\n";
    text += "第二章 短\n　　完。\n";
    test::WriteFile(work / "long.txt", text);
    const auto run = Cli("--epub3 -o long long.txt");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string listing = test::Run("unzip -l " + Quote(work / "long.epub")).out;
    const size_t pages = Count(listing, "OEBPS/text/p");
    EXPECT_GE(pages, 4u);  // at least three for the first chapter, one for the second
    const std::string nav = Entry("long.epub", "OEBPS/nav.xhtml");
    EXPECT_EQ(Count(nav, "<li><a href=\"text/p"), 2u) << nav;
    const std::string all = Entry("long.epub", "OEBPS/text/*");
    EXPECT_EQ(Count(all, "<h2>第一章 长</h2>"), 1u);
    EXPECT_EQ(all.find("class=\"cont\""), std::string::npos);  // no paragraph was cut
    const auto read = test::Run("/usr/bin/python3 " +
                                Quote(std::string(QM_SOURCE_DIR) + "/tests/cli/reader_harness.py") +
                                " --layout epub3 " + Quote(work / "long.epub") + " " +
                                Quote(work / "long.txt") + " unicode");
    EXPECT_EQ(read.exitCode, 0) << read.out << read.err;
}

TEST_F(ChaptersCli, WithoutHeadingsTheBookIsCutIntoPartsAndTheUserTold) {
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "　　没有标题的一行文字，第" + std::to_string(i) + "行。\n";
    test::WriteFile(work / "plain.txt", text);
    const auto run = Cli("--epub3 -n 3 -o plain plain.txt");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // No heading set -n aside.
    EXPECT_EQ(run.err.find("applies only"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("No chapter headings were found; the book is cut into 3 parts"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.out.find("Found"), std::string::npos);
    EXPECT_EQ(Count(test::Run("unzip -l " + Quote(work / "plain.epub")).out, "OEBPS/text/p"), 3u);
    // Every part ends at a line end.
    for (const char* page : {"OEBPS/text/p00001.xhtml", "OEBPS/text/p00002.xhtml"}) {
        const std::string xhtml = Entry("plain.epub", page);
        EXPECT_NE(xhtml.find("行。</p>\n</body>"), std::string::npos) << page;
    }
    // Headings set -n aside, and the user is told, alone or in a batch.
    test::WriteFile(work / "ch.txt", "第一章 一\n一\n第二章 二\n二\n");
    const auto headed = Cli("--epub3 -n 3 -o ch ch.txt");
    EXPECT_NE(headed.err.find("-n 3 applies only if none is found"), std::string::npos)
        << headed.err;
    const auto batch = Cli("--epub3 -n 3 -O shelf ch.txt plain.txt");
    EXPECT_NE(batch.err.find("divide 1 of the 2 books; -n 3 applies only to those without"),
              std::string::npos)
        << batch.err;
    // --no-chapters cuts a book with headings the same way, silently.
    const auto off = Cli("--epub3 --no-chapters -o ch ch.txt");
    EXPECT_EQ(off.err, "");
    EXPECT_EQ(Count(test::Run("unzip -l " + Quote(work / "ch.epub")).out, "OEBPS/text/p"), 1u);
}

TEST_F(ChaptersCli, PatternsAreCheckedAndTheContentsListedWithoutABook) {
    test::WriteFile(work / "s.txt", "Scene 1\na\n第一章 b\nb\nScene 2\nc\n");
    const auto list = Cli("--list-chapters --chapter-pattern '^Scene \\d+$' s.txt");
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(list.out, "Scene 1\nScene 2\nFound 2 chapters.\n");
    const auto bad = Cli("--epub3 --volume-pattern '[' -o s s.txt");
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("The volume pattern \"[\" is not a valid regular expression"),
              std::string::npos)
        << bad.err;
    EXPECT_FALSE(test::Exists(work / "s.epub"));
    std::error_code ignored;
    EXPECT_TRUE(std::filesystem::is_empty(tmp.Path(), ignored));
}

// Real books as downloaded (tests/conversion/realtexts: the text, xz-packed,
// and its headings labelled by reading it), scored per book by
// tests/cli/score_chapters.py through --list-chapters: precision and recall
// of the table of contents' entries, title and level both.
TEST_F(ChaptersCli, RealBooksKeepPrecisionAndRecall) {
    const std::string dir = std::string(QM_SOURCE_DIR) + "/tests/";
    const auto score = test::Run("python3 " + Quote(dir + "cli/score_chapters.py") + " " +
                                 Quote(test::BinPath("quillmark-cli")) + " " +
                                 Quote(dir + "conversion/realtexts") + " 0.99 0.98");
    std::printf("%s", score.out.c_str());
    EXPECT_EQ(score.exitCode, 0) << score.out << score.err;
    EXPECT_EQ(Count(score.out, " precision "), 14u) << score.out;
}

}  // namespace
}  // namespace qm
