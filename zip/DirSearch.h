#pragma once
// The directory walk: enumerates the files below a start directory that fit a
// pattern, depth first, each directory in its listing order.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace qm {

// One directory being listed; the walk matches names against its patterns.
class TSearchData {
  public:
    // Starts the listing of directory (a "/" is added when missing).
    TSearchData(const std::string& directory, uint32_t searchMask);

    const std::string& Directory() const { return directory_; }
    // 0 while there is a current entry, else the error that ended the search.
    int SearchResult() const { return search_.Result(); }
    const TSearchRec& SearchRec() const { return search_.Current(); }
    void Advance() { search_.Next(); }
    // Set once the walk has told of an error that ended this listing.
    bool errorReported = false;

  private:
    std::string directory_;
    TFileSearch search_;
};

class TDirSearch {
  public:
    // The start directory, the level stack's depth: the start directory and 20
    // levels of subdirectories below it. Deeper directories are not entered.
    static constexpr int kMaxLevels = 21;

    // startDir may hold wildcard components ("data/a*/"); they select the
    // directories whose files are listed. Starts the first search at once.
    TDirSearch(const std::string& startDir, uint32_t searchMask, bool recurse,
               const std::string& pattern);

    // The next item: a file's full path (rec filled), a directory's full path
    // with a trailing "/" when recursion enters it, or "" when the walk is over.
    std::string NextFile(TSearchRec& rec);

    // Called with each directory (full path, trailing "/") that the walk
    // would enter but cannot, being 20 levels below the start already, so
    // that what is left out does not go unnoticed.
    std::function<void(const std::string& directory)> OnTooDeep;
    // Called with each directory (trailing "/") whose listing failed (no
    // permission to read it, an I/O error), so that its files are not left
    // out unnoticed.
    std::function<void(const std::string& directory)> OnUnreadable;

  private:
    void Push(const std::string& directory);
    void Pop();
    bool InWildcardComponents() const { return level_ < componentCount_; }

    std::array<std::unique_ptr<TSearchData>, kMaxLevels> levels_;
    int32_t level_ = 0;
    std::string pattern_;
    bool recurse_ = false;
    std::vector<std::string> components_;
    int32_t componentCount_ = 0;
    int32_t componentIndex_ = 0;
    uint32_t searchMask_ = 0;
};

}  // namespace qm
