#include "conversion/layout/BookLayout.h"

namespace qm {

const TBookLayout& LayoutFor(TBookKind kind) {
    static const TBookLayout kClassic{TBookKind::Classic,
                                      TDecodingRule::CodePage936,
                                      {TXmlTextRule::CodePage936, false},
                                      TCutRule::Characters};
    static const TBookLayout kEpub3{
        TBookKind::Epub3, TDecodingRule::Unicode, {TXmlTextRule::Utf8, true}, TCutRule::LineEnds};
    return kind == TBookKind::Classic ? kClassic : kEpub3;
}

std::string ContainerDocument(const TBookLayout& layout) {
    std::string xml;
    TXmlWriter w(xml, layout.xml);
    w.Declaration().Line();
    w.Open("container")
        .Attr("version", "1.0")
        .Attr("xmlns", "urn:oasis:names:tc:opendocument:xmlns:container")
        .Line();
    w.Open("rootfiles").Line();
    w.Open("rootfile")
        .Attr("full-path", "OEBPS/content.opf")
        .Attr("media-type", "application/oebps-package+xml")
        .Close()
        .Line();
    w.Close().Line().Close().Line();
    return xml;
}

}  // namespace qm
