#include "cli/CommandLine.h"

#include <charconv>

namespace qm {
namespace {

std::string NameOf(const TOption& option, bool asLong) {
    return asLong ? "--" + option.longName : std::string("-") + option.shortName;
}

// The row a long name (without "--") stands for: an exact match, or the one
// row it is a prefix of. Null with the message otherwise.
const TOption* FindLong(const std::vector<TOption>& table, const std::string& name,
                        std::string& error) {
    const TOption* found = nullptr;
    int prefixMatches = 0;
    for (const TOption& option : table) {
        if (option.longName.empty()) continue;
        if (option.longName == name) return &option;
        if (option.longName.compare(0, name.size(), name) == 0) {
            found = &option;
            ++prefixMatches;
        }
    }
    if (prefixMatches == 1) return found;
    error = (prefixMatches == 0 ? "unknown option --" : "ambiguous option --") + name;
    return nullptr;
}

const TOption* FindShort(const std::vector<TOption>& table, char name) {
    for (const TOption& option : table) {
        if (option.shortName != 0 && option.shortName == name) return &option;
    }
    return nullptr;
}

bool Apply(const TOption& option, bool asLong, const std::string& value, std::string& error) {
    if (option.apply(value, error)) return true;
    if (error.empty()) error = "bad value \"" + value + "\" for " + NameOf(option, asLong);
    return false;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, const std::vector<TOption>& table,
                      std::vector<std::string>& operands, std::string& error) {
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);  // "-" alone is an operand too
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg[1] == '-') {
            const size_t equals = arg.find('=');
            const TOption* option = FindLong(table, arg.substr(2, equals - 2), error);
            if (!option) return false;
            std::string value;
            if (option->valueName.empty()) {
                if (equals != std::string::npos) {
                    error = "option " + NameOf(*option, true) + " takes no value";
                    return false;
                }
            } else if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                error = "option " + NameOf(*option, true) + " needs a value";
                return false;
            }
            if (!Apply(*option, true, value, error)) return false;
        } else {
            // Flags may share one argument; a value takes the rest of it, or
            // the next argument when nothing is left.
            for (size_t at = 1; at < arg.size(); ++at) {
                const TOption* option = FindShort(table, arg[at]);
                if (!option) {
                    error = std::string("unknown option -") + arg[at];
                    return false;
                }
                if (option->valueName.empty()) {
                    if (!Apply(*option, false, "", error)) return false;
                    continue;
                }
                std::string value;
                if (at + 1 < arg.size()) {
                    value = arg.substr(at + 1);
                } else if (i + 1 < args.size()) {
                    value = args[++i];
                } else {
                    error = "option " + NameOf(*option, false) + " needs a value";
                    return false;
                }
                if (!Apply(*option, false, value, error)) return false;
                break;
            }
        }
    }
    return true;
}

std::string OptionsHelp(const std::vector<TOption>& table) {
    constexpr size_t kHelpColumn = 26;
    std::string text;
    for (const TOption& option : table) {
        std::string names = "  ";
        names += option.shortName ? std::string("-") + option.shortName : "    ";
        if (!option.longName.empty()) {
            names += (option.shortName ? ", --" : "--") + option.longName;
            if (!option.valueName.empty()) names += "=" + option.valueName;
        } else if (!option.valueName.empty()) {
            names += " " + option.valueName;
        }
        names += names.size() + 2 <= kHelpColumn ? std::string(kHelpColumn - names.size(), ' ')
                                                 : "\n" + std::string(kHelpColumn, ' ');
        text += names;
        for (char c : option.help) {
            text += c;
            if (c == '\n') text += std::string(kHelpColumn, ' ');
        }
        text += '\n';
    }
    return text;
}

bool ParseBoundedInt(const std::string& text, int low, int high, int& value) {
    int parsed = 0;
    const char* end = text.data() + text.size();
    const auto [stop, failure] = std::from_chars(text.data(), end, parsed);
    if (failure != std::errc() || stop != end || parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

}  // namespace qm
