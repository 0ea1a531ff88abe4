#include "conversion/PageText.h"

namespace qm {

void AppendXmlText(std::string& out, std::string_view text) {
    size_t plainStart = 0;
    auto flushPlain = [&](size_t end) { out.append(text.data() + plainStart, end - plainStart); };
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const char* replacement = nullptr;
        switch (byte) {
            case '&':
                replacement = "&amp;";
                break;
            case '<':
                replacement = "&lt;";
                break;
            case '>':
                replacement = "&gt;";
                break;
            default:
                if (!IsForbiddenXmlByte(byte)) continue;
                replacement = "";
        }
        flushPlain(i);
        out.append(replacement);
        plainStart = i + 1;
    }
    flushPlain(text.size());
}

std::string XmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendXmlText(out, text);
    return out;
}

void AppendPageBodySlice(std::string& out, std::string_view slice, bool& paragraphOpen) {
    size_t start = 0;
    for (;;) {
        const size_t lineBreak = slice.find("\r\n", start);
        AppendXmlText(
            out, slice.substr(start, lineBreak == std::string_view::npos ? std::string_view::npos
                                                                         : lineBreak - start));
        if (lineBreak == std::string_view::npos) break;
        out.append(paragraphOpen ? "</p><p>" : "<p>");
        paragraphOpen = true;
        start = lineBreak + 2;
    }
}

void ClosePageBody(std::string& out, bool paragraphOpen) {
    if (paragraphOpen) out.append("</p>");
}

void AppendPageBody(std::string& out, std::string_view part) {
    bool paragraphOpen = false;
    AppendPageBodySlice(out, part, paragraphOpen);
    ClosePageBody(out, paragraphOpen);
}

size_t PageSliceEnd(std::string_view part, size_t start, size_t sliceSize) {
    if (start >= part.size()) return part.size();
    const size_t room = part.size() - start;
    size_t end = start + (sliceSize == 0 ? 1 : sliceSize < room ? sliceSize : room);
    if (end < part.size() && part[end - 1] == '\r' && part[end] == '\n') ++end;
    return end;
}

}  // namespace qm
