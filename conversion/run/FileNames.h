#pragma once
// Splitting a file's path into its name and extension, as the window's file
// list shows them and the command line derives its names.
// Paths are native byte strings; only "/" separates. In UTF-8 no byte of a
// multi-byte character is "/" or ".", so a byte-wise search is exact.
#include <string>
#include <string_view>

namespace qm {

// The text from the last "." after the last "/" to the end, the dot included;
// empty when the last component has no dot.
std::string ExtractFileExt(std::string_view path);

// The last component of the path, cut before its last "."; whole when it has
// no dot.
std::string ExtractBaseName(std::string_view path);

// The longest file name the file system takes, in bytes.
inline constexpr size_t kFileNameLimit = 255;
// The name proposed when a book has no title.
inline constexpr const char* kDefaultBookName = "myepub";

// The name a book with this title (UTF-8; other bytes are read as NameText
// reads them) is saved under in the folder the
// user chose, without its ending: "/" becomes "_", control characters "_",
// leading dots go (a book is never hidden, nor "." or ".."), and the name is
// cut on a character boundary so that it fits kFileNameLimit together with
// ending (".epub", or " (2).epub" for a second book of one name). A stem
// that shows nothing (empty, blanks, zero-width characters: IsBlankText)
// becomes kDefaultBookName.
std::string BookFileStem(std::string_view title, std::string_view ending = ".epub");

// A file name, or text typed on a command line, as UTF-8: unchanged when it
// is valid UTF-8, else read as GB18030 (the names of files unpacked from
// Windows archives), bytes that form no character there becoming U+FFFD.
std::string NameText(std::string_view bytes);

// A book's title or author as a run takes it: the one asked for, else the
// text's own (front matter), else the file name's. One that the file name
// would give counts as not asked (a batch names its books so), one that
// shows nothing as none. Its first line, at most 200 characters (TitleLine).
std::string ChosenName(const std::string& asked, const std::string& fromName,
                       const std::string& fromText);

// NameText of the path's base name.
std::string BaseNameText(std::string_view path);

}  // namespace qm
