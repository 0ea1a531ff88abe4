#pragma once
// Archive records read and written field by field, in order, through a
// cursor that knows where the bytes end: no field is found by its offset,
// and a record cut short reads as zeros with the cursor marked failed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "zip/LittleEndian.h"

namespace qm {

class TReadCursor {
  public:
    TReadCursor(const unsigned char* data, size_t size) : data_(data), size_(size) {}

    uint16_t U16() { return Take(2) ? le::Get16(data_ + at_ - 2) : 0; }
    uint32_t U32() { return Take(4) ? le::Get32(data_ + at_ - 4) : 0; }
    uint64_t U64() { return Take(8) ? le::Get64(data_ + at_ - 8) : 0; }
    int64_t I64() { return static_cast<int64_t>(U64()); }
    void Skip(size_t count) { Take(count); }

    size_t Remaining() const { return size_ - at_; }
    // False once a read went past the end.
    bool Ok() const { return ok_; }

  private:
    bool Take(size_t count) {
        if (!ok_ || count > size_ - at_) {
            ok_ = false;
            at_ = size_;
            return false;
        }
        at_ += count;
        return true;
    }

    const unsigned char* data_;
    size_t size_;
    size_t at_ = 0;
    bool ok_ = true;
};

class TWriteCursor {
  public:
    explicit TWriteCursor(std::string& out) : out_(out) {}

    TWriteCursor& U16(uint16_t value) {
        le::Put16(out_, value);
        return *this;
    }
    TWriteCursor& U32(uint32_t value) {
        le::Put32(out_, value);
        return *this;
    }
    TWriteCursor& U64(uint64_t value) {
        le::Put64(out_, value);
        return *this;
    }
    TWriteCursor& I64(int64_t value) { return U64(static_cast<uint64_t>(value)); }
    TWriteCursor& Bytes(std::string_view bytes) {
        out_.append(bytes);
        return *this;
    }

  private:
    std::string& out_;
};

// One block of an extra field: its tag, the body size it announces, and the
// bytes of the body that lie inside the field (fewer than announced when the
// field is cut short).
struct TExtraBlock {
    uint16_t tag = 0;
    uint16_t size = 0;
    const unsigned char* body = nullptr;
    size_t available = 0;
    size_t offset = 0;  // of the block's tag within the field
    bool Whole() const { return available == size; }
};

// Hands each block of an extra field to visit, in order, while visit returns
// true. The walk never leaves the field; it ends where fewer than the four
// bytes of a block's tag and size remain.
template <typename Visit>
void ForEachExtraBlock(const unsigned char* field, size_t size, Visit&& visit) {
    size_t at = 0;
    while (at + 4 <= size) {
        TReadCursor head(field + at, 4);
        TExtraBlock block;
        block.tag = head.U16();
        block.size = head.U16();
        block.body = field + at + 4;
        block.available = std::min<size_t>(block.size, size - at - 4);
        block.offset = at;
        if (!visit(block)) return;
        at += 4 + static_cast<size_t>(block.size);
    }
}

}  // namespace qm
