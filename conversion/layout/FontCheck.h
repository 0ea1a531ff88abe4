#pragma once
// Whether a file is a font a reader can load: its signature and a table
// directory that fits the file, with the tables every font has.
#include <string_view>

namespace qm {

// An sfnt font (TrueType, OpenType), WOFF or WOFF2, told by its signature.
// Raises Exception with the reason (a phrase that follows "the font") when
// the directory does not fit the file or lacks the head or cmap table.
void CheckFontDirectory(std::string_view bytes);

}  // namespace qm
