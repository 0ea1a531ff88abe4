#include "conversion/layout/XmlWriter.h"

#include <stdexcept>

namespace qm {

TXmlWriter& TXmlWriter::Declaration(bool spaced) {
    out_->append(spaced ? "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>"
                        : "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    return *this;
}

TXmlWriter& TXmlWriter::Doctype(std::string_view text) {
    out_->append("<!DOCTYPE ").append(text).append(">");
    return *this;
}

TXmlWriter& TXmlWriter::Open(std::string_view name) {
    EndStartTag();
    if (depth_ == open_.size()) throw std::logic_error("XML elements nested too deep");
    open_[depth_++] = name;
    out_->append("<").append(name);
    inStartTag_ = true;
    return *this;
}

TXmlWriter& TXmlWriter::Attr(std::string_view name, std::string_view value) {
    if (!inStartTag_) throw std::logic_error("an XML attribute outside a start tag");
    out_->append(" ").append(name).append("=\"");
    AppendXmlEscaped(*out_, value, style_.text, true);
    out_->append("\"");
    return *this;
}

TXmlWriter& TXmlWriter::Attr(std::string_view name, long long value) {
    return Attr(name, std::to_string(value));
}

TXmlWriter& TXmlWriter::Text(std::string_view text) {
    EndStartTag();
    AppendXmlEscaped(*out_, text, style_.text);
    return *this;
}

TXmlWriter& TXmlWriter::Markup(std::string_view xml) {
    EndStartTag();
    out_->append(xml);
    return *this;
}

TXmlWriter& TXmlWriter::Close(TEmptyTag empty) {
    if (depth_ == 0) throw std::logic_error("no XML element to close");
    const std::string_view name = open_[--depth_];
    if (inStartTag_) {
        out_->append(empty == TEmptyTag::Spaced ? " />" : "/>");
        inStartTag_ = false;
    } else {
        out_->append("</").append(name).append(">");
    }
    return *this;
}

TXmlWriter& TXmlWriter::Element(std::string_view name, std::string_view text) {
    return Open(name).Text(text).Close();
}

TXmlWriter& TXmlWriter::Line() {
    EndStartTag();
    if (style_.lineEnds) out_->push_back('\n');
    return *this;
}

TXmlWriter& TXmlWriter::CloseAll() {
    while (depth_ > 0) Close();
    return *this;
}

TXmlWriter& TXmlWriter::Redirect(std::string& out) {
    EndStartTag();
    out_ = &out;
    return *this;
}

void TXmlWriter::EndStartTag() {
    if (!inStartTag_) return;
    out_->push_back('>');
    inStartTag_ = false;
}

}  // namespace qm
