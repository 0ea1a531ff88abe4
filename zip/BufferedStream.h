#pragma once
// A stream that puts one buffer in front of another stream. The buffer
// serves either reading or writing; the stream's logical position accounts
// for what is pending in it. Transfers of a buffer's size or more go
// straight to the underlying stream.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileStream.h"

namespace qm {

class TBufferStream : public TStream {
public:
    static constexpr int kDefaultBufferSize = 8192;

    explicit TBufferStream(std::unique_ptr<TStream> inner, int bufferSize = kDefaultBufferSize);
    // Writes pending bytes out; errors cannot be reported here, so callers
    // that must know call Flush first.
    ~TBufferStream() override;
    TBufferStream(const TBufferStream&) = delete;
    TBufferStream& operator=(const TBufferStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    // Returns fewer than count when the underlying stream refused bytes.
    int64_t Write(const void* buffer, int64_t count) override;
    // A seek elsewhere writes pending bytes out (Exception "Stream seek
    // error" when that comes up short) and drops the buffer. soEnd counts
    // from the size, pending bytes included. An unknown
    // origin raises Exception naming it. Returns -1 when the underlying
    // stream cannot go there.
    int64_t Seek(int64_t offset, int origin) override;
    int64_t Size() override;

    // Writes pending bytes out; EWriteError "Stream write error" when the
    // underlying stream takes fewer.
    void Flush();
    TStream& Inner() { return *inner_; }

protected:
    // Writes out what is pending; returns false on a short write (what was
    // not written stays pending).
    bool WritePending();

private:
    enum class Mode { Idle, Reading, Writing };
    void DropBuffer();
    int64_t LogicalPosition() const;

    std::unique_ptr<TStream> inner_;
    std::vector<unsigned char> buffer_;
    Mode mode_ = Mode::Idle;
    int64_t innerPos_ = 0;  // position of the underlying stream
    int64_t fill_ = 0;      // bytes in the buffer (read) or pending (write)
    int64_t cursor_ = 0;    // next byte to hand out when reading
};

class TBufferedFileStream : public TBufferStream {
public:
    // Opens as TFileStream does (EFCreateError / EFOpenError).
    TBufferedFileStream(const std::string& fileName, uint16_t mode,
                        int bufferSize = kDefaultBufferSize);
    // Writes pending bytes and, with FlushFilesOnClose, asks the operating
    // system to put a written file on disk.
    ~TBufferedFileStream() override;

    int64_t Write(const void* buffer, int64_t count) override;

    void SetFlushFilesOnClose(bool value) { flushOnClose_ = value; }
    bool FlushFilesOnClose() const { return flushOnClose_; }
    TFileStream& File() { return *file_; }
    int Handle() const { return file_->Handle(); }
    const std::string& FileName() const { return file_->FileName(); }

private:
    TFileStream* file_;  // owned by the base as its inner stream
    bool flushOnClose_ = false;
    bool written_ = false;
};

}  // namespace qm
