#include "conversion/run/BatchPlan.h"

#include <set>

#include "conversion/book/BookNameParts.h"
#include "conversion/run/FileNames.h"
#include "conversion/run/PrepareConversion.h"
#include "platform/FileSystem.h"

namespace qm {
namespace {

// Directories are entered; hidden entries and links to directories are not.
constexpr uint32_t kWalkMask = faDirectory | faReadOnly | faArchive;

void CollectBelow(const std::string& directory, std::vector<std::string>& sources) {
    const std::string prefix = directory.back() == '/' ? directory : directory + "/";
    std::vector<std::string> subdirectories;
    for (TFileSearch search(prefix, kWalkMask); search.Result() == 0; search.Next()) {
        const TSearchRec& rec = search.Current();
        if (rec.Attr & faDirectory) {
            subdirectories.push_back(prefix + rec.Name);
        } else if (HasTxtExtension(rec.Name)) {
            sources.push_back(prefix + rec.Name);
        }
    }
    for (const std::string& subdirectory : subdirectories) CollectBelow(subdirectory, sources);
}

}  // namespace

std::string FileNameTitle(const std::string& sourcePath) {
    return BaseNameText(sourcePath);
}

TTitleRule BatchTitleRule(const std::string& typedTitle, bool epub3) {
    if (!typedTitle.empty()) return [typedTitle](const std::string&) { return typedTitle; };
    if (!epub3) return FileNameTitle;
    return [](const std::string& path) { return BookNamePartsOf(BaseNameText(path)).title; };
}

void CollectSources(const std::vector<std::string>& operands, bool recursive,
                    std::vector<std::string>& sources, std::vector<TRefusedSource>& refused) {
    for (const std::string& operand : operands) {
        const uint32_t attributes = GetFileAttributes(operand);
        const bool directory =
            attributes != kInvalidFileAttributes && (attributes & faDirectory) != 0;
        if (directory && recursive) {
            CollectBelow(operand, sources);
        } else if (directory && !HasTxtExtension(operand)) {
            refused.push_back({operand, "is a directory; -r converts the .txt files below it"});
        } else if (!HasTxtExtension(operand)) {
            refused.push_back(
                {operand, "is not a .txt file; only files ending in \".txt\" can be converted"});
        } else {
            sources.push_back(operand);
        }
    }
}

std::vector<TBatchBook> PlanBatch(const std::vector<std::string>& sources,
                                  const std::string& outputDir, const TTitleRule& titleOf) {
    std::vector<TBatchBook> books;
    std::set<std::string> taken;
    for (const std::string& source : sources) {
        TBatchBook book{source, titleOf(source), {}};
        std::string path = outputDir + BookFileStem(book.title) + ".epub";
        for (int number = 2; !taken.insert(path).second; ++number) {
            const std::string ending = " (" + std::to_string(number) + ").epub";
            path = outputDir + BookFileStem(book.title, ending) + ending;
        }
        book.bookPath = path;
        books.push_back(std::move(book));
    }
    return books;
}

}  // namespace qm
