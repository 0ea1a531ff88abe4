#include "conversion/run/PoolRendering.h"

#include <future>
#include <vector>

#include "zip/WorkerPool.h"

namespace qm {

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
    std::vector<std::future<void>> done;
    done.reserve(count);
    TWorkerPool pool(threads);  // goes first: no worker outlives the pieces
    for (size_t k = 0; k < count; ++k) done.push_back(pool.Run([&render, k] { render(k); }));
    for (size_t k = 0; k < count; ++k) {
        // A piece that failed fails the book.
        done[k].get();
        taken(k);
    }
}

}  // namespace qm
