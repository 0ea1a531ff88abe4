// The command line's options and the names derived from them.
#include <gtest/gtest.h>

#include "cli/CliOptions.h"
#include "conversion/run/Messages.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

bool Parse(std::vector<std::string> args, TCliOptions& options, std::string& error) {
    return ParseCliOptions(args, options, error);
}

TEST(CliOptions, ReadsEveryOptionInEitherForm) {
    TCliOptions options;
    std::string error;
    ASSERT_TRUE(
        Parse({"-t", "书名", "-a作者", "-n", "12", "-o", "out/b", "book.txt"}, options, error))
        << error;
    EXPECT_EQ(options.title, "书名");
    EXPECT_EQ(options.author, "作者");
    EXPECT_EQ(options.parts, 12);
    EXPECT_EQ(options.output, "out/b");
    EXPECT_EQ(options.files, std::vector<std::string>{"book.txt"});
    EXPECT_FALSE(options.Batch());

    TCliOptions dashed;
    ASSERT_TRUE(Parse({"--", "-odd.txt"}, dashed, error));
    EXPECT_EQ(dashed.files, std::vector<std::string>{"-odd.txt"});
    EXPECT_EQ(dashed.parts, 1);

    // Long forms with "=" or a separate value, unambiguous prefixes, bundled
    // flags, operands anywhere.
    TCliOptions batch;
    ASSERT_TRUE(Parse({"a.txt", "--parts=64", "--output-d", "out", "-rj2", "dir"}, batch, error))
        << error;
    EXPECT_EQ(batch.parts, 64);
    EXPECT_EQ(batch.outputDir, "out");
    EXPECT_TRUE(batch.recursive);
    EXPECT_EQ(batch.jobs, 2);
    EXPECT_EQ(batch.files, (std::vector<std::string>{"a.txt", "dir"}));
    EXPECT_TRUE(batch.Batch());
}

TEST(CliOptions, RefusesMistakes) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {"-n", "0", "a.txt"},
                                               {"-n", "1025", "a.txt"},
                                               {"-n", "3x", "a.txt"},
                                               {"-n", "-2", "a.txt"},
                                               {"-n"},
                                               {"-x", "a.txt"},
                                               {"--verbose", "a.txt"},
                                               {"--parts", "0", "a.txt"},
                                               {"--title"},
                                               {"--recursive=yes", "d"},
                                               {"--out", "x", "a.txt"},  // ambiguous
                                               {"-j", "0", "a.txt"},
                                               {"-o", "x.epub", "a.txt", "b.txt"},
                                               {"-o", "x.epub", "-O", "d", "a.txt"},
                                               {"-t", "T", "a.txt", "b.txt"},
                                               {"--classic", "--vertical", "a.txt"}}) {
        TCliOptions options;
        std::string error;
        EXPECT_FALSE(Parse(args, options, error)) << ::testing::PrintToString(args);
        EXPECT_FALSE(error.empty());
    }
    TCliOptions options;
    std::string error;
    EXPECT_TRUE(Parse({"-n", "1024", "--help"}, options, error));
    EXPECT_TRUE(options.help);
    // The help lists every option in both forms.
    const std::string help = CliUsageText();
    for (const char* line : {"-n, --parts=PARTS", "-O, --output-dir=DIR", "-j, --jobs=N",
                             "-r, --recursive", "-V, --version", "-h, --help"}) {
        EXPECT_NE(help.find(line), std::string::npos) << line << "\n" << help;
    }
}

TEST(CliOptions, NamesFollowTheWindowsRules) {
    EXPECT_TRUE(HasTxtExtension("dir/book.txt"));
    EXPECT_TRUE(HasTxtExtension("a.b.txt"));
    EXPECT_FALSE(HasTxtExtension("book.TXT"));
    EXPECT_TRUE(HasTxtExtension("book.TXT", true));
    EXPECT_TRUE(HasTxtExtension("book.Txt", true));
    EXPECT_FALSE(HasTxtExtension("book.text", true));
    EXPECT_FALSE(HasTxtExtension("book.txt.gz"));
    EXPECT_FALSE(HasTxtExtension("dir.txt/book"));

    EXPECT_EQ(LabelNameOf("/x/y.z/小说.txt"), test::Hex("D0 A1 CB B5"));
    EXPECT_EQ(LabelNameOf("a.b.txt"), "a.b");

    // Without -o the book is named as a batch names it; "-o DIR/" or an
    // existing directory takes that name inside.
    test::ScratchDir scratch;
    const std::string dir = scratch.Path().substr(0, scratch.Path().size() - 1);  // no "/"
    const struct {
        bool classic;
        const char* title;
        std::string output;
        const char* expected;
    } cases[] = {
        {false, "", "", "海边.epub"},             // EPUB 3: the title part of the file's name
        {true, "", "", "《海边》作者：某.epub"},  // classic: the whole base name
        {false, "我的书", "", "我的书.epub"},
        {false, "a/b", "", "a_b.epub"},
        {false, "", "out/", "out/海边.epub"},
        {false, "T", dir, "T.epub"},
        {false, "T", "out/book", "out/book.epub"},
        {false, "T", "out.d/book.zip", "out.d/book.zip"},
    };
    for (const auto& c : cases) {
        TCliOptions options;
        options.epub3.epub3 = !c.classic;
        options.title = c.title;
        options.output = c.output;
        const std::string name = ArchiveNameOf(options, "in/《海边》作者：某.txt");
        if (c.output == dir) {
            EXPECT_EQ(name, scratch / c.expected);
        } else {
            EXPECT_EQ(name, c.expected) << c.output;
        }
    }
}

