#include "conversion/run/BatchPlan.h"

#include <cerrno>
#include <cstring>
#include <set>

#include "conversion/book/BookNameParts.h"
#include "conversion/run/FileNames.h"
#include "conversion/run/PrepareConversion.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"

namespace qm {
namespace {

// Directories are entered; hidden entries and links to directories are not.
// Links to nothing, pipes and devices are listed too, so that one named as a
// book is not passed over in silence.
constexpr uint32_t kWalkMask = faDirectory | faReadOnly | faArchive | faSysFile;

// Why a ".txt" entry that is no regular file (links followed) cannot be a
// book; empty for a link to a directory, which the walk leaves out by design.
std::string NotABookReason(const std::string& path) {
    int error = 0;
    switch (FileKindOf(path, &error)) {
        case TFileKind::Directory:
        case TFileKind::Regular:
            return {};
        case TFileKind::NamedPipe:
            return "is a named pipe, not a file; it was not converted";
        case TFileKind::Other:
            return "is a device or a socket, not a file; it was not converted";
        case TFileKind::Missing:
            break;
    }
    if (error == ENOENT) return "is a link to nothing; there is no book to convert";
    return Format("is a link that cannot be followed (%s); it was not converted",
                  std::strerror(error));
}

void CollectBelow(const std::string& directory, bool anyCaseTxt, std::vector<std::string>& sources,
                  std::vector<TRefusedSource>& refused) {
    const std::string prefix = directory.back() == '/' ? directory : directory + "/";
    std::vector<std::string> subdirectories;
    TFileSearch search(prefix, kWalkMask);
    // ENOENT: an empty folder (or one gone meanwhile); anything else kept
    // its books from the batch.
    if (search.Result() != 0 && search.Result() != ENOENT) {
        refused.push_back(
            {directory, Format("is a folder that cannot be read (%s); its books were not converted",
                               std::strerror(search.Result()))});
    }
    for (; search.Result() == 0; search.Next()) {
        const TSearchRec& rec = search.Current();
        if (rec.Attr & faDirectory) {
            subdirectories.push_back(prefix + rec.Name);
        } else if (!HasTxtExtension(rec.Name, anyCaseTxt)) {
            continue;
        } else if (!(rec.Attr & faSysFile)) {
            sources.push_back(prefix + rec.Name);
        } else if (std::string reason = NotABookReason(prefix + rec.Name); !reason.empty()) {
            refused.push_back({prefix + rec.Name, std::move(reason)});
        }
    }
    for (const std::string& subdirectory : subdirectories)
        CollectBelow(subdirectory, anyCaseTxt, sources, refused);
}

}  // namespace

std::string FileNameTitle(const std::string& sourcePath) {
    return BaseNameText(sourcePath);
}

TTitleRule BatchTitleRule(const std::string& typedTitle, bool epub3) {
    // A title that shows nothing (blanks, a zero-width space) is none: the
    // book is then titled after its file, and so must its name be.
    if (!IsBlankText(typedTitle)) return [typedTitle](const std::string&) { return typedTitle; };
    if (!epub3) return FileNameTitle;
    return [](const std::string& path) { return BookNamePartsOf(BaseNameText(path)).title; };
}

void CollectSources(const std::vector<std::string>& operands, bool recursive, bool anyCaseTxt,
                    std::vector<std::string>& sources, std::vector<TRefusedSource>& refused) {
    for (const std::string& operand : operands) {
        const uint32_t attributes = GetFileAttributes(operand);
        const bool directory =
            attributes != kInvalidFileAttributes && (attributes & faDirectory) != 0;
        if (directory && recursive) {
            CollectBelow(operand, anyCaseTxt, sources, refused);
        } else if (directory && !HasTxtExtension(operand, anyCaseTxt)) {
            refused.push_back({operand, "is a directory; -r converts the .txt files below it"});
        } else if (!HasTxtExtension(operand, anyCaseTxt)) {
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
