#include "zip/EntryCompressor.h"

#include <zlib.h>

#include <cstdlib>
#include <memory>

#include "zip/ZipExceptions.h"

namespace qm {
namespace {

voidpf HeapAlloc(voidpf, uInt items, uInt size) {
    return std::calloc(items, size);
}
void HeapFree(voidpf, voidpf address) {
    std::free(address);
}

// Ends the z_stream on every path once deflateInit2 succeeded.
class DeflateStream {
  public:
    DeflateStream() {
        stream_.zalloc = HeapAlloc;
        stream_.zfree = HeapFree;
        stream_.opaque = nullptr;
    }
    ~DeflateStream() {
        if (initialised_) deflateEnd(&stream_);
    }
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;

    z_stream& Get() { return stream_; }
    void Init(int level) {
        if (deflateInit2(&stream_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) < 0) {
            throw EZCompressionError(kCompressionErrorText);
        }
        initialised_ = true;
    }
    void End() {
        initialised_ = false;
        if (deflateEnd(&stream_) < 0) throw EZCompressionError(kCompressionErrorText);
    }

  private:
    z_stream stream_{};
    bool initialised_ = false;
};

}  // namespace

int64_t TEntryCompressor::ReadSource(void* buffer, int64_t count) {
    const int64_t got = source_.Read(buffer, count);
    if (got <= 0) return 0;
    bytesRead_ += got;
    hooks_.SourceRead(got);
    crc_ = UpdateCrc32(crc_, buffer, static_cast<size_t>(got));
    return got;
}

void TEntryCompressor::WriteArchive(const void* buffer, int64_t count) {
    if (archive_.Write(buffer, count) < count) throw ENotEnoughRoom(kNotEnoughRoomText);
    hooks_.BlockWritten();
}

int64_t TEntryCompressor::Store() {
    const auto buffer = std::make_unique<unsigned char[]>(kStoreBufferSize);
    int64_t written = 0;
    while (true) {
        const int64_t got = ReadSource(buffer.get(), kStoreBufferSize);
        if (got <= 0) break;
        WriteArchive(buffer.get(), got);
        written += got;
    }
    return written;
}

int64_t TEntryCompressor::Deflate(int level) {
    const auto input = std::make_unique<unsigned char[]>(kDeflateBufferSize);
    const auto output = std::make_unique<unsigned char[]>(kDeflateBufferSize);
    DeflateStream deflater;
    z_stream& z = deflater.Get();
    z.next_in = input.get();
    z.avail_in = static_cast<uInt>(ReadSource(input.get(), kDeflateBufferSize));
    z.next_out = output.get();
    z.avail_out = kDeflateBufferSize;
    deflater.Init(level);

    int64_t written = 0;
    int flush = Z_NO_FLUSH;
    int status = Z_OK;
    do {
        if (z.avail_in == 0 && flush == Z_NO_FLUSH) {
            z.avail_in = static_cast<uInt>(ReadSource(input.get(), kDeflateBufferSize));
            z.next_in = input.get();
            if (z.avail_in == 0) flush = Z_FINISH;
        }
        status = deflate(&z, flush);
        if (status < 0) throw EZCompressionError(kCompressionErrorText);
        if (z.avail_out == 0 || flush == Z_FINISH) {
            const int64_t produced = kDeflateBufferSize - z.avail_out;
            if (produced > 0) {
                WriteArchive(output.get(), produced);
                written += produced;
            }
            z.next_out = output.get();
            z.avail_out = kDeflateBufferSize;
        }
    } while (status != Z_STREAM_END);
    deflater.End();
    return written;
}

}  // namespace qm
