#pragma once
// GNU-style command lines from a table of options: short options ("-t X",
// "-tX", bundled flags "-rv"), long ones ("--title X", "--title=X", or any
// unambiguous prefix), operands anywhere, "--" ending the options. A front
// end adds an option by adding one row.
#include <functional>
#include <string>
#include <vector>

namespace qm {

struct TOption {
    char shortName = 0;     // 0: long form only
    std::string longName;   // empty: short form only
    std::string valueName;  // empty: a flag, which takes no value
    std::string help;       // one or more lines; "\n" breaks them
    // Takes the value (empty for a flag); false with the message on a bad one.
    std::function<bool(const std::string& value, std::string& error)> apply;
};

// Applies the options in order and collects the operands. False with the
// message in error on the first mistake.
bool ParseCommandLine(const std::vector<std::string>& args, const std::vector<TOption>& table,
                      std::vector<std::string>& operands, std::string& error);

// The option lines of a help text, aligned, one or more per row of the table.
std::string OptionsHelp(const std::vector<TOption>& table);

// A whole number from low to high written in decimal and nothing else.
bool ParseBoundedInt(const std::string& text, int low, int high, int& value);

}  // namespace qm
