#pragma once
// What the user chose for the standard EPUB 3 output. The classic layout
// stays the default: these options change nothing unless epub3 is set.
#include <cstdint>
#include <string>

namespace qm {

struct TEpub3Options {
    bool epub3 = false;     // write a standard EPUB 3 book instead of the classic layout
    std::string encoding;   // the source's encoding; empty: detected
    std::string language;   // BCP 47; empty: guessed from the text's script
    std::string convert;    // OpenCC conversion such as "s2t"; empty: none
    bool vertical = false;  // vertical-rl writing, pages turned right to left
    std::string coverPath;  // JPEG or PNG; empty: a generated typographic cover
    std::string fontPath;   // a font to embed (TrueType, OpenType, WOFF); empty: none
    bool chapters = true;   // divide at the book's headings (else into the request's parts)
    std::string chapterPattern, volumePattern;  // ICU regular expressions; empty: built-in rules
};

// The OpenCC conversions offered (their configuration files are NAME.json).
inline constexpr const char* kConversionNames[] = {"s2t",  "t2s",   "s2tw",  "tw2s", "s2hk",
                                                   "hk2s", "s2twp", "tw2sp", "t2tw", "tw2t",
                                                   "t2hk", "hk2t",  "t2jp",  "jp2t"};

// Checks what can be checked before a run: the encoding's name, the language
// tag, the conversion's name, the cover image and the font. Returns the
// first problem as a message for the user (UTF-8), or an empty string.
std::string CheckEpub3Options(const TEpub3Options& options);

}  // namespace qm
