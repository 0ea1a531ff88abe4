#pragma once
// Finding the blocks of a raw deflate stream without inflating it: the
// headers and codes are read, the data they stand for is not made. A
// stream deflated in pieces needs only where its last block starts, and
// reading the codes costs a fraction of inflating them.
#include <cstdint>
#include <optional>
#include <string_view>

namespace qm {

// In bits from the stream's start: where its final block (the one marked
// last) starts, and where it ends.
struct TFinalBlock {
    uint64_t start = 0;
    uint64_t end = 0;
};

// The final block of a complete raw deflate stream; nothing when the
// stream is malformed or ends before its final block does.
std::optional<TFinalBlock> FindFinalBlock(std::string_view stream);

}  // namespace qm
