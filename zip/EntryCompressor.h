#pragma once
// Moves one source's bytes into the archive, stored or as raw deflate, with
// the CRC computed on the way. Progress, message pumping, cancel and pause
// belong to the caller and are reached through TEntryHooks.
#include <cstdint>

#include "platform/FileStream.h"
#include "zip/Crc32.h"

namespace qm {

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

    // Copies the source unchanged; returns the bytes written.
    int64_t Store();
    // Writes the source as a raw deflate stream at the level; returns the
    // bytes written. EZCompressionError "error" when zlib fails.
    int64_t Deflate(int level);

    // The finished CRC-32 and the bytes read from the source.
    uint32_t Crc32() const { return crc_ ^ 0xFFFFFFFF; }
    int64_t BytesRead() const { return bytesRead_; }

  private:
    int64_t ReadSource(void* buffer, int64_t count);
    // ENotEnoughRoom "Not enough room to write archive" on a short write.
    void WriteArchive(const void* buffer, int64_t count);

    TStream& source_;
    TStream& archive_;
    TEntryHooks& hooks_;
    uint32_t crc_ = kCrcPreset;
    int64_t bytesRead_ = 0;
};

}  // namespace qm
