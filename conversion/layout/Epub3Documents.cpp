#include "conversion/layout/Epub3Documents.h"

#include <algorithm>

#include "conversion/layout/Epub3Paragraph.h"
#include "platform/Format.h"

namespace qm {
namespace {

const TXmlStyle& Style() {
    return LayoutFor(TBookKind::Epub3).xml;
}

const TBookWords kChineseSimplified{"封面", "扉页", "目录", "正文"};
const TBookWords kChineseTraditional{"封面", "扉頁", "目錄", "正文"};
const TBookWords kJapanese{"表紙", "扉", "目次", "本文"};
const TBookWords kEnglish{"Cover", "Title Page", "Contents", "Start"};

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The CJK families of common systems and readers for the book's language,
// serif first (books are set in Song/Ming), then sans, then the generic one.
std::string FontStack(const std::string& language) {
    const char* region = "SC";
    const char* extra = "\"Songti SC\", \"STSong\", \"SimSun\"";
    if (StartsWith(language, "ja")) {
        region = "JP";
        extra = "\"Hiragino Mincho ProN\", \"Yu Mincho\", \"MS Mincho\"";
    } else if (IsTraditionalChinese(language)) {
        region = "TC";
        extra = "\"Songti TC\", \"PMingLiU\", \"MingLiU\"";
    }
    return Format(
        "\"Noto Serif CJK %s\", \"Source Han Serif %s\", %s, \"Noto Sans CJK %s\", "
        "\"Source Han Sans %s\", serif",
        region, region, extra, region, region);
}

// A list item of the table of contents; a volume's entry stands out from
// the chapters under it, which it holds in a list of their own.
void WriteNavEntry(TXmlWriter& w, const TTocEntry& entry, int next) {
    w.Open("li");
    if (next > entry.level) w.Attr("class", "group");
    w.Open("a").Attr("href", entry.href).Text(entry.label).Close();
    if (next > entry.level) {
        w.Line().Open("ol").Line();
        return;
    }
    w.Close().Line();
    for (int level = entry.level; level > next; --level) w.Close().Line().Close().Line();
}

void WriteLandmark(TXmlWriter& w, const char* type, const std::string& href, const char* word) {
    w.Open("li").Open("a").Attr("epub:type", type).Attr("href", href).Text(word);
    w.Close().Close().Line();
}

}  // namespace

bool IsTraditionalChinese(const std::string& language) {
    return language == "zh-Hant" || StartsWith(language, "zh-Hant-") ||
           StartsWith(language, "zh-TW") || StartsWith(language, "zh-HK") ||
           StartsWith(language, "zh-MO");
}

const TBookWords& BookWordsFor(const std::string& language) {
    if (StartsWith(language, "ja")) return kJapanese;
    if (StartsWith(language, "zh")) {
        return IsTraditionalChinese(language) ? kChineseTraditional : kChineseSimplified;
    }
    return kEnglish;
}

std::string PackageDocument(const TBook& book, const TPackageInfo& info) {
    std::string opf;
    TXmlWriter w(opf, Style());
    w.Declaration().Line();
    w.Open("package").Attr("xmlns", "http://www.idpf.org/2007/opf").Attr("version", "3.0");
    w.Attr("unique-identifier", "bookid").Attr("xml:lang", book.language).Line();
    w.Open("metadata").Attr("xmlns:dc", "http://purl.org/dc/elements/1.1/").Line();
    w.Open("dc:identifier").Attr("id", "bookid").Text(info.identifier).Close().Line();
    w.Element("dc:title", book.title).Line();
    if (!book.author.empty()) w.Element("dc:creator", book.author).Line();
    w.Element("dc:language", book.language).Line();
    w.Open("meta").Attr("property", "dcterms:modified").Text(info.modified).Close().Line();
    // Readers of EPUB 2 find the cover image only this way.
    if (!info.coverImageId.empty()) {
        w.Open("meta").Attr("name", "cover").Attr("content", info.coverImageId).Close().Line();
    }
    w.Close().Line().Open("manifest").Line();
    for (const TManifestItem& item : info.items) {
        w.Open("item").Attr("id", item.id).Attr("href", item.href);
        w.Attr("media-type", item.mediaType);
        if (!item.properties.empty()) w.Attr("properties", item.properties);
        w.Close().Line();
    }
    w.Close().Line().Open("spine").Attr("toc", "ncx");
    if (info.vertical) w.Attr("page-progression-direction", "rtl");
    w.Line();
    for (const std::string& id : info.spine) w.Open("itemref").Attr("idref", id).Close().Line();
    w.Close().Line().Close().Line();
    return opf;
}

std::string NavigationDocument(const TBook& book, const std::vector<TTocEntry>& toc,
                               const std::string& coverHref, const std::string& titleHref,
                               const std::string& startHref) {
    const TBookWords& words = BookWordsFor(book.language);
    const TPageFrame frame = Epub3PageFrame(book.language, words.contents, "css/book.css", "nav");
    std::string nav = frame.head;
    TXmlWriter w(nav, Style());
    w.Open("nav").Attr("epub:type", "toc").Attr("id", "toc").Line();
    w.Element("h1", words.contents).Line().Open("ol").Line();
    for (size_t k = 0; k < toc.size(); ++k)
        WriteNavEntry(w, toc[k], k + 1 < toc.size() ? toc[k + 1].level : 0);
    w.Close().Line().Close().Line();
    w.Open("nav").Attr("epub:type", "landmarks").Attr("id", "landmarks");
    w.Attr("hidden", "hidden").Line().Open("ol").Line();
    WriteLandmark(w, "cover", coverHref, words.cover);
    WriteLandmark(w, "titlepage", titleHref, words.titlePage);
    WriteLandmark(w, "toc", "nav.xhtml#toc", words.contents);
    WriteLandmark(w, "bodymatter", startHref, words.start);
    w.Close().Line().Close().Line();
    return nav + frame.tail;
}

std::string NcxDocument(const TBook& book, const std::string& identifier,
                        const std::vector<TTocEntry>& toc) {
    int depth = 1;
    for (const TTocEntry& entry : toc) depth = std::max(depth, entry.level + 1);
    std::string ncx;
    TXmlWriter w(ncx, Style());
    w.Declaration().Line();
    w.Open("ncx").Attr("xmlns", "http://www.daisy.org/z3986/2005/ncx/");
    w.Attr("version", "2005-1").Attr("xml:lang", book.language).Line();
    w.Open("head").Line();
    w.Open("meta").Attr("name", "dtb:uid").Attr("content", identifier).Close().Line();
    w.Open("meta").Attr("name", "dtb:depth").Attr("content", depth).Close().Line();
    w.Open("meta").Attr("name", "dtb:totalPageCount").Attr("content", 0).Close().Line();
    w.Open("meta").Attr("name", "dtb:maxPageNumber").Attr("content", 0).Close().Line();
    w.Close().Line();
    w.Open("docTitle").Element("text", book.title).Close().Line();
    if (!book.author.empty()) w.Open("docAuthor").Element("text", book.author).Close().Line();
    w.Open("navMap").Line();
    for (size_t k = 0; k < toc.size(); ++k) {
        const auto order = static_cast<long long>(k + 1);
        w.Open("navPoint").Attr("id", "np" + std::to_string(order)).Attr("playOrder", order);
        w.Line().Open("navLabel").Element("text", toc[k].label).Close().Line();
        w.Open("content").Attr("src", toc[k].href).Close().Line();
        const int next = k + 1 < toc.size() ? toc[k + 1].level : 0;
        if (next <= toc[k].level) w.Close().Line();
        for (int level = toc[k].level; level > next; --level) w.Close().Line();
    }
    w.Close().Line().Close().Line();
    return ncx;
}

std::string BookStyleSheet(const std::string& language, bool vertical,
                           const std::string& fontFile) {
    std::string css = "@charset \"UTF-8\";\n";
    std::string family = FontStack(language);
    if (!fontFile.empty()) {
        css += "@font-face {\n  font-family: \"Quillmark Book\";\n  src: url(\"" + fontFile +
               "\");\n}\n";
        family = "\"Quillmark Book\", " + family;
    }
    if (vertical) {
        css +=
            "html {\n  writing-mode: vertical-rl;\n  -webkit-writing-mode: vertical-rl;\n"
            "  -epub-writing-mode: vertical-rl;\n}\n";
        // The cover is a picture, laid out across as in any book: readers
        // that set vertical pages in columns of their own (Foliate) would
        // cut it off.
        css +=
            "html.cover {\n  writing-mode: horizontal-tb;\n  -webkit-writing-mode: horizontal-tb;\n"
            "  -epub-writing-mode: horizontal-tb;\n}\n";
    }
    css += "body {\n  margin: 0 6%;\n  padding: 1.5em 0;\n  font-family: " + family +
           ";\n  line-height: 1.7;\n  text-align: justify;\n  overflow-wrap: anywhere;\n"
           "  word-wrap: break-word;\n}\n";
    // The indent comes from here alone: the lines' own leading spaces are
    // dropped when the text is read. A blank line in the text shows as space
    // before the next paragraph (on its right when the lines run vertically).
    css += "p {\n  margin: 0;\n  text-indent: 2em;\n}\n";
    css += vertical ? "p.gap {\n  margin-right: 1em;\n}\n" : "p.gap {\n  margin-top: 1em;\n}\n";
    css += "p.cont {\n  text-indent: 0;\n}\n";
    // A scene separator stands centred on its own, set off on both sides.
    css += vertical ? "p.sep {\n  text-indent: 0;\n  text-align: center;\n  margin: 0 1em;\n}\n"
                    : "p.sep {\n  text-indent: 0;\n  text-align: center;\n  margin: 1em 0;\n}\n";
    // One or two Latin digits stand upright in a vertical line.
    if (vertical) {
        css +=
            "span.tcu {\n  -epub-text-combine: horizontal;\n  -webkit-text-combine: horizontal;\n"
            "  text-combine-upright: all;\n}\n";
    }
    css +=
        "h1, h2 {\n  font-weight: bold;\n  text-align: center;\n  text-indent: 0;\n"
        "  line-height: 1.4;\n  page-break-after: avoid;\n";
    css += vertical ? "  margin: 0 0 0 1em;\n}\n" : "  margin: 1.5em 0 1em;\n}\n";
    css += "h1 {\n  font-size: 1.6em;\n}\nh2 {\n  font-size: 1.3em;\n}\n";
    // Each line of the title page is centred itself: some readers' own
    // p {text-align: justify} wins over a centred body. Vertically the title
    // stands a little in from the right edge, the author after it.
    css += "body.title {\n  text-align: center;\n}\n";
    css += vertical ? "body.title h1 {\n  margin: 0 3em 0 1.5em;\n  font-size: 2em;\n}\n"
                    : "body.title h1 {\n  margin: 30% 0 1em;\n  font-size: 2em;\n}\n";
    css +=
        "body.title h1, body.title p {\n  text-align: center;\n  text-indent: 0;\n}\n"
        "body.title p {\n  font-size: 1.2em;\n}\n";
    css +=
        "body.cover {\n  margin: 0;\n  padding: 0;\n  text-align: center;\n}\n"
        "body.cover img {\n  display: block;\n  max-width: 100%;\n  max-height: 100vh;\n"
        "  margin: 0 auto;\n}\n";
    css +=
        "nav ol {\n  list-style: none;\n  padding: 0;\n}\nnav ol ol {\n  padding-left: 2em;\n}\n"
        "nav a {\n  text-decoration: none;\n}\n"
        "nav li.group > a {\n  font-weight: bold;\n}\nnav li.group {\n  margin-top: 0.5em;\n}\n";
    return css;
}

TPageFrame Epub3PageFrame(const std::string& language, std::string_view title,
                          const std::string& cssHref, const char* bodyClass,
                          const char* htmlClass) {
    TPageFrame frame;
    TXmlWriter w(frame.head, Style());
    w.Declaration().Line().Doctype("html").Line();
    w.Open("html");
    if (htmlClass) w.Attr("class", htmlClass);
    w.Attr("xmlns", "http://www.w3.org/1999/xhtml");
    w.Attr("xmlns:epub", "http://www.idpf.org/2007/ops");
    w.Attr("xml:lang", language).Attr("lang", language).Line();
    w.Open("head").Line().Element("title", title).Line();
    w.Open("link").Attr("rel", "stylesheet").Attr("type", "text/css").Attr("href", cssHref);
    w.Close().Line().Close().Line();
    w.Open("body");
    if (bodyClass) w.Attr("class", bodyClass);
    w.Line().Redirect(frame.tail);
    w.Close().Line().Close().Line();
    return frame;
}

std::string CoverPage(const TBook& book, const std::string& cssHref, const std::string& imageHref,
                      int width, int height, bool vertical) {
    const TBookWords& words = BookWordsFor(book.language);
    const TPageFrame frame =
        Epub3PageFrame(book.language, words.cover, cssHref, "cover", vertical ? "cover" : nullptr);
    std::string page = frame.head;
    TXmlWriter w(page, Style());
    w.Open("section").Attr("epub:type", "cover");
    w.Open("img").Attr("src", imageHref).Attr("width", width).Attr("height", height);
    w.Attr("alt", book.title).Close().Close().Line();
    return page + frame.tail;
}

std::string TitlePage(const TBook& book, const std::string& cssHref, bool vertical) {
    const TPageFrame frame = Epub3PageFrame(book.language, book.title, cssHref, "title");
    std::string page = frame.head;
    TXmlWriter w(page, Style());
    std::string lines;
    WriteEpub3Heading(lines, "h1", book.title, vertical);
    if (!book.author.empty()) WriteEpub3Paragraph(lines, nullptr, book.author, vertical);
    w.Open("section").Attr("epub:type", "titlepage").Line().Markup(lines);
    w.Close().Line();
    return page + frame.tail;
}

}  // namespace qm
