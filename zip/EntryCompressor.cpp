#include "zip/EntryCompressor.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
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

// zlib's deflate loop: read fills the input buffer and returns the count (0
// at the end), write takes each full (or final) output buffer. The streaming
// path and the in-memory path both run it, so their bytes agree.
template <typename Read, typename Write>
void RunDeflate(int level, Read&& read, Write&& write) {
    constexpr int kSize = TEntryCompressor::kDeflateBufferSize;
    const auto input = std::make_unique<unsigned char[]>(kSize);
    const auto output = std::make_unique<unsigned char[]>(kSize);
    DeflateStream deflater;
    z_stream& z = deflater.Get();
    z.next_in = input.get();
    z.avail_in = static_cast<uInt>(read(input.get(), kSize));
    z.next_out = output.get();
    z.avail_out = kSize;
    deflater.Init(level);

    int flush = Z_NO_FLUSH;
    int status = Z_OK;
    do {
        if (z.avail_in == 0 && flush == Z_NO_FLUSH) {
            z.avail_in = static_cast<uInt>(read(input.get(), kSize));
            z.next_in = input.get();
            if (z.avail_in == 0) flush = Z_FINISH;
        }
        status = deflate(&z, flush);
        if (status < 0) throw EZCompressionError(kCompressionErrorText);
        if (z.avail_out == 0 || flush == Z_FINISH) {
            const int64_t produced = kSize - z.avail_out;
            if (produced > 0) write(output.get(), produced);
            z.next_out = output.get();
            z.avail_out = kSize;
        }
    } while (status != Z_STREAM_END);
    deflater.End();
}

// One libdeflate compressor per worker thread, kept for the next entry at
// the same level (allocating one costs more than deflating a small page).
libdeflate_compressor* WholeBufferCompressor(int level) {
    struct Cached {
        libdeflate_compressor* compressor = nullptr;
        int level = 0;
        ~Cached() { libdeflate_free_compressor(compressor); }
    };
    thread_local Cached cached;
    if (!cached.compressor || cached.level != level) {
        libdeflate_free_compressor(cached.compressor);
        cached.compressor = libdeflate_alloc_compressor(level);
        cached.level = level;
        if (!cached.compressor) throw EZCompressionError(kCompressionErrorText);
    }
    return cached.compressor;
}

constexpr size_t kLargeSource = size_t{16} << 20;

}  // namespace

void TEntryCompressor::Resume(std::string_view readAlready, uint32_t crc) {
    readAlready_ = readAlready;
    crc_ = crc;
    bytesRead_ = static_cast<int64_t>(readAlready.size());
}

int64_t TEntryCompressor::ReadSource(void* buffer, int64_t count) {
    if (!readAlready_.empty()) {
        const size_t take = std::min(readAlready_.size(), static_cast<size_t>(count));
        std::memcpy(buffer, readAlready_.data(), take);
        readAlready_.remove_prefix(take);
        return static_cast<int64_t>(take);
    }
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
    int64_t written = 0;
    RunDeflate(
        level, [this](unsigned char* buffer, int64_t count) { return ReadSource(buffer, count); },
        [&](const unsigned char* buffer, int64_t count) {
            WriteArchive(buffer, count);
            written += count;
        });
    return written;
}

std::string TEntryCompressor::DeflateBuffer(std::string_view input, int level,
                                            bool smallAsStreamed) {
    std::string out;
    if (smallAsStreamed && static_cast<int64_t>(input.size()) < kWholeBufferMin) {
        size_t next = 0;
        RunDeflate(
            level,
            [&](unsigned char* buffer, int64_t count) {
                const size_t take = std::min(input.size() - next, static_cast<size_t>(count));
                std::memcpy(buffer, input.data() + next, take);
                next += take;
                return static_cast<int64_t>(take);
            },
            [&](const unsigned char* buffer, int64_t count) {
                out.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(count));
            });
        return out;
    }
    // The levels zlib takes, with its default (-1) as 6; libdeflate would
    // also take 10 to 12, which zlib refuses.
    if (level < -1 || level > 9) throw EZCompressionError(kCompressionErrorText);
    libdeflate_compressor* compressor = WholeBufferCompressor(level < 0 ? 6 : level);
    // A large source first gets room for three quarters of its size (text
    // deflates to about half), so that it and its output stay within twice
    // its size in memory; only what does not fit is deflated again with room
    // for the worst case.
    size_t size = 0;
    if (input.size() >= kLargeSource) {
        out.resize(input.size() / 4 * 3);
        size = libdeflate_deflate_compress(compressor, input.data(), input.size(), out.data(),
                                           out.size());
    }
    if (size == 0) {
        out.resize(libdeflate_deflate_compress_bound(compressor, input.size()));
        size = libdeflate_deflate_compress(compressor, input.data(), input.size(), out.data(),
                                           out.size());
    }
    if (size == 0) throw EZCompressionError(kCompressionErrorText);
    out.resize(size);
    return out;
}

}  // namespace qm
