#pragma once
// The name a source file is stored under in an archive.
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Without storePaths the stored name is the file name alone. With it, the
// directory part comes first, less the first of relativePrefixes that starts
// it (ASCII letters in either case). "." and ".." components and a leading
// "/" never reach a stored name: an extractor would otherwise write outside
// its target directory. Linux paths have no drive part and no code page round
// trip changes them.
std::string StoredNameOf(const std::string& path, bool storePaths,
                         const std::vector<std::string>* relativePrefixes);

// Whether name is valid UTF-8 with at least one character beyond ASCII: a
// name that needs the archive's UTF-8 flag to be read as it is.
bool IsUtf8BeyondAscii(std::string_view name);

}  // namespace qm
