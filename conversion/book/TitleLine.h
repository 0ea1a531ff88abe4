#pragma once
// What of a given title or name the book carries: a title is one line, and
// a short one. A whole text pasted into the title field, or a first line
// that runs on for pages, would otherwise fill the package's metadata and
// the title page and cost the cover's layout minutes.
#include <string>
#include <string_view>

namespace qm {

// At most this many characters of a title or name are kept.
inline constexpr size_t kTitleCharacters = 200;

// The first line of text that is not blank (lines end at LF, CR, VT, FF,
// NEL, U+2028 and U+2029), cut to kTitleCharacters characters with "…" as
// the last of them where it was longer. Text that is all blank comes back
// as it is.
std::string TitleLine(std::string_view text);

}  // namespace qm
