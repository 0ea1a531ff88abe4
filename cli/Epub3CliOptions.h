#pragma once
// The command line's options for the standard EPUB 3 book.
#include <cstddef>
#include <string>
#include <vector>

#include "conversion/Epub3Options.h"

namespace qm {

inline constexpr const char* kEpub3UsageText =
    "  --epub3         write a standard EPUB 3 book: the text kept in Unicode,\n"
    "                  a valid package, typography for Chinese reading\n"
    "  EPUB 3 options (each needs --epub3):\n"
    "  --encoding NAME the source's encoding, such as GB18030, Big5, UTF-8,\n"
    "                  UTF-16LE (default: detected)\n"
    "  --language TAG  the book's BCP 47 language, such as zh-Hans, zh-Hant, ja, en\n"
    "                  (default: from the text's script)\n"
    "  --convert NAME  simplified/traditional conversion with OpenCC: s2t, t2s,\n"
    "                  s2tw, tw2s, s2hk, hk2s, s2twp, tw2sp, t2tw, tw2t, t2hk,\n"
    "                  hk2t, t2jp, jp2t (text, title and author)\n"
    "  --vertical      vertical writing, pages turned from right to left\n"
    "  --cover IMAGE   a JPEG or PNG cover (default: a generated one)\n"
    "  --font FILE     embed a TrueType, OpenType or WOFF font for the text\n";

// Takes the EPUB 3 option at args[i] ("--cover IMAGE" or "--cover=IMAGE"),
// advancing i past its value. Returns false when args[i] is no such option;
// a missing value sets error.
bool ParseEpub3Option(const std::vector<std::string>& args, size_t& i, TEpub3Options& options,
                      std::string& error);

// The first option given that needs --epub3 when --epub3 is missing, else
// an empty string.
std::string OptionNeedingEpub3(const TEpub3Options& options);

}  // namespace qm
