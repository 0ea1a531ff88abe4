#include "conversion/run/ClassicPages.h"

#include "conversion/layout/ClassicDocuments.h"
#include "conversion/run/PoolRendering.h"
#include "platform/CodePage.h"

namespace qm {
namespace {

// Room for a page: Chinese text grows by half in UTF-8, and each line by
// its paragraph tags; this spares a large page being copied as it grows.
size_t PageRoom(std::string_view part) {
    const TPageFrame& frame = ClassicPageFrame();
    return frame.head.size() + part.size() / 8 * 13 + frame.tail.size() + 64;
}

// Slice j of a page cut at ends, in UTF-8: the first holds the page's head,
// the last its tail.
std::string RenderLineSlice(std::string_view part, TPartEdges edges,
                            const std::vector<size_t>& ends, size_t j) {
    const TPageFrame& frame = ClassicPageFrame();
    std::string buffer;
    if (j == 0) {
        buffer.append(frame.head);
        OpenPageBody(buffer);
    }
    AppendPageBodySlice(buffer, part, j == 0 ? 0 : ends[j - 1], ends[j], edges);
    if (j + 1 == ends.size()) {
        ClosePageBody(buffer);
        buffer.append(frame.tail);
    }
    TAnsiToUtf8Converter converter;
    std::string out;
    out.reserve(buffer.size() / 2 * 3 + 16);
    converter.Append(out, buffer, false);
    converter.Append(out, {}, true);
    return out;
}

}  // namespace

std::string RenderPage(std::string_view part, TPartEdges edges, size_t sliceSize,
                       const std::function<void(size_t done)>& afterSlice) {
    const TPageFrame& frame = ClassicPageFrame();
    TAnsiToUtf8Converter converter;
    std::string page;
    page.reserve(PageRoom(part));
    std::string buffer(frame.head);
    OpenPageBody(buffer);
    size_t start = 0;
    while (part.size() - start > sliceSize) {
        const size_t end = PageSliceEnd(part, start, sliceSize);
        AppendPageBodySlice(buffer, part, start, end, edges);
        converter.Append(page, buffer, false);
        buffer.clear();
        start = end;
        afterSlice(start);
    }
    AppendPageBodySlice(buffer, part, start, part.size(), edges);
    ClosePageBody(buffer);
    buffer.append(frame.tail);
    converter.Append(page, buffer, false);
    converter.Append(page, {}, true);
    return page;
}

std::vector<size_t> LineSliceEnds(std::string_view part, size_t sliceSize) {
    std::vector<size_t> ends;
    size_t start = 0;
    const size_t step = sliceSize == 0 ? 1 : sliceSize;
    while (part.size() - start > step) {
        // A break at the part's first byte may be the LF of a pair cut
        // between parts, which is text: never cut there.
        size_t at = part.find_first_of("\r\n", start + step - 1 > 0 ? start + step - 1 : 1);
        if (at == std::string_view::npos) break;
        if (part[at] == '\r' && at + 1 < part.size() && part[at + 1] == '\n') ++at;
        // A CR that ends the part may be the first half of a cut pair.
        if (at + 1 >= part.size()) break;
        ends.push_back(at + 1);
        start = at + 1;
    }
    ends.push_back(part.size());
    return ends;
}

std::string RenderPageOnWorkers(std::string_view part, TPartEdges edges, size_t sliceSize,
                                int threads, const std::function<void(size_t done)>& joined) {
    const std::vector<size_t> ends = LineSliceEnds(part, sliceSize);
    std::vector<std::string> slices(ends.size());
    std::string page;
    page.reserve(PageRoom(part));
    RenderInOrder(
        ends.size(), threads, [&](size_t j) { slices[j] = RenderLineSlice(part, edges, ends, j); },
        [&](size_t j) {
            page.append(slices[j]);
            std::string().swap(slices[j]);
            joined(ends[j]);
        });
    return page;
}

}  // namespace qm
