#pragma once
// A batch's plan: which files become books, and each book's title and path.
// Shared by the front ends: the command line's -O/-r and the window's batch
// both list their sources and name their books here.
#include <functional>
#include <string>
#include <vector>

namespace qm {

// A book's title (UTF-8) from its source file's path.
using TTitleRule = std::function<std::string(const std::string& sourcePath)>;

// The title of the classic layout's books: the file's name without its directory
// and its last extension, as text (a GBK name decoded).
std::string FileNameTitle(const std::string& sourcePath);

// Where each book of a batch takes its title from: the typed title when
// there is one that shows something (IsBlankText); else, for the classic layout, FileNameTitle; for
// EPUB 3, the title part of a "《书名》作者：某某" file name (BookNamePartsOf).
TTitleRule BatchTitleRule(const std::string& typedTitle, bool epub3);

// A file given or found that cannot become a book, and why.
struct TRefusedSource {
    std::string path;
    std::string reason;
};

// The files to convert, in the order given; a directory stands for the .txt
// files below it (with recursive; sorted by name, hidden entries and links
// to directories left out). A directory without recursive and a file whose
// name does not end in ".txt" (in any letter case with anyCaseTxt) are
// refused, and so, below a directory, are a folder that cannot be listed and
// a ".txt" entry that is a link to nothing, a pipe or a device, each with
// the reason. Missing paths are kept: their conversion says what is wrong.
void CollectSources(const std::vector<std::string>& operands, bool recursive, bool anyCaseTxt,
                    std::vector<std::string>& sources, std::vector<TRefusedSource>& refused);

struct TBatchBook {
    std::string sourcePath;
    std::string title;     // UTF-8
    std::string bookPath;  // outputDir + the book's file name
};

// Titles the books and names them after their titles in outputDir (which
// ends with "/" or is empty for the current directory). Books of one batch
// never share a name: the second "A.epub" becomes "A (2).epub", and so on.
std::vector<TBatchBook> PlanBatch(const std::vector<std::string>& sources,
                                  const std::string& outputDir, const TTitleRule& titleOf);

}  // namespace qm
