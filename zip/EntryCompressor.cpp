#include "zip/EntryCompressor.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "zip/DeflateBlocks.h"
#include "zip/ZipExceptions.h"

namespace qm {
namespace {

voidpf HeapAlloc(voidpf, uInt items, uInt size) {
    return std::calloc(items, size);
}
void HeapFree(voidpf, voidpf address) {
    std::free(address);
}

// A z_stream with its buffers, kept by each thread for its next entry:
// deflateReset gives the same bytes as a fresh deflateInit2 without
// allocating and clearing a quarter of a megabyte per entry, which a tree of
// small files felt.
class DeflateState {
  public:
    static constexpr int kSize = TEntryCompressor::kDeflateBufferSize;

    DeflateState() : input(new unsigned char[kSize]), output(new unsigned char[kSize]) {
        stream_.zalloc = HeapAlloc;
        stream_.zfree = HeapFree;
        stream_.opaque = nullptr;
    }
    ~DeflateState() {
        if (level_ != kNone) deflateEnd(&stream_);
    }
    DeflateState(const DeflateState&) = delete;
    DeflateState& operator=(const DeflateState&) = delete;

    // The stream ready for a new entry at the level.
    z_stream& Start(int level) {
        if (level_ == level) {
            if (deflateReset(&stream_) == Z_OK) return stream_;
        }
        if (level_ != kNone) deflateEnd(&stream_);
        level_ = kNone;
        if (deflateInit2(&stream_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) < 0) {
            throw EZCompressionError(kCompressionErrorText);
        }
        level_ = level;
        return stream_;
    }

    const std::unique_ptr<unsigned char[]> input, output;
    bool busy = false;

  private:
    static constexpr int kNone = -100;
    z_stream stream_{};
    int level_ = kNone;
};

// The calling thread's state, or a fresh one when it is already in use (an
// entry deflated from inside another's callbacks).
class ThreadDeflateState {
  public:
    ThreadDeflateState() {
        thread_local DeflateState shared;
        if (shared.busy) {
            own_ = std::make_unique<DeflateState>();
            state_ = own_.get();
        } else {
            state_ = &shared;
        }
        state_->busy = true;
    }
    ~ThreadDeflateState() { state_->busy = false; }
    ThreadDeflateState(const ThreadDeflateState&) = delete;
    ThreadDeflateState& operator=(const ThreadDeflateState&) = delete;
    DeflateState* operator->() { return state_; }

  private:
    std::unique_ptr<DeflateState> own_;
    DeflateState* state_ = nullptr;
};

// zlib's deflate loop: read fills the input buffer and returns the count (0
// at the end), write takes each full (or final) output buffer. The streaming
// path and the in-memory path both run it, so their bytes agree.
template <typename Read, typename Write>
void RunDeflate(int level, Read&& read, Write&& write) {
    constexpr int kSize = DeflateState::kSize;
    ThreadDeflateState state;
    unsigned char* const input = state->input.get();
    unsigned char* const output = state->output.get();
    const uInt first = static_cast<uInt>(read(input, kSize));
    z_stream& z = state->Start(level);
    z.next_in = input;
    z.avail_in = first;
    z.next_out = output;
    z.avail_out = kSize;

    int flush = Z_NO_FLUSH;
    int status = Z_OK;
    do {
        if (z.avail_in == 0 && flush == Z_NO_FLUSH) {
            z.avail_in = static_cast<uInt>(read(input, kSize));
            z.next_in = input;
            if (z.avail_in == 0) flush = Z_FINISH;
        }
        status = deflate(&z, flush);
        if (status < 0) throw EZCompressionError(kCompressionErrorText);
        if (z.avail_out == 0 || flush == Z_FINISH) {
            const int64_t produced = kSize - z.avail_out;
            if (produced > 0) write(output, produced);
            z.next_out = output;
            z.avail_out = kSize;
        }
    } while (status != Z_STREAM_END);
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

// Makes a complete raw deflate stream one that goes on: its last block
// loses the final mark, and an empty stored block brings it to a byte
// boundary (zlib's sync flush), so another stream can follow it.
void MakeNonFinal(std::string& stream) {
    const std::optional<TFinalBlock> final = FindFinalBlock(stream);
    if (!final || (final->end + 7) / 8 != stream.size())
        throw EZCompressionError(kCompressionErrorText);
    const uint64_t lastBlock = final->start, end = final->end;
    stream[lastBlock / 8] = static_cast<char>(stream[lastBlock / 8] & ~(1 << (lastBlock % 8)));
    // The stored block's three header bits go into the last byte's unused
    // (high) bits when they fit, else into a byte of their own.
    const uint64_t unused = stream.size() * 8 - end;
    if (unused >= 3) {
        stream.back() = static_cast<char>(stream.back() & ((1 << (8 - unused)) - 1));
    } else {
        stream.push_back('\0');
    }
    stream.append("\x00\x00\xFF\xFF", 4);
}

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

std::string TEntryCompressor::DeflatePiece(std::string_view input, int level, bool last) {
    std::string out = DeflateBuffer(input, level, false);
    if (!last) MakeNonFinal(out);
    return out;
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
    // What is held until the writer takes it: the deflated size, not the
    // room it was made in.
    out.shrink_to_fit();
    return out;
}

}  // namespace qm
