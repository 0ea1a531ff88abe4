#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zip/StoredName.h"

namespace qm {
namespace {

TEST(StoredName, WithoutPathsOnlyTheFileNameIsStored) {
    EXPECT_EQ(StoredNameOf("/data/book/OEBPS/ch1.html", false, nullptr), "ch1.html");
    EXPECT_EQ(StoredNameOf("mimetype", false, nullptr), "mimetype");
}

TEST(StoredName, RelativePrefixIsCutInEitherCaseAndOnlyOnce) {
    const std::vector<std::string> prefixes = {"/Data/Book/", "/data/book/OEBPS/"};
    // The first prefix that fits wins, whatever the case of its ASCII letters.
    EXPECT_EQ(StoredNameOf("/data/book/OEBPS/ch1.html", true, &prefixes), "OEBPS/ch1.html");
    EXPECT_EQ(StoredNameOf("/data/book/mimetype", true, &prefixes), "mimetype");
    // A path outside every prefix keeps its whole directory, without a leading "/".
    EXPECT_EQ(StoredNameOf("/other/x.txt", true, &prefixes), "other/x.txt");
    // Full paths when relative paths are off.
    EXPECT_EQ(StoredNameOf("/data/book/mimetype", true, nullptr), "data/book/mimetype");
}

TEST(StoredName, NoComponentCanLeadOutOfTheExtractionDirectory) {
    EXPECT_EQ(StoredNameOf("/a/../b/./c.txt", true, nullptr), "a/b/c.txt");
    EXPECT_EQ(StoredNameOf("//x//y.txt", true, nullptr), "x/y.txt");
    EXPECT_EQ(StoredNameOf("/top.txt", true, nullptr), "top.txt");
    const std::vector<std::string> prefixes = {"/root/"};
    EXPECT_EQ(StoredNameOf("/root/../../etc/passwd", true, &prefixes), "etc/passwd");
}

}  // namespace
}  // namespace qm
