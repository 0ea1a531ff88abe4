#pragma once
// The command line of quillmark-cli:
//   quillmark-cli [-t TITLE] [-a AUTHOR] [-n PARTS] [-o OUTPUT] FILE
#include <cstdint>
#include <string>
#include <vector>

#include "cli/Epub3CliOptions.h"

namespace qm {

inline constexpr const char* kCliVersionText = "quillmark-cli 1.0";
inline constexpr const char* kCliUsageText =
    "Usage: quillmark-cli [-t TITLE] [-a AUTHOR] [-n PARTS] [-o OUTPUT] [--epub3 ...] FILE\n"
    "Converts the text book FILE (.txt; GBK, UTF-8 or UTF-16) into an EPUB book.\n"
    "  -t TITLE    the book's title (default: none)\n"
    "  -a AUTHOR   the book's author (default: none)\n"
    "  -n PARTS    into how many pages the text is cut, 1 to 1024 (default: 1)\n"
    "  -o OUTPUT   the .epub to write (default: TITLE.epub, or myepub.epub without\n"
    "              a title, in the current directory); an existing book is updated\n"
    "  --help      show this help\n"
    "  --version   show the version\n";

struct TCliOptions {
    std::string title, author;  // UTF-8, as typed
    int32_t parts = 1;
    std::string output;  // empty: the default name
    std::string file;
    bool help = false, version = false;
    TEpub3Options epub3;  // its title and author are filled from the fields above
};

// The whole help: the usage text and the EPUB 3 options.
std::string CliHelpText();

// Parses the arguments after the program's name. On a mistake returns false
// with the message (without the usage text) in error.
bool ParseCliOptions(const std::vector<std::string>& args, TCliOptions& options,
                     std::string& error);

// True when the path ends in ".txt" exactly, as the window's import asks.
bool HasTxtExtension(const std::string& path);

// The label of the book's parts: the file's name without its directory and
// its last extension, in code page 936.
std::string LabelNameOf(const std::string& path);

// The archive's path: OUTPUT with ".epub" added when its name has no
// extension; without OUTPUT, the title (or "myepub") with ".epub".
std::string ArchiveNameOf(const TCliOptions& options);

}  // namespace qm
