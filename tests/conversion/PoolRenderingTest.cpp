#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "conversion/run/PoolRendering.h"

namespace qm {
namespace {

// Pieces are taken in order whatever thread renders them; a failure is
// raised at its piece, after the pieces before it were taken.
TEST(PoolRendering, TakesPiecesInOrderAndRaisesAFailureAtItsPiece) {
    for (const int threads : {0, 1, 3}) {
        for (const size_t count : {size_t{0}, size_t{1}, size_t{40}}) {
            std::vector<int> rendered(count, -1);
            std::vector<size_t> taken;
            RenderInOrder(
                count, threads, [&](size_t k) { rendered[k] = static_cast<int>(k * k); },
                [&](size_t k) {
                    EXPECT_EQ(rendered[k], static_cast<int>(k * k));
                    taken.push_back(k);
                });
            ASSERT_EQ(taken.size(), count);
            for (size_t k = 0; k < count; ++k) EXPECT_EQ(taken[k], k);
        }
        size_t takenBeforeFailure = 0;
        EXPECT_THROW(RenderInOrder(
                         20, threads,
                         [&](size_t k) {
                             if (k == 5) throw std::runtime_error("page 5");
                         },
                         [&](size_t) { ++takenBeforeFailure; }),
                     std::runtime_error);
        EXPECT_EQ(takenBeforeFailure, 5u) << threads;
    }
    EXPECT_TRUE(RendersOnCaller(1, 4));
    EXPECT_TRUE(RendersOnCaller(9, 1));
    EXPECT_FALSE(RendersOnCaller(9, 0));
}

}  // namespace
}  // namespace qm
