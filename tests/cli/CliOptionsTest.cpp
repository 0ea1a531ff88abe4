// The command line's options and the names derived from them.
#include <gtest/gtest.h>

#include "cli/CliOptions.h"
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
                                               {"-t", "T", "a.txt", "b.txt"}}) {
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
                             "-r, --recursive", "    --version"}) {
        EXPECT_NE(help.find(line), std::string::npos) << line << "\n" << help;
    }
}

TEST(CliOptions, NamesFollowTheWindowsRules) {
    EXPECT_TRUE(HasTxtExtension("dir/book.txt"));
    EXPECT_TRUE(HasTxtExtension("a.b.txt"));
    EXPECT_FALSE(HasTxtExtension("book.TXT"));
    EXPECT_FALSE(HasTxtExtension("book.txt.gz"));
    EXPECT_FALSE(HasTxtExtension("dir.txt/book"));

    EXPECT_EQ(LabelNameOf("/x/y.z/小说.txt"), test::Hex("D0 A1 CB B5"));
    EXPECT_EQ(LabelNameOf("a.b.txt"), "a.b");

    TCliOptions options;
    EXPECT_EQ(ArchiveNameOf(options), "myepub.epub");
    options.title = "我的书";
    EXPECT_EQ(ArchiveNameOf(options), "我的书.epub");
    options.title = "a/b";
    EXPECT_EQ(ArchiveNameOf(options), "a_b.epub");
    options.output = "out/book";
    EXPECT_EQ(ArchiveNameOf(options), "out/book.epub");
    options.output = "out.d/book.zip";
    EXPECT_EQ(ArchiveNameOf(options), "out.d/book.zip");
}

}  // namespace
}  // namespace qm
