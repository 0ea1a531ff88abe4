#pragma once
// What sets the two kinds of book apart where they do the same job: how
// their source is decoded, how their XML is written (text rule, line ends),
// where their text may be cut into parts, and the documents both kinds hold
// in their own layout (container.xml). The classic layout keeps its text in
// code page 936 and writes the fixed one-line templates, cut between
// characters; the EPUB 3 layout decodes to UTF-8 and writes a line per
// element, cut at line ends.
#include <string>

#include "conversion/book/BookCutting.h"
#include "conversion/layout/XmlWriter.h"
#include "conversion/text/SourceDecoding.h"

namespace qm {

enum class TBookKind : unsigned char { Classic, Epub3 };

struct TBookLayout {
    TBookKind kind = TBookKind::Classic;
    TDecodingRule decoding = TDecodingRule::CodePage936;
    TXmlStyle xml;
    TCutRule cut = TCutRule::Characters;
};

const TBookLayout& LayoutFor(TBookKind kind);

// A page's frame: everything before its body and everything after it.
struct TPageFrame {
    std::string head, tail;
};

// META-INF/container.xml, pointing at OEBPS/content.opf.
std::string ContainerDocument(const TBookLayout& layout);

}  // namespace qm
