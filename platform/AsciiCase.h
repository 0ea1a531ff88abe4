#pragma once
// Letter case of ASCII letters only: names are code page 936 byte strings,
// whose two-byte characters must never be touched by case folding.
#include <string>
#include <string_view>

namespace qm {

std::string AsciiLower(std::string_view text);
// Compares with ASCII letters upper-cased, byte by byte; <0, 0 or >0.
int CompareTextAscii(std::string_view a, std::string_view b);
inline bool SameTextAscii(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareTextAscii(a, b) == 0;
}

}  // namespace qm
