#pragma once
// A stream over a growable byte string, for building records in memory and
// for reading them back.
#include <cstdint>
#include <string>

#include "platform/FileStream.h"

namespace qm {

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}

    int64_t Read(void* buffer, int64_t count) override;
    // Writing past the end first fills the gap with zeros.
    int64_t Write(const void* buffer, int64_t count) override;
    // Any position from 0 on is accepted; a negative one or an unknown
    // origin gives -1 and leaves the position alone.
    int64_t Seek(int64_t offset, int origin) override;
    int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }

    const std::string& Bytes() const { return bytes_; }
    std::string& Bytes() { return bytes_; }

private:
    std::string bytes_;
    int64_t position_ = 0;
};

}  // namespace qm
