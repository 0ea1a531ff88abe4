#pragma once
// TSortedZip: a list of entry records kept in the order of a sort mode,
// inserting by binary search. It may own its records (and free them) or only
// refer to records another list owns.
#include <cstdint>
#include <vector>

#include "zip/ZipRecords.h"

namespace qm {

enum TZipSortMode {
    ByName = 0,
    ByFileName,
    ByDirectoryName,
    ByDate,
    ByCompressedSize,
    ByUnCompressedSize,
    ByRate,
    ByNone
};

// What an insertion does with a key equal to one already listed.
enum TDuplicates { dupIgnore, dupAccept, dupError };

class TSortedZip {
public:
    TSortedZip(TZipSortMode mode, TDuplicates duplicates, bool ownsObjects);
    ~TSortedZip();
    TSortedZip(const TSortedZip&) = delete;
    TSortedZip& operator=(const TSortedZip&) = delete;

    TZipSortMode SortMode() const { return mode_; }
    TDuplicates Duplicates() const { return duplicates_; }
    bool OwnsObjects() const { return ownsObjects_; }

    int Count() const { return static_cast<int>(items_.size()); }
    // The record at index; EListError "Index %d is out of range" outside.
    TZipHeaderInfo* Items(int index) const;
    TZipHeaderInfo* operator[](int index) const { return Items(index); }

    // Inserts at the first position whose record is not less than item and
    // returns that index. An equal key: dupError raises EListError
    // "Duplicate Object index", dupIgnore returns -1. An owning list takes
    // the record only when it returns an index >= 0; otherwise the caller
    // still owns it.
    int Add(TZipHeaderInfo* item);
    // True and the index of the first record equal to key, or false and the
    // index where key would go.
    bool Find(const TZipHeaderInfo& key, int& index) const;
    // Removes the record at index, freeing it when the list owns it.
    void Delete(int index);
    // Removes the record at index and hands it to the caller.
    TZipHeaderInfo* Extract(int index);
    // Empties the list, freeing owned records.
    void Clear();
    void SetCapacity(int capacity);
    int Capacity() const { return static_cast<int>(items_.capacity()); }

    // <0, 0, >0 as a orders before, with or after b under the mode.
    static int Compare(TZipSortMode mode, const TZipHeaderInfo& a, const TZipHeaderInfo& b);

private:
    TZipSortMode mode_;
    TDuplicates duplicates_;
    bool ownsObjects_;
    std::vector<TZipHeaderInfo*> items_;
};

}  // namespace qm
