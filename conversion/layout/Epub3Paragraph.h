#pragma once
// One paragraph of an EPUB 3 text page.
#include <string>
#include <string_view>

#include "conversion/layout/XmlWriter.h"

namespace qm {

// The paragraph's class: "sep" for a scene separator (`* * *`, `＊　＊　＊`
// ...), set centred without an indent; "gap" after blank lines; else none.
const char* Epub3ParagraphClass(std::string_view text, bool afterBlank);

// Appends <p class="cls">text</p> and a line end (no class when cls is
// null). In vertical books a run of one or two ASCII digits ("第1章",
// "7月15日") is set upright in <span class="tcu">; longer runs, and digits
// joined to Latin letters or a decimal point, lie as the reader sets them.
void WriteEpub3Paragraph(std::string& out, const char* cls, std::string_view text, bool vertical);

// Appends <tag>text</tag> and a line end, the digits set as in a paragraph.
void WriteEpub3Heading(std::string& out, const char* tag, std::string_view text, bool vertical);

// Appends text as escaped character data to the open element, in vertical
// books with the short digit runs in <span class="tcu">.
void AppendUprightDigits(TXmlWriter& w, std::string_view text, bool vertical);

}  // namespace qm
