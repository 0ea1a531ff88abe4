#pragma once
// Rendering a book's pieces on the worker pool, one loop for both kinds:
// the classic kind's pages and the EPUB 3 kind's batches of sections.
// Workers take the pieces in order; the calling thread takes each finished
// piece in order, so what it reports and packs never depends on timing.
#include <cstddef>
#include <functional>

namespace qm {

// True when the pieces are rendered on the calling thread itself: one
// thread asked for, or fewer than two pieces.
bool RendersOnCaller(size_t count, int threads);

// Runs render(i) for every piece i (on workers, `threads` of them, 0: one per
// core; or on the calling thread, see RendersOnCaller) and taken(i) on the
// calling thread, in order, once piece i is rendered. Workers run only a few
// pieces ahead of the one to be taken, so few finished pieces wait. What render or taken
// raises is raised from here once reached; pieces not yet started are then
// dropped and the running ones finished first.
void RenderInOrder(size_t count, int threads, const std::function<void(size_t)>& render,
                   const std::function<void(size_t)>& taken);

}  // namespace qm
