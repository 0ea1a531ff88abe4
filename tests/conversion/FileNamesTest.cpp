// Splitting a listed file's path into the name and extension the list shows.
#include <gtest/gtest.h>

#include "conversion/FileNames.h"

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

}  // namespace
}  // namespace qm
