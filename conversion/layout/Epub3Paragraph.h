#pragma once
// One paragraph of an EPUB 3 text page.
#include <string>
#include <string_view>

namespace qm {

// The paragraph's class: "sep" for a scene separator (`* * *`, `＊　＊　＊`
// ...), set centred without an indent; "gap" after blank lines; else none.
const char* Epub3ParagraphClass(std::string_view text, bool afterBlank);

// Appends <p class="cls">text</p> and a line end (no class when cls is
// null). In vertical books a run of one or two ASCII digits ("第1章",
// "7月15日") is set upright in <span class="tcu">; longer runs, and digits
// joined to Latin letters or a decimal point, lie as the reader sets them.
void WriteEpub3Paragraph(std::string& out, const char* cls, std::string_view text, bool vertical);

}  // namespace qm
