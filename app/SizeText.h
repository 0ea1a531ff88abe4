#pragma once
// The size column of the file list: "%.2fKB".
#include <string>

namespace qm {

// The (non-negative) value in fixed notation with two decimals and no digit
// grouping, followed by "KB". Rounding looks at the value's first 18 significant digits
// and takes halves away from zero, so 0.125 gives "0.13", not the "0.12" that
// the binary value would round to. `decimalSeparator` is UTF-8 (the locale's).
std::string FormatSizeText(double kiloBytes, const std::string& decimalSeparator);

}  // namespace qm
