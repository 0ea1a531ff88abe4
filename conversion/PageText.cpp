#include "conversion/PageText.h"

#include "platform/CodePage.h"

namespace qm {
namespace {

// Counts the lead-range bytes that end text, adding them to run; true when
// they reach back to its start.
bool CountLeadRun(std::string_view text, size_t& run) {
    size_t i = text.size();
    for (; i > 0 && IsLeadByte(static_cast<unsigned char>(text[i - 1])); --i) ++run;
    return i == 0;
}

}  // namespace

bool EndsInOpenLeadByte(std::string_view text, std::string_view before) {
    size_t run = 0;
    if (CountLeadRun(text, run)) CountLeadRun(before, run);
    return run % 2 == 1;
}

void AppendXmlText(std::string& out, std::string_view text, std::string_view before) {
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
        // A lead byte just before a left-out byte, with no second byte of its
        // own, would take the byte after the gap and swallow it.
        if (*replacement == '\0' && i > 0 && !out.empty() &&
            EndsInOpenLeadByte(text.substr(0, i), before)) {
            out.back() = '?';
        }
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

void AppendPageBodySlice(std::string& out, std::string_view slice, bool& paragraphOpen,
                         std::string_view before) {
    size_t start = 0;
    for (;;) {
        const size_t lineBreak = slice.find("\r\n", start);
        // After a line break no lead byte is waiting.
        AppendXmlText(
            out,
            slice.substr(start, lineBreak == std::string_view::npos ? std::string_view::npos
                                                                    : lineBreak - start),
            start == 0 ? before : std::string_view());
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
    // A left-out byte stays with the byte before it, which may need a "?".
    while (end < part.size() && IsForbiddenXmlByte(static_cast<unsigned char>(part[end]))) ++end;
    return end;
}

}  // namespace qm
