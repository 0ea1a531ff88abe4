#pragma once
// printf-style formatting into a std::string, for the fixed formats the
// documents and messages are built from.
#include <string>

namespace qm {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace qm
