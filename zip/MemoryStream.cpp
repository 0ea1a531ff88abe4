#include "zip/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace qm {

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    const int64_t size = Size();
    if (count <= 0 || position_ >= size) return 0;
    const int64_t n = std::min(count, size - position_);
    std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const size_t end = static_cast<size_t>(position_ + count);
    if (bytes_.size() < end) bytes_.resize(end, '\0');
    std::memcpy(bytes_.data() + position_, buffer, static_cast<size_t>(count));
    position_ += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, int origin) {
    int64_t target = 0;
    if (!ResolveSeekTarget(offset, origin, position_, Size(), target) || target < 0) return -1;
    position_ = target;
    return position_;
}

}  // namespace qm
