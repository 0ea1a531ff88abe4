#include "cli/CliOptions.h"

#include <charconv>

#include "conversion/FileNames.h"
#include "platform/CodePage.h"

namespace qm {
namespace {

bool ParseParts(const std::string& text, int32_t& parts) {
    int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || value < 1 || value > 1024) return false;
    parts = value;
    return true;
}

}  // namespace

bool ParseCliOptions(const std::vector<std::string>& args, TCliOptions& options,
                     std::string& error) {
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--help") {
            options.help = true;
        } else if (!optionsEnded && arg == "--version") {
            options.version = true;
        } else if (!optionsEnded && ParseEpub3Option(args, i, options.epub3, error)) {
            if (!error.empty()) return false;
        } else if (!optionsEnded && arg.size() >= 2 && arg[0] == '-' &&
                   std::string("tano").find(arg[1]) != std::string::npos) {
            // The value follows directly ("-n4") or as the next argument.
            std::string value;
            if (arg.size() > 2) {
                value = arg.substr(2);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                error = "option " + arg + " needs a value";
                return false;
            }
            switch (arg[1]) {
                case 't':
                    options.title = value;
                    break;
                case 'a':
                    options.author = value;
                    break;
                case 'o':
                    options.output = value;
                    break;
                case 'n':
                    if (!ParseParts(value, options.parts)) {
                        error =
                            "PARTS must be a whole number from 1 to 1024, not \"" + value + "\"";
                        return false;
                    }
                    break;
            }
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else if (options.file.empty()) {
            options.file = arg;
        } else {
            error = "only one FILE can be converted at a time";
            return false;
        }
    }
    if (options.file.empty() && !options.help && !options.version) {
        error = "no FILE given";
        return false;
    }
    return true;
}

std::string CliHelpText() {
    std::string help = kCliUsageText;
    const size_t end = help.find("  --help");
    help.insert(end, kEpub3UsageText);
    return help;
}

bool HasTxtExtension(const std::string& path) {
    return ExtractFileExt(path) == ".txt";
}

std::string LabelNameOf(const std::string& path) {
    return Utf8ToAnsi(ExtractBaseName(path));
}

std::string ArchiveNameOf(const TCliOptions& options) {
    if (options.output.empty()) {
        // A "/" in the title would name a directory, which no save dialog offers.
        std::string name = options.title.empty() ? "myepub" : options.title;
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        return name + ".epub";
    }
    if (ExtractFileExt(options.output).empty() && !ExtractBaseName(options.output).empty()) {
        return options.output + ".epub";
    }
    return options.output;
}

}  // namespace qm
