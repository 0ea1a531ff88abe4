#include "zip/BufferedStream.h"

#include <algorithm>
#include <cstring>

#include "platform/Exceptions.h"
#include "platform/Format.h"

namespace qm {

TBufferStream::TBufferStream(std::unique_ptr<TStream> inner, int bufferSize)
    : inner_(std::move(inner)), buffer_(static_cast<size_t>(std::max(bufferSize, 1))) {
    innerPos_ = std::max<int64_t>(0, inner_->Seek(0, soCurrent));
}

TBufferStream::~TBufferStream() {
    try {
        WritePending();
    } catch (...) {
        // Nothing can be reported from here; Flush is the checked path.
    }
}

int64_t TBufferStream::LogicalPosition() const {
    switch (mode_) {
        case Mode::Reading:
            return innerPos_ - fill_ + cursor_;
        case Mode::Writing:
            return innerPos_ + fill_;
        case Mode::Idle:
            break;
    }
    return innerPos_;
}

void TBufferStream::DropBuffer() {
    mode_ = Mode::Idle;
    fill_ = 0;
    cursor_ = 0;
}

bool TBufferStream::WritePending() {
    if (mode_ != Mode::Writing || fill_ == 0) {
        if (mode_ == Mode::Writing) DropBuffer();
        return true;
    }
    const int64_t written = std::max<int64_t>(0, inner_->Write(buffer_.data(), fill_));
    innerPos_ += written;
    if (written < fill_) {
        // Keep what was refused pending, in front of the buffer.
        std::memmove(buffer_.data(), buffer_.data() + written,
                     static_cast<size_t>(fill_ - written));
        fill_ -= written;
        return false;
    }
    DropBuffer();
    return true;
}

void TBufferStream::Flush() {
    if (!WritePending()) throw EWriteError(kStreamWriteError);
}

int64_t TBufferStream::Read(void* buffer, int64_t count) {
    if (count <= 0) return 0;
    if (mode_ == Mode::Writing) Flush();
    auto* out = static_cast<unsigned char*>(buffer);
    int64_t done = 0;
    if (mode_ == Mode::Reading) {
        done = std::min(count, fill_ - cursor_);
        std::memcpy(out, buffer_.data() + cursor_, static_cast<size_t>(done));
        cursor_ += done;
        if (done == count) return done;
    }
    const int64_t size = static_cast<int64_t>(buffer_.size());
    const int64_t remaining = count - done;
    if (remaining >= size) {
        DropBuffer();
        const int64_t got = std::max<int64_t>(0, inner_->Read(out + done, remaining));
        innerPos_ += got;
        return done + got;
    }
    const int64_t got = std::max<int64_t>(0, inner_->Read(buffer_.data(), size));
    innerPos_ += got;
    mode_ = Mode::Reading;
    fill_ = got;
    cursor_ = std::min(remaining, got);
    std::memcpy(out + done, buffer_.data(), static_cast<size_t>(cursor_));
    return done + cursor_;
}

int64_t TBufferStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    if (mode_ == Mode::Reading) {
        const int64_t logical = LogicalPosition();
        DropBuffer();
        if (logical != innerPos_) {
            const int64_t at = inner_->Seek(logical, soBeginning);
            if (at < 0) return 0;
            innerPos_ = at;
        }
    }
    const auto* in = static_cast<const unsigned char*>(buffer);
    const int64_t size = static_cast<int64_t>(buffer_.size());
    if (fill_ + count > size) {
        if (!WritePending()) return 0;
        if (count >= size) {
            const int64_t written = std::max<int64_t>(0, inner_->Write(in, count));
            innerPos_ += written;
            return written;
        }
    }
    std::memcpy(buffer_.data() + fill_, in, static_cast<size_t>(count));
    fill_ += count;
    mode_ = Mode::Writing;
    return count;
}

int64_t TBufferStream::Seek(int64_t offset, int origin) {
    const int64_t logical = LogicalPosition();
    int64_t target = 0;
    // Size() counts pending bytes as written. A position past the end that
    // nothing was written to does not move the end.
    const int64_t size = origin == soEnd ? Size() : 0;
    if (!ResolveSeekTarget(offset, origin, logical, size, target)) {
        throw Exception(Format("Invalid stream seek origin %d", origin));
    }
    if (target == logical) return logical;
    if (target < 0) return -1;
    // Inside the bytes already read: only the cursor moves, which reads
    // the same bytes a fresh fill would.
    if (mode_ == Mode::Reading && target >= innerPos_ - fill_ && target <= innerPos_) {
        cursor_ = target - (innerPos_ - fill_);
        return target;
    }
    if (!WritePending()) throw Exception("Stream seek error: pending bytes could not be written");
    DropBuffer();
    const int64_t at = inner_->Seek(target, soBeginning);
    if (at < 0) {
        innerPos_ = std::max<int64_t>(0, inner_->Seek(0, soCurrent));
        return -1;
    }
    innerPos_ = at;
    return at;
}

int64_t TBufferStream::Size() {
    const int64_t innerSize = inner_->Size();
    return mode_ == Mode::Writing ? std::max(innerSize, innerPos_ + fill_) : innerSize;
}

namespace {
std::unique_ptr<TStream> OpenFile(const std::string& fileName, uint16_t mode) {
    return std::make_unique<TFileStream>(fileName, mode);
}
}  // namespace

TBufferedFileStream::TBufferedFileStream(const std::string& fileName, uint16_t mode, int bufferSize)
    : TBufferStream(OpenFile(fileName, mode), bufferSize),
      file_(static_cast<TFileStream*>(&Inner())) {}

TBufferedFileStream::~TBufferedFileStream() {
    const bool complete = WritePending();
    if (complete && flushOnClose_ && written_ && file_->Writable()) file_->FlushToDisk();
}

int64_t TBufferedFileStream::Write(const void* buffer, int64_t count) {
    const int64_t written = TBufferStream::Write(buffer, count);
    if (written > 0) written_ = true;
    return written;
}

}  // namespace qm