TEST(CliMessages, FollowTheLocaleAndTranslateReasons) {
    const struct {
        const char *all, *messages, *lang;
        TLanguage expected;
    } locales[] = {
        {nullptr, nullptr, nullptr, TLanguage::English},
        {nullptr, nullptr, "zh_CN.UTF-8", TLanguage::Chinese},
        {"", "zh_TW.UTF-8", "en_US.UTF-8", TLanguage::Chinese},
        {"C.UTF-8", "zh_CN.UTF-8", "zh_CN.UTF-8", TLanguage::English},
        {"zh_HK", nullptr, "en_GB.UTF-8", TLanguage::Chinese},
    };
    for (const auto& l : locales) {
        EXPECT_EQ(MessageLanguage(l.all, l.messages, l.lang), l.expected)
            << (l.all ? l.all : "-") << " " << (l.lang ? l.lang : "-");
    }
    const struct {
        std::string text;
        const char *english, *chinese;
    } texts[] = {
        // A reason holding the system's, rebuilt in either direction.
        {"Cannot open file \"a.txt\". Permission denied",
         "Cannot open file \"a.txt\". Permission denied", "无法打开文件“a.txt”：权限不够"},
        {"无法打开文件“a.txt”：权限不够", "Cannot open file \"a.txt\". Permission denied",
         "无法打开文件“a.txt”：权限不够"},
        {"文件大小小于或等于分割数", "The file is not bigger than the number of parts.",
         "文件大小小于或等于分割数"},
        // Nested reasons, each level rebuilt.
        {"The cover image \"c.png\" is a damaged PNG image (CRC error).",
         "The cover image \"c.png\" is a damaged PNG image (CRC error).",
         "封面图片“c.png”是损坏的 PNG 图片（CRC error）。"},
        {"The font \"f.ttf\" cannot be read: larger than 64 MB",
         "The font \"f.ttf\" cannot be read: larger than 64 MB", "无法读取字体“f.ttf”：大于 64 MB"},
        {"Clean-up removed 3 lines of site boilerplate and 1 web address stamped on the book's "
         "sentences.",
         "Clean-up removed 3 lines of site boilerplate and 1 web address stamped on the book's "
         "sentences.",
         "清理：去掉了 3 行网站广告，以及句中夹带的 1 个网址。"},
        // A path fills a "%s" as it is, even one that looks like a word.
        {"cannot make the directory \".\": Permission denied",
         "cannot make the directory \".\": Permission denied", "无法创建目录“.”：权限不够"},
        // ICU's name in words, inside a text the catalogue lacks.
        {"bad (U_REGEX_MISMATCHED_PAREN)", "bad (unmatched parenthesis)", "bad (括号不配对)"},
        {"something else", "something else", "something else"},
    };
    for (const auto& t : texts) {
        EXPECT_EQ(LocalText(t.text, TLanguage::English), t.english);
        EXPECT_EQ(LocalText(t.text, TLanguage::Chinese), t.chinese);
    }
    EXPECT_EQ(Say(TLanguage::Chinese, "Saved to %s", {"/b.epub"}), "已保存到 /b.epub");
    // The window: line by line, and its own Chinese kept whatever the locale.
    const std::string box = "灰常遗憾，未能转换成功\nCannot open file \"a.txt\". Permission denied";
    EXPECT_EQ(WindowText(box, TLanguage::English), box);
    EXPECT_EQ(WindowText(box, TLanguage::Chinese),
              "灰常遗憾，未能转换成功\n无法打开文件“a.txt”：权限不够");
    EXPECT_EQ(WindowText("文件大小小于或等于分割数\n", TLanguage::English),
              "文件大小小于或等于分割数\n");
}

}  // namespace
}  // namespace qm
