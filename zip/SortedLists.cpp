#include "zip/SortedLists.h"

#include <cmath>

#include "platform/AsciiCase.h"
#include "platform/FileTimes.h"
#include "platform/Format.h"
#include "zip/ZipExceptions.h"

namespace qm {

namespace {

template <typename T>
int Ascending(T a, T b) {
    return a < b ? -1 : a > b ? 1 : 0;
}

TDateTime DateValue(const TZipHeaderInfo& entry) {
    TDateTime value = 0;
    return DosDateTimeToDateTime(entry.LastModFileDateTime, value) ? value : 0;
}

// Compressed size as a rounded percentage of the uncompressed size, at most
// 100; 0 for an empty entry.
int Rate(const TZipHeaderInfo& entry) {
    const int64_t uncompressed = entry.UncompressedSize();
    const int64_t compressed = entry.CompressedSize();
    if (uncompressed <= 0 || compressed <= 0)
        return 0;  // sizes from a hostile file may be negative
    const double percent =
        std::nearbyint(static_cast<double>(compressed) * 100.0 / static_cast<double>(uncompressed));
    return percent > 100 ? 100 : static_cast<int>(percent);
}

}  // namespace

TSortedZip::TSortedZip(TZipSortMode mode, TDuplicates duplicates, bool ownsObjects)
    : mode_(mode), duplicates_(duplicates), ownsObjects_(ownsObjects) {}

TSortedZip::~TSortedZip() {
    Clear();
}

int TSortedZip::Compare(TZipSortMode mode, const TZipHeaderInfo& a, const TZipHeaderInfo& b) {
    switch (mode) {
        case ByName:
            return CompareTextAscii(a.StoredName(), b.StoredName());
        case ByFileName:
            return CompareTextAscii(a.FileName(), b.FileName());
        case ByDirectoryName:
            return CompareTextAscii(a.Directory(), b.Directory());
        // Latest or largest first.
        case ByDate:
            return Ascending(DateValue(b), DateValue(a));
        case ByCompressedSize:
            return Ascending(b.CompressedSize(), a.CompressedSize());
        case ByUnCompressedSize:
            return Ascending(b.UncompressedSize(), a.UncompressedSize());
        case ByRate:
            return Ascending(Rate(b), Rate(a));
        case ByNone:
            break;
    }
    const int disk = Ascending(a.DiskNumberStart, b.DiskNumberStart);
    return disk != 0 ? disk : Ascending(a.RelativeOffset(), b.RelativeOffset());
}

TZipHeaderInfo* TSortedZip::Items(int index) const {
    if (index < 0 || index >= Count()) throw EListError(Format(kIndexOutOfRangeFormat, index));
    return items_[static_cast<size_t>(index)];
}

bool TSortedZip::Find(const TZipHeaderInfo& key, int& index) const {
    int low = 0;
    int high = Count();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (Compare(mode_, *items_[static_cast<size_t>(middle)], key) < 0) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    index = low;
    return low < Count() && Compare(mode_, *items_[static_cast<size_t>(low)], key) == 0;
}

int TSortedZip::Add(TZipHeaderInfo* item) {
    int index = 0;
    if (Find(*item, index)) {
        if (duplicates_ == dupError) throw EListError(kDuplicateIndexText);
        if (duplicates_ == dupIgnore) return -1;
    }
    items_.insert(items_.begin() + index, item);
    return index;
}

void TSortedZip::Delete(int index) {
    TZipHeaderInfo* item = Extract(index);
    if (ownsObjects_) delete item;
}

TZipHeaderInfo* TSortedZip::Extract(int index) {
    TZipHeaderInfo* item = Items(index);
    items_.erase(items_.begin() + index);
    return item;
}

void TSortedZip::Clear() {
    if (ownsObjects_) {
        for (TZipHeaderInfo* item : items_) delete item;
    }
    items_.clear();
}

void TSortedZip::SetCapacity(int capacity) {
    if (capacity > 0) items_.reserve(static_cast<size_t>(capacity));
}

}  // namespace qm
