#include <gtest/gtest.h>

#include "conversion/layout/ClassicDocuments.h"
#include "conversion/layout/EpubTemplates.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

// The page frame filled with a body.
std::string FormatPage(std::string_view body) {
    return ClassicPageFrame().head + std::string(body) + ClassicPageFrame().tail;
}

std::string ClassicContainer() {
    return ContainerDocument(LayoutFor(TBookKind::Classic));
}

TEST(EpubTemplates, FixedTextsHaveTheirExactSizes) {
    EXPECT_EQ(kMimetypeText.size(), 20u);
    EXPECT_EQ(ClassicContainer().size(), 238u);
    EXPECT_EQ(kMainCss.size(), 220u);
    EXPECT_EQ(FormatPage("").size(), 224u - 2);  // the template less its "%s"
    EXPECT_NE(kMainCss.find("margin-bottom:-0.8em;}"), std::string_view::npos);
    EXPECT_NE(kMainCss.find("body {padding"), std::string_view::npos);
    EXPECT_NE(FormatPage("").find("charset=utf-8\" /><link"), std::string::npos);
}

// The one-line templates, byte for byte, as the tree writer fills them.
TEST(EpubTemplates, ClassicDocumentsMatchTheirTemplates) {
    EXPECT_EQ(FormatPage("a<p>b"),
              "<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"zh-CN\"><head><meta "
              "http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" /><link "
              "rel=\"stylesheet\" type=\"text/css\" href=\"css/main.css\"/></head><body>a<p>b"
              "</body></html>");
    EXPECT_EQ(ClassicContainer(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><container version=\"1.0\" "
              "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles><rootfile "
              "full-path=\"OEBPS/content.opf\" media-type=\"application/oebps-package+xml\"/>"
              "</rootfiles></container>");
    EXPECT_EQ(ClassicPackageDocument("T&", "<A>", 2),
              "<?xml version=\"1.0\" encoding=\"UTF-8\" ?><package version=\"2.0\" "
              "unique-identifier=\"PrimaryID\" xmlns=\"http://www.idpf.org/2007/opf\"><metadata "
              "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
              "xmlns:opf=\"http://www.idpf.org/2007/opf\"><dc:identifier opf:scheme=\"ISBN\">"
              "</dc:identifier><dc:creator>&lt;A&gt;</dc:creator><dc:publisher>"
              "https://quillmark.org/</dc:publisher><dc:source>https://quillmark.org/books/"
              "</dc:source><dc:title>T&amp;</dc:title></metadata><manifest><item id=\"ncx\" "
              "href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/><item id=\"main-css\" "
              "href=\"css/main.css\" media-type=\"text/css\"/><item id=\"txt0\" href=\"0.html\" "
              "media-type=\"application/xhtml+xml\"/><item id=\"txt1\" href=\"1.html\" "
              "media-type=\"application/xhtml+xml\"/></manifest><spine toc=\"ncx\"><itemref "
              "idref=\"txt0\"/><itemref idref=\"txt1\"/></spine></package>");
    const std::string ncx = ClassicNcxDocument("Book", 3);
    const std::string head =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE ncx PUBLIC \"-//NISO//DTD ncx "
        "2005-1//EN\" \"http://www.daisy.org/z3986/2005/ncx-2005-1.dtd\"><ncx version=\"2005-1\" "
        "xmlns=\"http://www.daisy.org/z3986/2005/ncx/\"><head><meta name=\"dtb:uid\" "
        "content=\"ISBN\"/><meta name=\"dtb:depth\" content=\"0\"/><meta "
        "name=\"dtb:totalPageCount\" content=\"0\"/><meta name=\"dtb:maxPageNumber\" "
        "content=\"0\"/></head>";
    EXPECT_EQ(head.size(), 380u);
    EXPECT_EQ(ncx.substr(0, head.size()), head);
    EXPECT_NE(ncx.find("<navMap><navPoint id=\"txt0\" playOrder=\"0\">"), std::string::npos);
    EXPECT_NE(ncx.find("<navPoint id=\"txt2\" playOrder=\"2\"><navLabel><text>Book(3)</text>"
                       "</navLabel><content src=\"2.html\"/></navPoint></navMap></ncx>"),
              std::string::npos);
}

}  // namespace
}  // namespace qm
