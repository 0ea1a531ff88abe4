#include "conversion/run/PoolRendering.h"

#include <future>
#include <vector>

#include "zip/WorkerPool.h"

namespace qm {
namespace {

constexpr size_t kPiecesAheadPerWorker = 4;

}  // namespace

bool RendersOnCaller(size_t count, int threads) {
    return threads == 1 || count < 2;
}

void RenderInOrder(size_t count, int threads, const std::function<void(size_t)>& render,
                   const std::function<void(size_t)>& taken) {
    if (RendersOnCaller(count, threads)) {
        for (size_t k = 0; k < count; ++k) {
            render(k);
            taken(k);
        }
        return;
    }
    std::vector<std::future<void>> done(count);
    TWorkerPool pool(threads);  // goes first: no worker outlives the pieces
    // Only so many pieces ahead of the one taken, so that finished pieces
    // waiting for their turn stay few, and so does their memory.
    const size_t ahead = static_cast<size_t>(pool.Threads()) * kPiecesAheadPerWorker;
    size_t submitted = 0;
    for (size_t k = 0; k < count; ++k) {
        for (; submitted < count && submitted < k + ahead; ++submitted) {
            done[submitted] = pool.Run([&render, submitted] { render(submitted); });
        }
        // A piece that failed fails the book.
        done[k].get();
        taken(k);
    }
}

}  // namespace qm
