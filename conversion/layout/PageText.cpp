#include "conversion/layout/PageText.h"

#include <algorithm>

#include "platform/CodePage.h"
#include "platform/CodePageExtension.h"

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

size_t SequenceEndAtCut(std::string_view text, size_t cut) {
    // Only a sequence that begins one to three bytes before the cut can
    // straddle it; without one, no walk is needed.
    bool candidate = false;
    for (size_t back = 1; back <= 3 && back <= cut && !candidate; ++back) {
        candidate = ExtendedCharacterAt(text.substr(cut - back, 4)) >= 0;
    }
    if (!candidate) return cut;
    // Characters pair up from the start, so the walk tells which bytes begin one.
    size_t at = 0;
    while (at < cut) {
        const size_t length = CharacterLengthAt(text.substr(at, 4));
        if (at + length > cut) return length == 4 ? at + length : cut;
        at += length;
    }
    return cut;
}

TPartEdges PartEdges(std::string_view previous, std::string_view part, std::string_view next) {
    TPartEdges edges;
    edges.lfEndsCutPair =
        !previous.empty() && previous.back() == '\r' && !part.empty() && part.front() == '\n';
    edges.crStartsCutPair =
        !part.empty() && part.back() == '\r' && !next.empty() && next.front() == '\n';
    return edges;
}

void OpenPageBody(std::string& out) {
    out.append("<p>");
}

void AppendPageBodySlice(std::string& out, std::string_view part, size_t start, size_t end,
                         TPartEdges edges) {
    // Line ends found with memchr (string_view::find) rather than byte by
    // byte; the next CR and the next LF are each looked for again once passed.
    const std::string_view upTo = part.substr(0, end);
    size_t cr = upTo.find('\r', start), lf = upTo.find('\n', start);
    size_t pieceStart = start;
    for (size_t i = std::min(cr, lf); i < end; i = std::min(cr, lf)) {
        const char byte = part[i];
        const bool cutHalf = byte == '\n' ? i == 0 && edges.lfEndsCutPair
                                          : i + 1 == part.size() && edges.crStartsCutPair;
        if (!cutHalf) {
            AppendXmlText(out, part.substr(pieceStart, i - pieceStart), part.substr(0, pieceStart));
            out.append("</p><p>");
            if (byte == '\r' && i + 1 < end && part[i + 1] == '\n') ++i;
            pieceStart = i + 1;
        }
        if (cr <= i) cr = upTo.find('\r', i + 1);
        if (lf <= i) lf = upTo.find('\n', i + 1);
    }
    AppendXmlText(out, part.substr(pieceStart, end - pieceStart), part.substr(0, pieceStart));
}

void ClosePageBody(std::string& out) {
    out.append("</p>");
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
