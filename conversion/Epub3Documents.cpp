#include "conversion/Epub3Documents.h"

#include <unicode/utf8.h>

#include <algorithm>

#include "platform/Format.h"

namespace qm {
namespace {

constexpr const char* kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

const TBookWords kChineseSimplified{"封面", "扉页", "目录", "正文"};
const TBookWords kChineseTraditional{"封面", "扉頁", "目錄", "正文"};
const TBookWords kJapanese{"表紙", "扉", "目次", "本文"};
const TBookWords kEnglish{"Cover", "Title Page", "Contents", "Start"};

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Chinese written in traditional characters: the script subtag, or the
// regions that use them.
bool IsTraditionalChinese(const std::string& language) {
    return language == "zh-Hant" || StartsWith(language, "zh-Hant-") ||
           StartsWith(language, "zh-TW") || StartsWith(language, "zh-HK") ||
           StartsWith(language, "zh-MO");
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

// Lines of a title for the generated cover: about `width` full-width
// characters each (a Latin letter counts half), at most five lines.
std::vector<std::string> CoverLines(const std::string& text, int width) {
    std::vector<std::string> lines(1);
    int units = 0;
    int32_t i = 0;
    const auto n = static_cast<int32_t>(text.size());
    while (i < n) {
        const int32_t start = i;
        UChar32 c = 0;
        U8_NEXT(text.data(), i, n, c);
        const int cost = c < 0x1100 ? 1 : 2;
        if (units + cost > 2 * width) {
            if (lines.size() == 5) {
                lines.back() += "…";
                break;
            }
            lines.emplace_back();
            units = 0;
        }
        lines.back().append(text, static_cast<size_t>(start), static_cast<size_t>(i - start));
        units += cost;
    }
    return lines;
}

void AppendSvgText(std::string& out, const std::vector<std::string>& lines, int top, int size,
                   const char* weight) {
    for (size_t k = 0; k < lines.size(); ++k) {
        out += Format(
            "<text x=\"300\" y=\"%d\" font-size=\"%d\" font-weight=\"%s\" "
            "text-anchor=\"middle\">",
            top + static_cast<int>(k) * size * 13 / 10, size, weight);
        AppendXmlUtf8(out, lines[k]);
        out += "</text>\n";
    }
}

}  // namespace

size_t AppendXmlUtf8(std::string& out, std::string_view text) {
    size_t leftOut = 0;
    size_t plain = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const char* replacement = nullptr;
        size_t skip = 1;
        if (byte == '&') {
            replacement = "&amp;";
        } else if (byte == '<') {
            replacement = "&lt;";
        } else if (byte == '>') {
            replacement = "&gt;";
        } else if (byte == '"') {
            replacement = "&quot;";
        } else if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') {
            replacement = "";
        } else if (byte == 0xEF && text.substr(i, 2) == "\xEF\xBF" && i + 2 < text.size() &&
                   (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
            replacement = "";  // U+FFFE, U+FFFF
            skip = 3;
        } else {
            continue;
        }
        out.append(text.data() + plain, i - plain);
        out.append(replacement);
        if (*replacement == '\0') ++leftOut;
        i += skip - 1;
        plain = i + 1;
    }
    out.append(text.data() + plain, text.size() - plain);
    return leftOut;
}

std::string XmlUtf8(std::string_view text) {
    std::string out;
    AppendXmlUtf8(out, text);
    return out;
}

const TBookWords& BookWordsFor(const std::string& language) {
    if (StartsWith(language, "ja")) return kJapanese;
    if (StartsWith(language, "zh")) {
        return IsTraditionalChinese(language) ? kChineseTraditional : kChineseSimplified;
    }
    return kEnglish;
}

std::string PackageDocument(const TBook& book, const TPackageInfo& info) {
    std::string opf(kXmlDeclaration);
    opf +=
        "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" "
        "unique-identifier=\"bookid\" xml:lang=\"" +
        XmlUtf8(book.language) + "\">\n";
    opf += "<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n";
    opf += "<dc:identifier id=\"bookid\">" + info.identifier + "</dc:identifier>\n";
    opf += "<dc:title>" + XmlUtf8(book.title) + "</dc:title>\n";
    if (!book.author.empty()) opf += "<dc:creator>" + XmlUtf8(book.author) + "</dc:creator>\n";
    opf += "<dc:language>" + XmlUtf8(book.language) + "</dc:language>\n";
    opf += "<meta property=\"dcterms:modified\">" + info.modified + "</meta>\n";
    // Readers of EPUB 2 find the cover image only this way.
    if (!info.coverImageId.empty()) {
        opf += "<meta name=\"cover\" content=\"" + info.coverImageId + "\"/>\n";
    }
    opf += "</metadata>\n<manifest>\n";
    for (const TManifestItem& item : info.items) {
        opf += "<item id=\"" + item.id + "\" href=\"" + item.href + "\" media-type=\"" +
               item.mediaType + "\"";
        if (!item.properties.empty()) opf += " properties=\"" + item.properties + "\"";
        opf += "/>\n";
    }
    opf += "</manifest>\n<spine toc=\"ncx\"";
    if (info.vertical) opf += " page-progression-direction=\"rtl\"";
    opf += ">\n";
    for (const std::string& id : info.spine) opf += "<itemref idref=\"" + id + "\"/>\n";
    opf += "</spine>\n</package>\n";
    return opf;
}

std::string NavigationDocument(const TBook& book, const std::vector<TTocEntry>& toc,
                               const std::string& coverHref, const std::string& titleHref,
                               const std::string& startHref) {
    const TBookWords& words = BookWordsFor(book.language);
    std::string nav = PageHead(book.language, words.contents, "css/book.css", "nav");
    nav += "<nav epub:type=\"toc\" id=\"toc\">\n<h1>";
    nav += words.contents;
    nav += "</h1>\n<ol>\n";
    for (size_t k = 0; k < toc.size(); ++k) {
        const int next = k + 1 < toc.size() ? toc[k + 1].level : 0;
        // A volume's entry stands out from the chapters under it.
        nav += next > toc[k].level ? "<li class=\"group\"><a href=\"" : "<li><a href=\"";
        nav += toc[k].href + "\">" + XmlUtf8(toc[k].label) + "</a>";
        if (next > toc[k].level) {
            nav += "\n<ol>\n";
        } else {
            nav += "</li>\n";
            if (next < toc[k].level) nav += "</ol>\n</li>\n";
        }
    }
    nav +=
        "</ol>\n</nav>\n<nav epub:type=\"landmarks\" id=\"landmarks\" hidden=\"hidden\">\n<ol>\n";
    nav += "<li><a epub:type=\"cover\" href=\"" + coverHref + "\">" + words.cover + "</a></li>\n";
    nav += "<li><a epub:type=\"titlepage\" href=\"" + titleHref + "\">" + words.titlePage +
           "</a></li>\n";
    nav += std::string("<li><a epub:type=\"toc\" href=\"nav.xhtml#toc\">") + words.contents +
           "</a></li>\n";
    nav +=
        "<li><a epub:type=\"bodymatter\" href=\"" + startHref + "\">" + words.start + "</a></li>\n";
    nav += "</ol>\n</nav>\n";
    nav += kPageTail;
    return nav;
}

std::string NcxDocument(const TBook& book, const std::string& identifier,
                        const std::vector<TTocEntry>& toc) {
    int depth = 1;
    for (const TTocEntry& entry : toc) depth = std::max(depth, entry.level + 1);
    std::string ncx(kXmlDeclaration);
    ncx += "<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\" xml:lang=\"" +
           XmlUtf8(book.language) + "\">\n<head>\n";
    ncx += "<meta name=\"dtb:uid\" content=\"" + identifier + "\"/>\n";
    ncx += Format("<meta name=\"dtb:depth\" content=\"%d\"/>\n", depth);
    ncx +=
        "<meta name=\"dtb:totalPageCount\" content=\"0\"/>\n"
        "<meta name=\"dtb:maxPageNumber\" content=\"0\"/>\n</head>\n";
    ncx += "<docTitle><text>" + XmlUtf8(book.title) + "</text></docTitle>\n";
    if (!book.author.empty())
        ncx += "<docAuthor><text>" + XmlUtf8(book.author) + "</text></docAuthor>\n";
    ncx += "<navMap>\n";
    for (size_t k = 0; k < toc.size(); ++k) {
        ncx += Format("<navPoint id=\"np%zu\" playOrder=\"%zu\">\n<navLabel><text>", k + 1, k + 1);
        AppendXmlUtf8(ncx, toc[k].label);
        ncx += "</text></navLabel>\n<content src=\"" + toc[k].href + "\"/>\n";
        const int next = k + 1 < toc.size() ? toc[k + 1].level : 0;
        if (next <= toc[k].level) ncx += "</navPoint>\n";
        if (next < toc[k].level) ncx += "</navPoint>\n";
    }
    ncx += "</navMap>\n</ncx>\n";
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
    css +=
        "h1, h2 {\n  font-weight: bold;\n  text-align: center;\n  text-indent: 0;\n"
        "  line-height: 1.4;\n  page-break-after: avoid;\n";
    css += vertical ? "  margin: 0 0 0 1em;\n}\n" : "  margin: 1.5em 0 1em;\n}\n";
    css += "h1 {\n  font-size: 1.6em;\n}\nh2 {\n  font-size: 1.3em;\n}\n";
    css +=
        "body.title {\n  text-align: center;\n}\n"
        "body.title h1 {\n  margin: 30% 0 1em;\n  font-size: 2em;\n}\n"
        "body.title p {\n  text-indent: 0;\n  font-size: 1.2em;\n}\n";
    css +=
        "body.cover {\n  margin: 0;\n  padding: 0;\n  text-align: center;\n}\n"
        "body.cover svg {\n  display: block;\n  width: 100%;\n  height: 100vh;\n}\n"
        "body.cover img {\n  display: block;\n  max-width: 100%;\n  max-height: 100vh;\n"
        "  margin: 0 auto;\n}\n";
    css +=
        "nav ol {\n  list-style: none;\n  padding: 0;\n}\nnav ol ol {\n  padding-left: 2em;\n}\n"
        "nav a {\n  text-decoration: none;\n}\n"
        "nav li.group > a {\n  font-weight: bold;\n}\nnav li.group {\n  margin-top: 0.5em;\n}\n";
    return css;
}

std::string PageHead(const std::string& language, std::string_view title,
                     const std::string& cssHref, const char* bodyClass) {
    std::string head(kXmlDeclaration);
    const std::string lang = XmlUtf8(language);
    head +=
        "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" "
        "xmlns:epub=\"http://www.idpf.org/2007/ops\" xml:lang=\"" +
        lang + "\" lang=\"" + lang + "\">\n<head>\n<title>";
    AppendXmlUtf8(head, title);
    head += "</title>\n<link rel=\"stylesheet\" type=\"text/css\" href=\"" + cssHref +
            "\"/>\n</head>\n";
    head += bodyClass ? std::string("<body class=\"") + bodyClass + "\">\n" : "<body>\n";
    return head;
}

std::string CoverPage(const TBook& book, const std::string& cssHref, const std::string& imageHref,
                      int width, int height) {
    const TBookWords& words = BookWordsFor(book.language);
    std::string page = PageHead(book.language, words.cover, cssHref, "cover");
    if (!imageHref.empty()) {
        page += Format(
            "<section epub:type=\"cover\"><img src=\"%s\" width=\"%d\" height=\"%d\" "
            "alt=\"",
            imageHref.c_str(), width, height);
        AppendXmlUtf8(page, book.title);
        page += "\"/></section>\n";
    } else {
        page +=
            "<section epub:type=\"cover\">\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
            "version=\"1.1\" viewBox=\"0 0 600 900\" preserveAspectRatio=\"xMidYMid meet\">\n"
            "<rect width=\"600\" height=\"900\" fill=\"#f3ede2\"/>\n"
            "<rect x=\"36\" y=\"36\" width=\"528\" height=\"828\" fill=\"none\" "
            "stroke=\"#7a5c3a\" stroke-width=\"3\"/>\n"
            "<g fill=\"#3b2a1a\" font-family=\"serif\">\n";
        const std::vector<std::string> title = CoverLines(book.title, 8);
        AppendSvgText(page, title, 330 - static_cast<int>(title.size()) * 30, 56, "bold");
        AppendSvgText(page, CoverLines(book.author, 14), 660, 30, "normal");
        page += "</g>\n</svg>\n</section>\n";
    }
    page += kPageTail;
    return page;
}

std::string TitlePage(const TBook& book, const std::string& cssHref) {
    std::string page = PageHead(book.language, book.title, cssHref, "title");
    page += "<section epub:type=\"titlepage\">\n<h1>" + XmlUtf8(book.title) + "</h1>\n";
    if (!book.author.empty()) page += "<p>" + XmlUtf8(book.author) + "</p>\n";
    page += "</section>\n";
    page += kPageTail;
    return page;
}

}  // namespace qm
