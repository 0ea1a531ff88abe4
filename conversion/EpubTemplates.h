#pragma once
// The fixed texts and formats an EPUB book is assembled from. Every file is
// one unbroken line; line breaks reach a page only from the book's text.
#include <string>
#include <string_view>

namespace qm {

// The two home-page addresses of the project written into every book.
inline constexpr std::string_view kPublisherAddress = "https://quillmark.org/";
inline constexpr std::string_view kSourceAddress = "https://quillmark.org/books/";

// mimetype, 20 bytes.
inline constexpr std::string_view kMimetypeText = "application/epub+zip";

// META-INF/container.xml, 238 bytes.
inline constexpr std::string_view kContainerXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">"
    "<rootfiles><rootfile full-path=\"OEBPS/content.opf\" "
    "media-type=\"application/oebps-package+xml\"/></rootfiles>"
    "</container>";

// OEBPS/css/main.css, 220 bytes.
inline constexpr std::string_view kMainCss =
    "body {padding:0%;margin-top:0%;margin-bottom:0%;margin-left:1%;margin-right:1%;"
    "line-height:130%;text-align:justify;font-family:\"cnepub\", serif;}"
    "p{text-align:justify;text-indent:2em;line-height:130%;margin-bottom:-0.8em;}";

// An XHTML page: 222 characters around its body.
inline constexpr std::string_view kPageHead =
    "<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"zh-CN\"><head>"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />"
    "<link rel=\"stylesheet\" type=\"text/css\" href=\"css/main.css\"/></head><body>";
inline constexpr std::string_view kPageTail = "</body></html>";

// content.opf: the package head and the fixed pieces of the metadata and
// manifest that surround the author, addresses and title.
inline constexpr std::string_view kOpfPackageHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>"
    "<package version=\"2.0\" unique-identifier=\"PrimaryID\" "
    "xmlns=\"http://www.idpf.org/2007/opf\">"
    "<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
    "xmlns:opf=\"http://www.idpf.org/2007/opf\">";
inline constexpr std::string_view kOpfIdentifierCreator =
    "<dc:identifier opf:scheme=\"ISBN\"></dc:identifier><dc:creator>";
inline constexpr std::string_view kOpfCreatorPublisher = "</dc:creator><dc:publisher>";
inline constexpr std::string_view kOpfPublisherSource = "</dc:publisher><dc:source>";
inline constexpr std::string_view kOpfSourceTitle = "</dc:source><dc:title>";
inline constexpr std::string_view kOpfTitleManifest =
    "</dc:title></metadata><manifest>"
    "<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>";
inline constexpr std::string_view kOpfCssItem =
    "<item id=\"main-css\" href=\"css/main.css\" media-type=\"text/css\"/>";
inline constexpr std::string_view kOpfManifestEnd = "</manifest>";
inline constexpr std::string_view kOpfSpineStart = "<spine toc=\"ncx\">";
inline constexpr std::string_view kOpfSpineEnd = "</spine></package>";

// toc.ncx: the fixed head (380 characters), the map's start and the closing
// pieces.
inline constexpr std::string_view kTocNcxHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<!DOCTYPE ncx PUBLIC \"-//NISO//DTD ncx 2005-1//EN\" "
    "\"http://www.daisy.org/z3986/2005/ncx-2005-1.dtd\">"
    "<ncx version=\"2005-1\" xmlns=\"http://www.daisy.org/z3986/2005/ncx/\">"
    "<head><meta name=\"dtb:uid\" content=\"ISBN\"/><meta name=\"dtb:depth\" content=\"0\"/>"
    "<meta name=\"dtb:totalPageCount\" content=\"0\"/>"
    "<meta name=\"dtb:maxPageNumber\" content=\"0\"/></head>";
inline constexpr std::string_view kNavMapStart = "<navMap>";
inline constexpr std::string_view kNavMapEnd = "</navMap></ncx>";

// The per-part formats.
inline constexpr const char* kManifestItemFormat =
    "<item id=\"txt%d\" href=\"%d.html\" media-type=\"application/xhtml+xml\"/>";
inline constexpr const char* kSpineRefFormat = "<itemref idref=\"txt%d\"/>";
inline constexpr const char* kNavPointFormat =
    "<navPoint id=\"txt%d\" playOrder=\"%d\"><navLabel><text>%s(%d)</text></navLabel>"
    "<content src=\"%d.html\"/></navPoint>";

// One manifest item, spine reference and navigation point for part k.
std::string FormatManifestItem(int k);
std::string FormatSpineRef(int k);
// The label is inserted as given; callers pass it escaped for XML.
std::string FormatNavPoint(int k, std::string_view label);

}  // namespace qm
