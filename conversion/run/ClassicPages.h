#pragma once
// The classic book's pages in UTF-8. A page is rendered slice by slice on
// the calling thread, or, for one long part, its slices are rendered on
// workers and joined in order; the page is the same either way.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/layout/PageText.h"

namespace qm {

// One page in UTF-8, its body escaped and converted slice by slice
// (PageSliceEnd); afterSlice is told how many bytes of the part are done
// after each slice but the last.
std::string RenderPage(std::string_view part, TPartEdges edges, size_t sliceSize,
                       const std::function<void(size_t done)>& afterSlice);

// Where a part can be cut into slices rendered apart from each other: just
// after a line break, at least sliceSize bytes on. There a paragraph has
// just been opened and no character is half converted, so the slices'
// UTF-8 joined is the page. The ends in order, the last one the part's end;
// a part without such breaks is one slice.
std::vector<size_t> LineSliceEnds(std::string_view part, size_t sliceSize);

// The page of one part, its line slices (LineSliceEnds) rendered by
// `threads` workers (0: one per core) and joined in order on the calling
// thread, which is told the part's bytes done after each slice joined.
// What a slice or joined raises is raised here (RenderInOrder).
std::string RenderPageOnWorkers(std::string_view part, TPartEdges edges, size_t sliceSize,
                                int threads, const std::function<void(size_t done)>& joined);

}  // namespace qm
