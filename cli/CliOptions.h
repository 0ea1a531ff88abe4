#pragma once
// The command line of quillmark-cli:
//   quillmark-cli [OPTION]... FILE...
// One FILE without -O or -r converts as the window does (-t, -a and -o
// apply); anything else is a batch into a directory.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "conversion/run/OptionTable.h"
#include "conversion/run/PrepareConversion.h"

namespace qm {

inline constexpr const char* kCliVersionText = "quillmark-cli 1.0";

// The values of the option table (TOptionValues) and what else the command
// line gives.
struct TCliOptions : TOptionValues {
    TCliOptions() { epub3.epub3 = true; }  // the command line's default kind

    bool partsGiven = false;  // -n was given (chapters set it aside)
    std::vector<std::string> files;
    // The options given that apply to single files only, as typed ("-t").
    std::vector<std::string> singleFileOptions;

    // True when the run converts several books (or into a directory).
    bool Batch() const { return files.size() > 1 || recursive || !outputDir.empty(); }
};

// The option table's rows as the parser takes them, applying them to
// `options`.
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

// The book's path for the source: OUTPUT with ".epub" added when its name
// has no extension and it names no device, pipe or socket (which the run
// then refuses); without OUTPUT, the name a batch gives the book
// (BatchTitleRule, BookFileStem, ".epub") in the current directory, or in
// OUTPUT when that ends in "/" or is an existing directory.
std::string ArchiveNameOf(const TCliOptions& options, const std::string& sourcePath);

}  // namespace qm
