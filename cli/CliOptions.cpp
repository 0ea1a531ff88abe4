#include "cli/CliOptions.h"

#include <filesystem>

#include "conversion/run/BatchPlan.h"
#include "conversion/run/FileNames.h"
#include "platform/FileSystem.h"

namespace qm {
namespace {

// How the row's option is written where one book only is meant ("-t").
std::string GivenName(const TOptionRow& row) {
    return row.shortName ? std::string("-") + row.shortName : std::string("--") + row.longName;
}

// Puts the value into the row's field; false with the message on a bad one.
bool SetValue(const TOptionRow& row, const std::string& value, TOptionValues& values,
              std::string& error) {
    switch (row.value) {
        case TOptionValue::Flag:
            row.flag(values) = row.flagValue;
            return true;
        case TOptionValue::Name:
            if (value.empty()) {
                error = std::string("option --") + row.longName + " needs a value";
                return false;
            }
            [[fallthrough]];
        case TOptionValue::Text:
            row.text(values) = value;
            return true;
        case TOptionValue::Number:
            if (ParseBoundedInt(value, row.low, row.high, row.number(values))) return true;
            error = std::string(row.valueName) + " must be a whole number from " +
                    std::to_string(row.low) + " to " + std::to_string(row.high) + ", not \"" +
                    value + "\"";
            return false;
    }
    return false;
}

}  // namespace

std::vector<TOption> CliOptionTable(TCliOptions& o) {
    std::vector<TOption> table;
    for (const TOptionRow& row : OptionTable()) {
        table.push_back({row.shortName, row.longName, row.valueName, row.help,
                         [&o, &row](const std::string& value, std::string& error) {
                             if (!SetValue(row, value, o, error)) return false;
                             if (row.oneBook) o.singleFileOptions.push_back(GivenName(row));
                             if (row.number && &row.number(o) == &o.parts) o.partsGiven = true;
                             return true;
                         }});
    }
    return table;
}

std::string CliUsageText() {
    TCliOptions unused;
    return "Usage: quillmark-cli [OPTION]... FILE...\n"
           "Converts text books (.txt; GBK, UTF-8 or UTF-16) into EPUB books.\n"
           "With one FILE the book goes to OUTPUT; with several, or with -O or -r,\n"
           "each book goes into a directory, named after its title.\n" +
           OptionsHelp(CliOptionTable(unused)) +
           "Exit status: 0 when every book was made, 1 when one failed, 2 for a\n"
           "mistake on the command line.\n";
}

bool ParseCliOptions(const std::vector<std::string>& args, TCliOptions& options,
                     std::string& error) {
    if (!ParseCommandLine(args, CliOptionTable(options), options.files, error)) return false;
    if (options.listChapters) options.epub3.epub3 = true;
    if (options.help || options.version) return true;
    if (options.files.empty()) {
        error = "no FILE given";
        return false;
    }
    // pandoc's way of asking for standard output: said plainly rather than
    // taken for a book named "-.epub".
    if (options.output == "-") {
        error = "books are not written to standard output (-o -); give a file name after -o";
        return false;
    }
    if (!options.output.empty() && options.Batch()) {
        error = "-o names one book; with several FILEs, -O or -r, use -O DIR";
        return false;
    }
    if (const std::string needy = OptionNeedingEpub3(options); !needy.empty()) {
        error = needy + " applies to EPUB 3 books only, not with --classic";
        return false;
    }
    if (const std::string problem = CheckEpub3Options(options.epub3); !problem.empty()) {
        error = problem;
        return false;
    }
    if (options.files.size() > 1 && !options.singleFileOptions.empty()) {
        error = options.singleFileOptions.front() + " applies to a single FILE only";
        return false;
    }
    return true;
}

TConversionInput InputOf(const TCliOptions& options) {
    TConversionInput input;
    input.title = options.title;
    input.author = options.author;
    input.parts = options.parts;
    input.threads = options.threads;
    input.options = options.epub3;
    input.anyCaseTxt = true;
    return input;
}

std::string ArchiveNameOf(const TCliOptions& options, const std::string& sourcePath) {
    const std::string& output = options.output;
    std::error_code unused;
    const bool intoDirectory =
        !output.empty() && (output.back() == '/' || std::filesystem::is_directory(output, unused));
    if (output.empty() || intoDirectory) {
        const std::string title = BatchTitleRule(options.title, options.epub3.epub3)(sourcePath);
        const std::string name = BookFileStem(title) + ".epub";
        if (!intoDirectory) return name;
        return output + (output.back() == '/' ? "" : "/") + name;
    }
    // A device or pipe named as it is ("-o /dev/null") is kept, to be
    // refused: with ".epub" added it would become a new file beside it.
    const TFileKind there = FileKindOf(output);
    const bool special = there == TFileKind::NamedPipe || there == TFileKind::Other;
    if (!special && ExtractFileExt(output).empty() && !ExtractBaseName(output).empty())
        return output + ".epub";
    return output;
}

}  // namespace qm
