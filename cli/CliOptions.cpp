#include "cli/CliOptions.h"

#include "cli/Epub3CliOptions.h"
#include "conversion/run/FileNames.h"

namespace qm {
namespace {

constexpr int kMaxJobs = 1024;

// An option that sets a text, remembered when it concerns one book only.
std::function<bool(const std::string&, std::string&)> SetText(TCliOptions& options,
                                                              std::string& field,
                                                              const char* name) {
    return [&options, &field, name](const std::string& value, std::string&) {
        field = value;
        if (name) options.singleFileOptions.push_back(name);
        return true;
    };
}

std::function<bool(const std::string&, std::string&)> SetFlag(bool& field) {
    return [&field](const std::string&, std::string&) { return field = true; };
}

}  // namespace

std::vector<TOption> CliOptionTable(TCliOptions& o) {
    std::vector<TOption> table = {
        {'t', "title", "TITLE", "the book's title (default: none; in a batch, the\nfile's name)",
         SetText(o, o.title, "-t")},
        {'a', "author", "AUTHOR", "the book's author (default: none)", SetText(o, o.author, "-a")},
        {'n', "parts", "PARTS", "into how many pages the text is cut, 1 to 1024\n(default: 1)",
         [&o](const std::string& value, std::string& error) {
             int parts = 0;
             if (ParseBoundedInt(value, 1, 1024, parts)) {
                 o.parts = parts;
                 o.partsGiven = true;
                 return true;
             }
             error = "PARTS must be a whole number from 1 to 1024, not \"" + value + "\"";
             return false;
         }},
        {'o', "output", "OUTPUT",
         "the .epub to write (default: TITLE.epub, or myepub.epub\nwithout a title, in the "
         "current directory); an\nexisting book is replaced, any other file kept",
         SetText(o, o.output, "-o")},
        {'O', "output-dir", "DIR",
         "convert every FILE into DIR (made if missing), each\nbook named after its title; a "
         "book left there by\nan earlier run is replaced, any other file kept",
         SetText(o, o.outputDir, nullptr)},
        {'r', "recursive", "", "convert the .txt files found below each directory\ngiven",
         SetFlag(o.recursive)},
        {'j', "jobs", "N", "convert N books at a time (default: one per core)",
         [&o](const std::string& value, std::string& error) {
             if (ParseBoundedInt(value, 1, kMaxJobs, o.jobs)) return true;
             error = "N must be a whole number from 1 to " + std::to_string(kMaxJobs) + ", not \"" +
                     value + "\"";
             return false;
         }},
        {0, "threads", "N",
         "convert and pack each book with N threads\n(default: one per core; one when several "
         "books\nconvert at a time)",
         [&o](const std::string& value, std::string& error) {
             if (ParseBoundedInt(value, 1, kMaxJobs, o.threads)) return true;
             error = "N must be a whole number from 1 to " + std::to_string(kMaxJobs) + ", not \"" +
                     value + "\"";
             return false;
         }},
    };
    for (TOption& row : Epub3OptionRows(o.epub3)) table.push_back(std::move(row));
    table.push_back({0, "list-chapters", "",
                     "print the volumes and chapters the EPUB 3 book\nwould have and write no "
                     "book (implies --epub3)",
                     [&o](const std::string&, std::string&) {
                         o.singleFileOptions.push_back("--list-chapters");
                         return o.listChapters = o.epub3.epub3 = true;
                     }});
    table.push_back({0, "help", "", "show this help", SetFlag(o.help)});
    table.push_back({0, "version", "", "show the version", SetFlag(o.version)});
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
    if (options.help || options.version) return true;
    if (options.files.empty()) {
        error = "no FILE given";
        return false;
    }
    if (!options.output.empty() && options.Batch()) {
        error = "-o names one book; with several FILEs, -O or -r, use -O DIR";
        return false;
    }
    if (const std::string needy = OptionNeedingEpub3(options.epub3); !needy.empty()) {
        error = needy + " applies only with --epub3";
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
    return input;
}

std::string ArchiveNameOf(const TCliOptions& options) {
    if (options.output.empty()) return BookFileStem(options.title) + ".epub";
    if (ExtractFileExt(options.output).empty() && !ExtractBaseName(options.output).empty()) {
        return options.output + ".epub";
    }
    return options.output;
}

}  // namespace qm
