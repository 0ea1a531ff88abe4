#pragma once
// The fixed texts of the classic book that are not XML (its documents are
// written as trees: ClassicDocuments.h). Every file is one unbroken line;
// line breaks reach a page only from the book's text.
#include <string_view>

namespace qm {

// The two home-page addresses of the project written into every book.
inline constexpr std::string_view kPublisherAddress = "https://quillmark.org/";
inline constexpr std::string_view kSourceAddress = "https://quillmark.org/books/";

// mimetype, 20 bytes.
inline constexpr std::string_view kMimetypeText = "application/epub+zip";

// OEBPS/css/main.css, 220 bytes.
inline constexpr std::string_view kMainCss =
    "body {padding:0%;margin-top:0%;margin-bottom:0%;margin-left:1%;margin-right:1%;"
    "line-height:130%;text-align:justify;font-family:\"cnepub\", serif;}"
    "p{text-align:justify;text-indent:2em;line-height:130%;margin-bottom:-0.8em;}";

}  // namespace qm
