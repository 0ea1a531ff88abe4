#include "conversion/layout/ClassicDocuments.h"

#include "conversion/layout/EpubTemplates.h"

namespace qm {
namespace {

const TXmlStyle& Style() {
    return LayoutFor(TBookKind::Classic).xml;
}

std::string PageName(size_t k) {
    return std::to_string(k) + ".html";
}

std::string PartId(size_t k) {
    return "txt" + std::to_string(k);
}

TPageFrame MakePageFrame() {
    TPageFrame frame;
    TXmlWriter w(frame.head, Style());
    w.Open("html").Attr("xmlns", "http://www.w3.org/1999/xhtml").Attr("xml:lang", "zh-CN");
    w.Open("head");
    w.Open("meta")
        .Attr("http-equiv", "Content-Type")
        .Attr("content", "text/html; charset=utf-8")
        .Close(TEmptyTag::Spaced);
    w.Open("link")
        .Attr("rel", "stylesheet")
        .Attr("type", "text/css")
        .Attr("href", "css/main.css")
        .Close();
    w.Close().Open("body").Redirect(frame.tail);
    w.CloseAll();
    return frame;
}

void WriteMetadata(TXmlWriter& w, std::string_view title, std::string_view author) {
    w.Open("metadata")
        .Attr("xmlns:dc", "http://purl.org/dc/elements/1.1/")
        .Attr("xmlns:opf", "http://www.idpf.org/2007/opf");
    w.Open("dc:identifier").Attr("opf:scheme", "ISBN").Text("").Close();
    w.Element("dc:creator", author);
    w.Element("dc:publisher", kPublisherAddress);
    w.Element("dc:source", kSourceAddress);
    w.Element("dc:title", title);
    w.Close();
}

}  // namespace

const TPageFrame& ClassicPageFrame() {
    static const TPageFrame frame = MakePageFrame();
    return frame;
}

std::string ClassicPackageDocument(std::string_view title, std::string_view author, size_t parts) {
    std::string opf;
    TXmlWriter w(opf, Style());
    w.Declaration(true);
    w.Open("package")
        .Attr("version", "2.0")
        .Attr("unique-identifier", "PrimaryID")
        .Attr("xmlns", "http://www.idpf.org/2007/opf");
    WriteMetadata(w, title, author);
    w.Open("manifest");
    w.Open("item")
        .Attr("id", "ncx")
        .Attr("href", "toc.ncx")
        .Attr("media-type", "application/x-dtbncx+xml")
        .Close();
    w.Open("item").Attr("id", "main-css").Attr("href", "css/main.css");
    w.Attr("media-type", "text/css").Close();
    for (size_t k = 0; k < parts; ++k) {
        w.Open("item").Attr("id", PartId(k)).Attr("href", PageName(k));
        w.Attr("media-type", "application/xhtml+xml").Close();
    }
    w.Close().Open("spine").Attr("toc", "ncx");
    for (size_t k = 0; k < parts; ++k) w.Open("itemref").Attr("idref", PartId(k)).Close();
    w.CloseAll();
    return opf;
}

std::string ClassicNcxDocument(std::string_view label, size_t parts) {
    std::string ncx;
    TXmlWriter w(ncx, Style());
    w.Declaration().Doctype(
        "ncx PUBLIC \"-//NISO//DTD ncx 2005-1//EN\" "
        "\"http://www.daisy.org/z3986/2005/ncx-2005-1.dtd\"");
    w.Open("ncx").Attr("version", "2005-1").Attr("xmlns", "http://www.daisy.org/z3986/2005/ncx/");
    w.Open("head");
    for (const char* name : {"dtb:uid", "dtb:depth", "dtb:totalPageCount", "dtb:maxPageNumber"}) {
        w.Open("meta").Attr("name", name);
        w.Attr("content", std::string_view(name) == "dtb:uid" ? "ISBN" : "0").Close();
    }
    w.Close().Open("navMap");
    for (size_t k = 0; k < parts; ++k) {
        w.Open("navPoint").Attr("id", PartId(k)).Attr("playOrder", static_cast<long long>(k));
        w.Open("navLabel").Open("text").Text(label).Text("(" + std::to_string(k + 1) + ")");
        w.Close().Close();
        w.Open("content").Attr("src", PageName(k)).Close().Close();
    }
    w.CloseAll();
    return ncx;
}

}  // namespace qm
