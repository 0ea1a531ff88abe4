#pragma once
// What can be checked of the standard EPUB 3 output's options before a run.
// The options themselves (TEpub3Options) are declared with the option table.
#include <string>

#include "conversion/run/OptionTable.h"

namespace qm {

// The OpenCC conversions offered (their configuration files are NAME.json).
inline constexpr const char* kConversionNames[] = {"s2t",  "t2s",   "s2tw",  "tw2s", "s2hk",
                                                   "hk2s", "s2twp", "tw2sp", "t2tw", "tw2t",
                                                   "t2hk", "hk2t",  "t2jp",  "jp2t"};

// Checks what can be checked before a run: the encoding's name, the language
// tag, the conversion's name, the cover image and the font. Returns the
// first problem as a message for the user (UTF-8), or an empty string.
std::string CheckEpub3Options(const TEpub3Options& options);

}  // namespace qm
