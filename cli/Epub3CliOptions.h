#pragma once
// The command line's options for the standard EPUB 3 book.
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "conversion/run/Epub3Options.h"

namespace qm {

// The rows of the option table that fill `options`.
std::vector<TOption> Epub3OptionRows(TEpub3Options& options);

// The first option given that needs --epub3 when --epub3 is missing, else
// an empty string.
std::string OptionNeedingEpub3(const TEpub3Options& options);

}  // namespace qm
