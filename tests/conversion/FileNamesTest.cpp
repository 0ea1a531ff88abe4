// Splitting a listed file's path into the name and extension the list shows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conversion/run/FileNames.h"

namespace qm {
namespace {

TEST(FileNames, ExtensionAndNameComeFromTheLastComponent) {
    EXPECT_EQ(ExtractFileExt("/home/u/book.txt"), ".txt");
    EXPECT_EQ(ExtractBaseName("/home/u/book.txt"), "book");
    EXPECT_EQ(ExtractFileExt("/home/u/a.b.txt"), ".txt");
    EXPECT_EQ(ExtractBaseName("/home/u/a.b.txt"), "a.b");
    EXPECT_EQ(ExtractFileExt("/home/u.v/book"), "");
    EXPECT_EQ(ExtractBaseName("/home/u.v/book"), "book");
    EXPECT_EQ(ExtractFileExt("/home/u/.txt"), ".txt");
    EXPECT_EQ(ExtractBaseName("/home/u/.txt"), "");
    EXPECT_EQ(ExtractBaseName("plain.txt"), "plain");
    // Backslash and colon are ordinary characters on Linux.
    EXPECT_EQ(ExtractBaseName("/d/a\\b:c.txt"), "a\\b:c");
    // A UTF-8 name is cut at the real dot only.
    EXPECT_EQ(ExtractBaseName("/书籍/表示.txt"), "表示");
    EXPECT_EQ(ExtractFileExt("/书籍/表示.txt"), ".txt");
}

TEST(FileNames, ABookFileStemIsOneVisibleNameThatFits) {
    struct Case {
        std::string title, ending, stem;
    };
    const std::string zhong = "中";  // three bytes in UTF-8
    std::string long300;
    for (int i = 0; i < 100; ++i) long300 += zhong;
    const std::vector<Case> cases = {
        {"我的书", ".epub", "我的书"},
        {"", ".epub", "myepub"},
        {"../../escape", ".epub", "_.._escape"},
        {".", ".epub", "myepub"},
        {"..", ".epub", "myepub"},
        {"...hidden", ".epub", "hidden"},
        {"a/b", ".epub", "a_b"},
        {"tab\there\nline\x7f\xc2\x85"
         "end",
         ".epub", "tab_here_line__end"},
        // Cut to 250 bytes: 83 whole characters, none split.
        {long300, ".epub", long300.substr(0, 83 * 3)},
        {long300, " (12).epub", long300.substr(0, 81 * 3)},
        {std::string(300, 'x'), ".epub", std::string(250, 'x')},
        {"\xB5\xDA\xD2\xBB", ".epub", "第一"},  // typed in GBK, named as the title reads
        // Names that show nothing look like none.
        {"   ", ".epub", "myepub"},
        {"\u200b", ".epub", "myepub"},
        {".\u3000\u200d", ".epub", "myepub"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BookFileStem(c.title, c.ending), c.stem) << c.title;
        EXPECT_LE(BookFileStem(c.title, c.ending).size() + c.ending.size(), kFileNameLimit);
    }
}

}  // namespace
}  // namespace qm
