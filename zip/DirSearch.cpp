#include "zip/DirSearch.h"

#include <cerrno>

#include "zip/Wildcard.h"

namespace qm {

TSearchData::TSearchData(const std::string& directory, uint32_t searchMask)
    : directory_(directory.empty() || directory.back() == '/' ? directory : directory + "/"),
      search_(directory_, searchMask) {}

TDirSearch::TDirSearch(const std::string& startDir, uint32_t searchMask, bool recurse,
                       const std::string& pattern)
    : pattern_(pattern), recurse_(recurse), searchMask_(searchMask) {
    std::string start = startDir;
    if (start.empty() || start.back() != '/') start += '/';
    std::string base = start;
    const size_t firstWild = start.find_first_of("*?<>|");
    if (firstWild != std::string::npos) {
        const size_t cut = start.rfind('/', firstWild);
        base = cut == std::string::npos ? std::string() : start.substr(0, cut + 1);
        size_t from = cut == std::string::npos ? 0 : cut + 1;
        while (from < start.size()) {
            const size_t slash = start.find('/', from);
            components_.push_back(start.substr(from, slash - from));
            from = slash + 1;
        }
        componentCount_ = static_cast<int32_t>(components_.size());
    }
    levels_[0] = std::make_unique<TSearchData>(base, searchMask_);
}

void TDirSearch::Push(const std::string& directory) {
    ++level_;
    levels_[level_] = std::make_unique<TSearchData>(directory, searchMask_);
}

void TDirSearch::Pop() {
    levels_[level_].reset();
    --level_;
}

std::string TDirSearch::NextFile(TSearchRec& rec) {
    while (true) {
        TSearchData* current = levels_[level_].get();
        if (current->SearchResult() != 0) {
            if (current->SearchResult() != ENOENT && !current->errorReported) {
                current->errorReported = true;
                if (OnUnreadable) OnUnreadable(current->Directory());
            }
            if (level_ == 0) return std::string();
            Pop();
            if (InWildcardComponents()) --componentIndex_;
            levels_[level_]->Advance();
            continue;
        }
        const TSearchRec& entry = current->SearchRec();
        const bool isDirectory = (entry.Attr & faDirectory) != 0;
        const bool canDescend = level_ + 1 < kMaxLevels;

        if (InWildcardComponents()) {
            if (isDirectory && canDescend &&
                WildcardMatch(components_[static_cast<size_t>(componentIndex_)], entry.Name)) {
                ++componentIndex_;
                Push(current->Directory() + entry.Name);
            } else {
                current->Advance();
            }
            continue;
        }
        if (isDirectory) {
            if (!recurse_ || !canDescend) {
                if (recurse_ && OnTooDeep) OnTooDeep(current->Directory() + entry.Name + "/");
                current->Advance();
                continue;
            }
            const std::string path = current->Directory() + entry.Name + "/";
            Push(path);
            return path;
        }
        // A name without an extension is tested with a dot appended, so "*.*"
        // fits it and "*." picks exactly such names.
        std::string testName = entry.Name;
        if (testName.find('.') == std::string::npos) testName += '.';
        if (WildcardMatch(pattern_, testName)) {
            rec = entry;
            const std::string path = current->Directory() + entry.Name;
            current->Advance();
            return path;
        }
        current->Advance();
    }
}

}  // namespace qm
