#pragma once
// Moves one source's bytes into the archive, stored or as raw deflate, with
// the CRC computed on the way; and deflates a whole source held in memory.
// Progress and cancel belong to the caller and are reached through
// TEntryHooks.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/FileStream.h"
#include "zip/Crc32.h"

namespace qm {

// Sources from kWholeBufferMin bytes up to kWholeBufferMax bytes are deflated
// by libdeflate in one call, about twice as fast as zlib at the same ratio.
// Smaller ones keep zlib, so their bytes are those of the streaming path
// (the mimetype's 22 bytes among them); larger ones stream through zlib
// without being held in memory. The bound lets a one-part book of over a
// hundred megabytes of pages (a 100 MB book gives about 150 MB) be
// deflated whole.
inline constexpr int64_t kWholeBufferMin = int64_t{64} << 10;
inline constexpr int64_t kWholeBufferMax = int64_t{256} << 20;
// A whole source from kSplitDeflateMin bytes up is deflated in pieces of
// kDeflatePiece bytes (the last one takes the rest), each on its own
// worker, and the pieces make one deflate stream: a one-part book is one
// large page, and one core alone would take it. The cut depends on the size
// only, so the bytes do not depend on the number of workers; each piece
// starts without the 32 KB history of the one before, which costs about a
// thousandth of the size (0.1 % on a 150 MB page; 0.5 % with 1 MB pieces).
inline constexpr int64_t kSplitDeflateMin = int64_t{8} << 20;
inline constexpr int64_t kDeflatePiece = int64_t{4} << 20;

class TEntryHooks {
  public:
    virtual ~TEntryHooks() = default;
    // Called after every read that delivered bytes, with their count.
    virtual void SourceRead(int64_t count) = 0;
    // Called after every block written to the archive.
    virtual void BlockWritten() = 0;
};

class TEntryCompressor {
  public:
    static constexpr int kStoreBufferSize = 32768;
    static constexpr int kDeflateBufferSize = 65535;

    TEntryCompressor(TStream& source, TStream& archive, TEntryHooks& hooks)
        : source_(source), archive_(archive), hooks_(hooks) {}

    // Continues an entry whose first bytes were already read (and counted,
    // and fed into the CRC register crc): they are compressed before the
    // rest of the source.
    void Resume(std::string_view readAlready, uint32_t crc);

    // Copies the source unchanged; returns the bytes written.
    int64_t Store();
    // Writes the source as a raw deflate stream at the level; returns the
    // bytes written. EZCompressionError "error" when zlib fails.
    int64_t Deflate(int level);

    // The finished CRC-32 and the bytes read from the source.
    uint32_t Crc32() const { return crc_ ^ 0xFFFFFFFF; }
    int64_t BytesRead() const { return bytesRead_; }

    // The raw deflate stream of a whole source at the level (1..9; -1 is
    // zlib's default). Below kWholeBufferMin, when smallAsStreamed, the
    // bytes are exactly those Deflate writes; otherwise libdeflate makes
    // them at any size. Safe on any thread. EZCompressionError "error" for
    // a level zlib refuses or a failure of either library.
    static std::string DeflateBuffer(std::string_view input, int level,
                                     bool smallAsStreamed = true);
    // One piece of a deflate stream made of pieces: libdeflate's stream of
    // the input, ended on a byte boundary without the final mark unless it
    // is the last piece. Pieces deflated alike and joined in order make one
    // valid stream. Safe on any thread.
    static std::string DeflatePiece(std::string_view input, int level, bool last);

  private:
    int64_t ReadSource(void* buffer, int64_t count);
    // ENotEnoughRoom "Not enough room to write archive" on a short write.
    void WriteArchive(const void* buffer, int64_t count);

    TStream& source_;
    TStream& archive_;
    TEntryHooks& hooks_;
    uint32_t crc_ = kCrcPreset;
    int64_t bytesRead_ = 0;
    std::string_view readAlready_;
};

}  // namespace qm
