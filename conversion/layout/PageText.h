#pragma once
// The body of a classic page: code page 936 text as paragraphs of XML
// character data, written slice by slice, and where a part's characters and
// line breaks begin and end.
#include <string>
#include <string_view>

#include "conversion/layout/XmlEscape.h"

namespace qm {

// True when the last byte of text, preceded by before, starts a two-byte
// character of code page 936: it ends an odd run of lead-range bytes, since
// such a run pairs up from its start.
bool EndsInOpenLeadByte(std::string_view text, std::string_view before = {});

// Where a cut after the first `cut` bytes of text (which begins at the start
// of a character) has to go so as not to split a four-byte sequence: the end
// of the sequence it falls in, else cut itself.
size_t SequenceEndAtCut(std::string_view text, size_t cut);

// Where a CR LF pair falls across the cut between two parts (CR ends one
// part, LF begins the next), neither half is a line break: each stays text.
struct TPartEdges {
    bool lfEndsCutPair = false;    // the part begins with the LF of a cut pair
    bool crStartsCutPair = false;  // the part ends with the CR of a cut pair
};
TPartEdges PartEdges(std::string_view previous, std::string_view part, std::string_view next);

// The body of one page: CR LF, a lone LF and a lone CR each end a line, and
// the pieces between them each become a paragraph, empty ones included
// ("a\r\n\nb" gives "<p>a</p><p></p><p>b</p>"). A part is taken slice by
// slice: OpenPageBody starts the first paragraph, AppendPageBodySlice adds
// the bytes start to end of part, and ClosePageBody ends the last paragraph. A slice must not end
// between the CR and the LF of a pair, nor before a left-out byte (see PageSliceEnd). Any such cut
// gives the body of the whole part.
void OpenPageBody(std::string& out);
void AppendPageBodySlice(std::string& out, std::string_view part, size_t start, size_t end,
                         TPartEdges edges);
void ClosePageBody(std::string& out);

// Where the slice of part that starts at start ends: sliceSize bytes on (at
// least one), one more when that would cut a CR LF pair, and on past any
// bytes that are left out, at most the end.
size_t PageSliceEnd(std::string_view part, size_t start, size_t sliceSize);

}  // namespace qm
