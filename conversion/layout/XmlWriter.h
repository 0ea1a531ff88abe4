#pragma once
// Building an XML document as a tree: elements opened and closed in order,
// their attributes and their text. The writer escapes every value and text
// by the document's text rule, so no caller escapes by hand and an element
// is never left open unnoticed. The layout stays the caller's: the writer
// adds no line break or space of its own (Line() adds one where the style
// has them), so the classic kind's one-line templates come out byte for
// byte.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "conversion/layout/XmlEscape.h"

namespace qm {

struct TXmlStyle {
    TXmlTextRule text = TXmlTextRule::Utf8;
    bool lineEnds = true;  // Line() ends a line; false: it adds nothing
};

// How an element without content ends.
enum class TEmptyTag : unsigned char {
    Compact,  // <a b="c"/>
    Spaced,   // <a b="c" />
};

class TXmlWriter {
  public:
    // Appends to out, which may already hold the start of the document.
    TXmlWriter(std::string& out, TXmlStyle style) : out_(&out), style_(style) {}
    TXmlWriter(const TXmlWriter&) = delete;
    TXmlWriter& operator=(const TXmlWriter&) = delete;

    // <?xml version="1.0" encoding="UTF-8"?>, " ?>" when spaced.
    TXmlWriter& Declaration(bool spaced = false);
    // <!DOCTYPE text>, text as given (a fixed public identifier).
    TXmlWriter& Doctype(std::string_view text);
    // Starts <name; attributes may follow until content does. name must
    // outlive the element (the names are literals).
    TXmlWriter& Open(std::string_view name);
    TXmlWriter& Attr(std::string_view name, std::string_view value);
    TXmlWriter& Attr(std::string_view name, long long value);
    // Character data, escaped; even empty text ends the start tag, so the
    // element closes with an end tag.
    TXmlWriter& Text(std::string_view text);
    // Markup built elsewhere and already escaped (a page body, a nested
    // document's piece): inserted as it is.
    TXmlWriter& Markup(std::string_view xml);
    // Ends the innermost open element: "/>" when it has no content yet,
    // else its end tag.
    TXmlWriter& Close(TEmptyTag empty = TEmptyTag::Compact);
    // Open, text and close in one.
    TXmlWriter& Element(std::string_view name, std::string_view text);
    TXmlWriter& Line();

    // Closes every open element.
    TXmlWriter& CloseAll();
    // What follows goes to out instead: a page's frame is written as one
    // tree, its head and its tail kept apart for the body between them.
    TXmlWriter& Redirect(std::string& out);
    size_t Depth() const { return depth_; }
    const TXmlStyle& Style() const { return style_; }

  private:
    void EndStartTag();

    std::string* out_;
    TXmlStyle style_;
    std::array<std::string_view, 8> open_;
    size_t depth_ = 0;
    bool inStartTag_ = false;
};

}  // namespace qm
