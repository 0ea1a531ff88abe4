// quillmark-cli --epub3 on texts as they come from archives and download
// sites: the book's own title lines, a wrapped Gutenberg text, boilerplate
// taken out on request and vertical pages, every book judged by epubcheck.
#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"

namespace qm {
namespace {

using test::Quote;

class TidyCli : public ::testing::Test {
  protected:
    test::CommandResult Cli(const std::string& args) {
        return test::Run("cd " + Quote(work.Path()) + " && TMPDIR=" + Quote(tmp.Path()) +
                         " SOURCE_DATE_EPOCH=1700000000 " + Quote(test::BinPath("quillmark-cli")) +
                         " --epub3 " + args);
    }
    std::string Entry(const std::string& book, const std::string& name) {
        return test::Run("unzip -p " + Quote(work / book) + " " + Quote(name)).out;
    }
    void ExpectValid(const std::string& book) {
        const auto check =
            test::Run("java -jar /usr/share/java/epubcheck.jar " + Quote(work / book));
        EXPECT_EQ(check.exitCode, 0) << book << check.out << check.err;
        EXPECT_NE(check.out.find("No errors or warnings detected"), std::string::npos)
            << book << check.out;
    }
    test::ScratchDir work, tmp;
};

TEST_F(TidyCli, ArchiveTextsComeOutAsBooks) {
    std::string words;
    for (int w = 0; w < 60; ++w) words += w % 4 ? "waves " : "on the shore ";
    std::string wrapped;
    for (size_t at = 0; at < words.size();) {
        size_t end = std::min(words.size(), at + 66);
        if (end < words.size()) end = words.rfind(' ', end) + 1;
        wrapped += words.substr(at, end - at) + "\n";
        at = end;
    }
    std::string english =
        "The Project Gutenberg EBook of Tides\n\nTitle: Tides\n\nAuthor: A. Writer\n\n"
        "*** START OF THIS PROJECT GUTENBERG EBOOK TIDES ***\n\nChapter 1\n\n";
    for (int p = 0; p < 8; ++p) english += wrapped + "\n";
    english += "*** END OF THIS PROJECT GUTENBERG EBOOK TIDES ***\nlicence text\n";
    test::WriteFile(work / "tides.txt", english);
    const auto run = Cli("--clean -o tides tides.txt");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE((run.out + run.err).find("Clean-up removed 9 lines"), std::string::npos)
        << run.out << run.err;
    const std::string opf = Entry("tides.epub", "OEBPS/content.opf");
    EXPECT_NE(opf.find("<dc:title>Tides</dc:title>"), std::string::npos) << opf;
    EXPECT_NE(opf.find("<dc:creator>A. Writer</dc:creator>"), std::string::npos) << opf;
    const std::string page = Entry("tides.epub", "OEBPS/text/p00001.xhtml");
    EXPECT_NE(page.find("<p>" + words.substr(0, words.size() - 1) + "</p>"), std::string::npos)
        << page;
    EXPECT_EQ(page.find("Gutenberg"), std::string::npos) << page;
    ExpectValid("tides.epub");

    // A download site's book, set vertically: the title line and the site's
    // notice never reach a page, the separator is centred, digits stand.
    std::string chinese = "《海边》作者：某某\n申明:本书由某某小说下载网(www.example.com)整理\n";
    chinese += "\n第1章 7月15日\n";
    for (int p = 0; p < 5; ++p) chinese += "　　海风吹过小镇，第" + std::to_string(p) + "天。\n";
    chinese += "＊　＊　＊\n　　夜里下雨了。\n";
    // Lines of the story that hold a site's words; only the last line goes.
    for (int k = 0; k < 3; ++k) chinese += "　　“站住！”\n";
    chinese +=
        "　　她说：“请记住，我永远爱你。”\n更多精彩好书，请登陆某某小说网--www.example.com\n";
    test::WriteFile(work / "sea.txt", chinese);
    const auto sea = Cli("--vertical -o sea sea.txt");
    ASSERT_EQ(sea.exitCode, 0) << sea.err;
    EXPECT_EQ((sea.out + sea.err).find("Clean-up"), std::string::npos);
    const std::string text =
        test::Run("unzip -p " + Quote(work / "sea.epub") + " 'OEBPS/text/*'").out;
    EXPECT_EQ(text.find("《海边》"), std::string::npos) << text;
    EXPECT_NE(text.find("<p class=\"sep\">＊　＊　＊</p>"), std::string::npos) << text;
    EXPECT_NE(text.find("第<span class=\"tcu\">1</span>天"), std::string::npos) << text;
    EXPECT_NE(Entry("sea.epub", "OEBPS/content.opf").find("<dc:creator>某某</dc:creator>"),
              std::string::npos);
    ExpectValid("sea.epub");
    const auto cleaned = Cli("--vertical --clean -o sea sea.txt");
    EXPECT_NE((cleaned.out + cleaned.err).find("Clean-up removed 2 lines "), std::string::npos)
        << cleaned.err;
    const std::string cleanText =
        test::Run("unzip -p " + Quote(work / "sea.epub") + " 'OEBPS/text/*'").out;
    EXPECT_EQ(cleanText.find("申明"), std::string::npos);
    EXPECT_EQ(cleanText.find("更多精彩"), std::string::npos);
    size_t halts = 0;
    for (size_t at = cleanText.find("站住"); at != std::string::npos;
         at = cleanText.find("站住", at + 1))
        ++halts;
    EXPECT_EQ(halts, 3u) << cleanText;
    EXPECT_NE(cleanText.find("请记住，我永远爱你。"), std::string::npos) << cleanText;
    ExpectValid("sea.epub");
}

}  // namespace
}  // namespace qm
