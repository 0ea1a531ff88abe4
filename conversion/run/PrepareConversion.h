#pragma once
// From what a front end has (the file, the fields typed in, the output) to
// the request a conversion runs on: every check of the source in one place,
// the source looked at once, for the window, the command line and batches.
#include <cstdint>
#include <optional>
#include <string>

#include "conversion/book/BookNameParts.h"
#include "conversion/run/ConversionRun.h"
#include "conversion/run/RunResult.h"

namespace qm {

// What the user gave. Texts are UTF-8 (GBK bytes from a command line are
// read as such, see NameText); paths native.
struct TConversionInput {
    std::string sourcePath;
    std::string title, author;
    int32_t parts = 1;
    int32_t threads = 0;  // threads writing pages and packing; 0: one per core
    std::string archiveName;
    TEpub3Options options;  // title and author are filled in from the fields above
    // The size the window recorded when it listed the file; without one, the
    // size the file has now is recorded.
    std::optional<int32_t> listedSize;
    // ".TXT" or ".Txt" is a text file too (the command line's rule; the
    // window takes ".txt" only).
    bool anyCaseTxt = false;
};

// What looking at a source found.
enum class TSourceState { Readable, NotTxt, NamedPipe, Unreadable };
struct TSourceProbe {
    TSourceState state = TSourceState::Unreadable;
    int64_t size = 0;   // when Readable
    std::string error;  // when Unreadable: the system's reason, naming the file
};

// Checks the extension (HasTxtExtension), refuses a named pipe without
// opening it, and opens the file once to read its size. Never raises.
TSourceProbe ProbeSource(const std::string& path, bool anyCaseTxt = false);

// The size as the file list records it: the low 32 bits of the length,
// signed, so a book of 2 GiB or more may pass for a small one.
inline int32_t RecordedFileSize(int64_t size) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(size)));
}

// True when the path ends in ".txt" (letter case as typed), or with
// anyCase in any mix of cases (".TXT", ".Txt").
bool HasTxtExtension(const std::string& path, bool anyCase = false);
// The list's name column for a path: the file name without its extension,
// in code page 936 (a GBK name decoded first, see NameText).
std::string LabelNameOf(const std::string& path);

// The title and author a book gives itself, as a conversion finds them
// when none is typed: its front matter's (ReadFrontMatter), else its file
// name's (BookNamePartsOf). The front matter is read from the head of the
// file in its detected encoding; a file that cannot be read gives its file
// name's. UTF-8.
TBookNameParts OwnBookNames(const std::string& path);

// The request for input: the checks above, the recorded and real sizes, the
// label, and title and author as text (NameText). A source that is not
// Readable gives the reason, of kind NotTxt, NamedPipe or Unreadable.
TRunResult<TConversionRequest> PrepareConversion(const TConversionInput& input);

}  // namespace qm
