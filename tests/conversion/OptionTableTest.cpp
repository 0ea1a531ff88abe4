// The option table's part in a book's identifier: every option that changes
// the book changes the identifier, and the bytes it adds never move, so books
// made earlier keep their identifiers.
#include <gtest/gtest.h>

#include <set>

#include "conversion/run/OptionTable.h"

namespace qm {
namespace {

// The values with the row's option set to something other than its default.
TOptionValues WithOptionChanged(const TOptionRow& row) {
    TOptionValues values;
    if (row.flag) {
        row.flag(values) = !row.flag(values);
    } else if (row.number) {
        row.number(values) = row.number(values) == row.low ? row.high : row.low;
    } else {
        row.text(values) += "x";
    }
    return values;
}

TEST(OptionTable, EveryPlacedOptionChangesTheFingerprint) {
    std::set<int> places;
    std::set<std::string> fingerprints = {OptionsFingerprint(TOptionValues())};
    for (const TOptionRow& row : OptionTable()) {
        if (row.fingerprintPlace == 0) continue;
        EXPECT_TRUE(places.insert(row.fingerprintPlace).second) << row.longName;
        EXPECT_TRUE(fingerprints.insert(OptionsFingerprint(WithOptionChanged(row))).second)
            << "--" << row.longName << " leaves the identifier as it was";
    }
    // Places run from 1 without a gap.
    EXPECT_EQ(*places.begin(), 1);
    EXPECT_EQ(*places.rbegin(), static_cast<int>(places.size()));
}

TEST(OptionTable, FingerprintKeepsItsBytes) {
    TOptionValues values;
    EXPECT_EQ(OptionsFingerprint(values), std::string("\0\0\0\0\0"
                                                      "1\0h\0c\0\0\0",
                                                      13));
    values.title = "书";
    values.author = "A";
    values.parts = 12;
    values.threads = 3;                // how a book is made,
    values.epub3.coverPath = "c.png";  // or files that enter by their bytes, take no place
    values.epub3.encoding = "UTF-8";
    values.epub3.language = "ja";
    values.epub3.convert = "s2t";
    values.epub3.vertical = true;
    values.epub3.chapters = false;
    values.epub3.chapterPattern = "^C";
    values.epub3.volumePattern = "^V";
    EXPECT_EQ(OptionsFingerprint(values), std::string("书\0A\0UTF-8\0ja\0s2t\0"
                                                      "12\0v\0-\0^C\0^V\0",
                                                      32));
    // Flags added later enter only when set, so older books keep their
    // identifiers.
    values.epub3.unwrap = true;
    values.epub3.clean = true;
    EXPECT_EQ(OptionsFingerprint(values), std::string("书\0A\0UTF-8\0ja\0s2t\0"
                                                      "12\0v\0-\0^C\0^V\0u\0x\0",
                                                      36));
}

}  // namespace
}  // namespace qm
