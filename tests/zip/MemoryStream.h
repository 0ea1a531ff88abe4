#pragma once
// A stream over a growable byte string, for building records in memory and
// reading them back in the tests.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/FileStream.h"

namespace qm {

class TMemoryStream : public TStream {
  public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}

    int64_t Read(void* buffer, int64_t count) override {
        const int64_t size = Size();
        if (count <= 0 || position_ >= size) return 0;
        const int64_t n = std::min(count, size - position_);
        std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(n));
        position_ += n;
        return n;
    }
    // Writing past the end first fills the gap with zeros.
    int64_t Write(const void* buffer, int64_t count) override {
        if (count <= 0) return 0;
        const size_t end = static_cast<size_t>(position_ + count);
        if (bytes_.size() < end) bytes_.resize(end, '\0');
        std::memcpy(bytes_.data() + position_, buffer, static_cast<size_t>(count));
        position_ += count;
        return count;
    }
    // Any position from 0 on is accepted; a negative one or an unknown
    // origin gives -1 and leaves the position alone.
    int64_t Seek(int64_t offset, int origin) override {
        int64_t target = 0;
        if (!ResolveSeekTarget(offset, origin, position_, Size(), target) || target < 0) return -1;
        position_ = target;
        return position_;
    }
    int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }

    const std::string& Bytes() const { return bytes_; }
    std::string& Bytes() { return bytes_; }

  private:
    std::string bytes_;
    int64_t position_ = 0;
};

}  // namespace qm
