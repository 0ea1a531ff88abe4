// Orderings of the entry lists and what they do with equal keys.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "zip/SortedLists.h"
#include "zip/ZipExceptions.h"

namespace qm {
namespace {

struct EntryRow {
    const char* directory;
    const char* name;
    uint32_t dosDate;
    int64_t compressed;
    int64_t uncompressed;
    int64_t offset;
};

// Rates: a 50%, b 10%, c 100% (capped), d 0 (empty); d has an invalid date.
const EntryRow kEntries[] = {
    {"OEBPS/", "b.html", 0x5A210000, 10, 100, 300},
    {"", "mimetype", 0x5A410000, 50, 100, 0},
    {"META-INF/", "Container.xml", 0x5A220000, 0x180000000LL, 0x100000000LL, 100},
    {"oebps/css/", "A.css", 0x00000000, 0, 0, 200},
};

std::vector<std::unique_ptr<TZipHeaderInfo>> MakeEntries() {
    std::vector<std::unique_ptr<TZipHeaderInfo>> entries;
    for (const EntryRow& row : kEntries) {
        auto entry = std::make_unique<TZipHeaderInfo>();
        entry->SetDirectory(row.directory);
        entry->SetFileName(row.name);
        entry->LastModFileDateTime = row.dosDate;
        entry->SetCompressedSize(row.compressed);
        entry->SetUncompressedSize(row.uncompressed);
        entry->SetRelativeOffset(row.offset);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<std::string> Order(TZipSortMode mode) {
    auto entries = MakeEntries();
    TSortedZip list(mode, dupAccept, false);
    for (auto& entry : entries) list.Add(entry.get());
    std::vector<std::string> names;
    for (int i = 0; i < list.Count(); ++i) names.push_back(list[i]->FileName());
    return names;
}

using Names = std::vector<std::string>;

TEST(SortedZip, EveryModeOrdersAsDocumented) {
    // Case-insensitive, by the joined name.
    EXPECT_EQ(Order(ByName), (Names{"Container.xml", "mimetype", "b.html", "A.css"}));
    EXPECT_EQ(Order(ByFileName), (Names{"A.css", "b.html", "Container.xml", "mimetype"}));
    EXPECT_EQ(Order(ByDirectoryName), (Names{"mimetype", "Container.xml", "b.html", "A.css"}));
    // Latest first; an invalid date counts as 0.
    EXPECT_EQ(Order(ByDate), (Names{"mimetype", "Container.xml", "b.html", "A.css"}));
    // Largest first, with 64-bit sizes.
    EXPECT_EQ(Order(ByCompressedSize), (Names{"Container.xml", "mimetype", "b.html", "A.css"}));
    // Equal keys: the later insertion stands in front.
    EXPECT_EQ(Order(ByUnCompressedSize), (Names{"Container.xml", "mimetype", "b.html", "A.css"}));
    EXPECT_EQ(Order(ByRate), (Names{"Container.xml", "mimetype", "b.html", "A.css"}));
    // Archive order: disk, then offset.
    EXPECT_EQ(Order(ByNone), (Names{"mimetype", "Container.xml", "A.css", "b.html"}));
}

TEST(SortedZip, ArchiveOrderPutsTheDiskFirst) {
    TZipHeaderInfo early, late;
    early.SetRelativeOffset(500);
    late.SetRelativeOffset(10);
    late.DiskNumberStart = 1;
    TSortedZip list(ByNone, dupError, false);
    list.Add(&late);
    EXPECT_EQ(list.Add(&early), 0);
}

TEST(SortedZip, EqualKeysAreRefusedIgnoredOrAccepted) {
    TZipHeaderInfo first, second, third;
    first.SetDirectory("OEBPS");
    first.SetFileName("a.html");
    second.SetDirectory("oebps");
    second.SetFileName("A.HTML");
    third.SetFileName("z");

    TSortedZip refusing(ByName, dupError, false);
    refusing.Add(&first);
    try {
        refusing.Add(&second);
        FAIL() << "a duplicate was taken";
    } catch (const EListError& error) {
        EXPECT_EQ(error.Message(), "Duplicate Object index");
    }
    EXPECT_EQ(refusing.Count(), 1);
    int index = -1;
    EXPECT_TRUE(refusing.Find(second, index));
    EXPECT_EQ(index, 0);
    EXPECT_FALSE(refusing.Find(third, index));
    EXPECT_EQ(index, 1);

    TSortedZip ignoring(ByName, dupIgnore, false);
    ignoring.Add(&first);
    EXPECT_EQ(ignoring.Add(&second), -1);
    EXPECT_EQ(ignoring.Count(), 1);

    // Accepted: the newcomer goes in front of its equals.
    TSortedZip accepting(ByName, dupAccept, false);
    accepting.Add(&first);
    accepting.Add(&third);
    EXPECT_EQ(accepting.Add(&second), 0);
    EXPECT_EQ(accepting[0], &second);
    EXPECT_EQ(accepting[1], &first);

    try {
        accepting.Items(3);
        FAIL() << "no range check";
    } catch (const EListError& error) {
        EXPECT_EQ(error.Message(), "Index 3 is out of range");
    }
}

TEST(SortedZip, OwningListHandsOutAndFreesItsRecords) {
    TSortedZip owning(ByNone, dupError, true);
    owning.SetCapacity(100);
    EXPECT_GE(owning.Capacity(), 100);
    for (int i = 0; i < 3; ++i) {
        auto entry = std::make_unique<TZipHeaderInfo>();
        entry->SetRelativeOffset(i);
        owning.Add(entry.release());
    }
    std::unique_ptr<TZipHeaderInfo> taken(owning.Extract(1));
    EXPECT_EQ(taken->RelativeOffset(), 1);
    owning.Delete(0);
    ASSERT_EQ(owning.Count(), 1);
    EXPECT_EQ(owning[0]->RelativeOffset(), 2);
}

}  // namespace
}  // namespace qm
