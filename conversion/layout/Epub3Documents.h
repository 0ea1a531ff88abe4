#pragma once
// The documents of a standard EPUB 3 book, built from the book model: the
// package document, the navigation document and its EPUB 2 twin (NCX), the
// style sheet, the cover and title pages, and the frame of a text page.
// Each is written as a tree in the EPUB 3 layout, which escapes every text.
#include <string>
#include <string_view>
#include <vector>

#include "conversion/book/BookModel.h"
#include "conversion/layout/BookLayout.h"

namespace qm {

// One entry of the table of contents: level 0 at the top, 1 under the
// level-0 entry before it.
struct TTocEntry {
    std::string label;  // UTF-8
    std::string href;   // relative to the package document
    int level = 0;
};

// A file of the book beyond the text pages, as the manifest lists it.
struct TManifestItem {
    std::string id, href, mediaType, properties;
};

struct TPackageInfo {
    std::string identifier;  // "urn:uuid:..."
    std::string modified;    // "2024-05-01T12:00:00Z"
    bool vertical = false;
    std::string coverImageId;          // empty without a cover image
    std::vector<TManifestItem> items;  // in manifest order
    std::vector<std::string> spine;    // ids, in reading order
};

// Chinese written in traditional characters: the script subtag, or the
// regions that use them.
bool IsTraditionalChinese(const std::string& language);

// Words of the book's furniture in its language (Chinese, Japanese or English).
struct TBookWords {
    const char *cover, *titlePage, *contents, *start;
};
const TBookWords& BookWordsFor(const std::string& language);

std::string PackageDocument(const TBook& book, const TPackageInfo& info);
std::string NavigationDocument(const TBook& book, const std::vector<TTocEntry>& toc,
                               const std::string& coverHref, const std::string& titleHref,
                               const std::string& startHref);
std::string NcxDocument(const TBook& book, const std::string& identifier,
                        const std::vector<TTocEntry>& toc);

// fontFile: the embedded font's file name relative to the style sheet, or empty.
std::string BookStyleSheet(const std::string& language, bool vertical, const std::string& fontFile);

// A page's frame: its head up to and including "<body>", its tail from
// "</body>". cssHref is relative to the page.
TPageFrame Epub3PageFrame(const std::string& language, std::string_view title,
                          const std::string& cssHref, const char* bodyClass = nullptr,
                          const char* htmlClass = nullptr);

// The cover page: the cover image (imageHref relative to the page, width
// and height its size in pixels) fitted to the screen. In a vertical book
// the page itself is laid out across (html.cover in the style sheet).
std::string CoverPage(const TBook& book, const std::string& cssHref, const std::string& imageHref,
                      int width, int height, bool vertical = false);
// The title page: the title and the author, their short digit runs upright
// in vertical books.
std::string TitlePage(const TBook& book, const std::string& cssHref, bool vertical);

}  // namespace qm
