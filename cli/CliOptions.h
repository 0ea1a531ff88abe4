#pragma once
// The command line of quillmark-cli:
//   quillmark-cli [OPTION]... FILE...
// One FILE without -O or -r converts as the window does (-t, -a and -o
// apply); anything else is a batch into a directory.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "conversion/run/Epub3Options.h"
#include "conversion/run/PrepareConversion.h"

namespace qm {

inline constexpr const char* kCliVersionText = "quillmark-cli 1.0";

struct TCliOptions {
    std::string title, author;  // UTF-8, as typed
    int32_t parts = 1;
    bool partsGiven = false;    // -n was given (chapters set it aside)
    bool listChapters = false;  // print the table of contents, write no book
    std::string output;         // empty: the default name
    std::string outputDir;      // -O: where a batch's books go
    int jobs = 0;               // books converted at a time; 0: one per core
    int threads = 0;            // threads packing one book; 0: the default
    bool recursive = false;
    std::vector<std::string> files;
    // The options given that apply to single files only, as typed ("-t").
    std::vector<std::string> singleFileOptions;
    bool help = false, version = false;
    TEpub3Options epub3;  // the kind of book and its options

    // True when the run converts several books (or into a directory).
    bool Batch() const { return files.size() > 1 || recursive || !outputDir.empty(); }
};

// The options' table, applying them to `options`.
std::vector<TOption> CliOptionTable(TCliOptions& options);

// The whole help text.
std::string CliUsageText();

// Parses the arguments after the program's name. On a mistake returns false
// with the message (without the usage text) in error.
bool ParseCliOptions(const std::vector<std::string>& args, TCliOptions& options,
                     std::string& error);

// What the options give a conversion (title, author, parts, the EPUB 3
// options); a batch shares it, each book adding its source and archive.
TConversionInput InputOf(const TCliOptions& options);

// The archive's path: OUTPUT with ".epub" added when its name has no
// extension; without OUTPUT, the name the window proposes for the title
// (BookFileStem) with ".epub", in the current directory.
std::string ArchiveNameOf(const TCliOptions& options);

}  // namespace qm
