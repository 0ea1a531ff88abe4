#include "zip/DataDescriptor.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "zip/Crc32.h"
#include "zip/RecordCursor.h"

namespace qm {

namespace {

constexpr int64_t kChunk = 65536;
// Signature, CRC and two 64-bit sizes, then the next record's signature.
constexpr int kLongestReading = 4 + 4 + 8 + 8 + 4;

bool ReadAt(TStream& in, int64_t at, unsigned char* out, int64_t count) {
    return in.Seek(at, soBeginning) == at && in.Read(out, count) == count;
}

bool IsRecordSignature(uint32_t signature) {
    return signature == kLocalHeaderSignature || signature == kCentralHeaderSignature ||
           signature == kEndRecordSignature || signature == kZip64EndRecordSignature;
}

// What the data in front of a descriptor holds, measured from the data.
struct TDataFacts {
    uint32_t crc32 = 0;
    int64_t compressedSize = 0;
    int64_t uncompressedSize = 0;
};

// One way of reading the bytes at a place as a descriptor.
struct TReading {
    TDataDescriptor descriptor;
    bool signature = false;
    bool recordFollows = false;  // another record, or the end of the file, right behind it
};

// The readings of the bytes at `at`: the preferred width first, each with
// its signature before without it.
std::vector<TReading> ReadingsAt(TStream& in, int64_t at, int64_t size, bool wideFirst) {
    unsigned char bytes[kLongestReading] = {};
    const int64_t got = std::min<int64_t>(kLongestReading, size - at);
    if (got < 12 || !ReadAt(in, at, bytes, got)) return {};
    std::vector<TReading> readings;
    for (const bool wide : {wideFirst, !wideFirst}) {
        for (const bool signature : {true, false}) {
            TReadCursor r(bytes, static_cast<size_t>(got));
            if (signature && r.U32() != kDataDescriptorSignature) continue;
            TReading reading;
            reading.signature = signature;
            reading.descriptor.crc32 = r.U32();
            const uint64_t compressed = wide ? r.U64() : r.U32();
            const uint64_t uncompressed = wide ? r.U64() : r.U32();
            constexpr uint64_t kLargest = std::numeric_limits<int64_t>::max();
            if (!r.Ok() || compressed > kLargest || uncompressed > kLargest) continue;
            reading.descriptor.compressedSize = static_cast<int64_t>(compressed);
            reading.descriptor.uncompressedSize = static_cast<int64_t>(uncompressed);
            const int length = static_cast<int>(got - static_cast<int64_t>(r.Remaining()));
            reading.descriptor.length = length;
            const uint32_t next = r.U32();
            reading.recordFollows = at + length == size || (r.Ok() && IsRecordSignature(next));
            readings.push_back(reading);
        }
    }
    return readings;
}

// The reading that agrees with the data of dataLength bytes: every value
// equal to the facts when they are known, else its compressed size equal to
// the length. One without a signature counts only with a record behind it;
// among those that agree, one with a record behind it wins.
bool Choose(const std::vector<TReading>& readings, int64_t dataLength, const TDataFacts* facts,
            TDataDescriptor& found) {
    const TReading* chosen = nullptr;
    for (const TReading& reading : readings) {
        const TDataDescriptor& d = reading.descriptor;
        const bool agrees = facts ? d.crc32 == facts->crc32 &&
                                        d.compressedSize == facts->compressedSize &&
                                        d.uncompressedSize == facts->uncompressedSize
                                  : d.compressedSize == dataLength;
        if (!agrees || (!reading.signature && !reading.recordFollows)) continue;
        if (!chosen || (reading.recordFollows && !chosen->recordFollows)) chosen = &reading;
    }
    if (!chosen) return false;
    found = chosen->descriptor;
    return true;
}

struct TInflateEnd {
    z_stream& stream;
    ~TInflateEnd() { inflateEnd(&stream); }
};

// Inflates raw deflate data from dataStart to the end of its stream; false
// when no whole stream lies within the file. Nothing inflated is kept.
bool InflateData(TStream& in, int64_t dataStart, int64_t size,
                 const std::function<void()>& progress, TDataFacts& facts) {
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
    const TInflateEnd end{z};
    std::vector<unsigned char> input(static_cast<size_t>(kChunk));
    std::vector<unsigned char> output(static_cast<size_t>(kChunk));
    int64_t next = dataStart;
    uint32_t crc = kCrcPreset;
    int64_t produced = 0;
    while (true) {
        if (z.avail_in == 0) {
            const int64_t want = std::min(kChunk, size - next);
            if (want <= 0 || !ReadAt(in, next, input.data(), want)) return false;
            z.next_in = input.data();
            z.avail_in = static_cast<uInt>(want);
            next += want;
            if (progress) progress();
        }
        z.next_out = output.data();
        z.avail_out = static_cast<uInt>(kChunk);
        const int status = inflate(&z, Z_NO_FLUSH);
        const size_t out = static_cast<size_t>(kChunk) - z.avail_out;
        crc = UpdateCrc32(crc, output.data(), out);
        produced += static_cast<int64_t>(out);
        if (status == Z_STREAM_END) {
            facts = {crc ^ 0xFFFFFFFF, next - z.avail_in - dataStart, produced};
            return true;
        }
        // Z_BUF_ERROR only asks for more input; anything else is bad data.
        if (status != Z_OK && !(status == Z_BUF_ERROR && z.avail_in == 0)) return false;
    }
}

// The CRC of stored data from its start up to a place that only moves
// forward, so that checking every place a descriptor may stand costs one
// pass over the data, however many places there are.
class TRunningCrc {
  public:
    TRunningCrc(TStream& in, int64_t dataStart, const std::function<void()>& progress)
        : in_(in), at_(dataStart), progress_(progress) {}

    // Moves up to place (never back); false when the file ends first.
    bool MoveTo(int64_t place) {
        if (place <= at_) return true;
        if (!Feed(at_, place, crc_)) return false;
        at_ = place;
        return true;
    }
    // The facts of the data when it ends at end (at or after the place).
    bool FactsAt(int64_t dataStart, int64_t end, TDataFacts& facts) {
        uint32_t crc = crc_;
        if (end < at_ || !Feed(at_, end, crc)) return false;
        facts = {crc ^ 0xFFFFFFFF, end - dataStart, end - dataStart};
        return true;
    }

  private:
    bool Feed(int64_t from, int64_t to, uint32_t& crc) {
        unsigned char chunk[8192];
        while (from < to) {
            const int64_t want = std::min<int64_t>(sizeof chunk, to - from);
            if (!ReadAt(in_, from, chunk, want)) return false;
            crc = UpdateCrc32(crc, chunk, static_cast<size_t>(want));
            from += want;
            fed_ += want;
            if (fed_ >= kChunk) {
                fed_ = 0;
                if (progress_) progress_();
            }
        }
        return true;
    }

    TStream& in_;
    int64_t at_;
    uint32_t crc_ = kCrcPreset;
    int64_t fed_ = 0;  // bytes since progress was last called
    const std::function<void()>& progress_;
};

// Data whose end the data does not tell: the descriptor is looked for at
// the local header's size when it gave one, else where a "PK" begins (the
// descriptor's signature, or the next record's behind a descriptor without
// one). Stored data is checked at each place; other data only by its size.
class TDescriptorScan {
  public:
    TDescriptorScan(TStream& in, const TZipHeaderInfo& entry, int64_t dataStart, int64_t size,
                    bool wideFirst, const std::function<void()>& progress)
        : in_(in),
          dataStart_(dataStart),
          size_(size),
          wideFirst_(wideFirst),
          progress_(progress),
          checkable_(entry.CompressionMethod == kMethodStored &&
                     (entry.GeneralPurposeFlags & kFlagEncrypted) == 0) {}

    bool AtSize(int64_t hint, TDataDescriptor& found) {
        if (hint <= 0 || hint > size_ - dataStart_) return false;
        TRunningCrc crc(in_, dataStart_, progress_);
        return EndsAt(crc, dataStart_, dataStart_ + hint, found);
    }

    bool AtEachSignature(TDataDescriptor& found) {
        TRunningCrc crc(in_, dataStart_, progress_);
        std::vector<unsigned char> chunk(static_cast<size_t>(kChunk));
        for (int64_t chunkStart = dataStart_; chunkStart < size_;) {
            const int64_t want = std::min<int64_t>(kChunk, size_ - chunkStart);
            if (!ReadAt(in_, chunkStart, chunk.data(), want)) return false;
            for (int64_t i = 0; i + 1 < want; ++i) {
                const auto k = static_cast<size_t>(i);
                if (chunk[k] == 'P' && chunk[k + 1] == 'K' &&
                    AtSignature(crc, chunkStart + i, found)) {
                    return true;
                }
            }
            if (progress_) progress_();
            chunkStart += want - 1;  // a "PK" across the chunk border is seen next time
            if (want == 1) break;
        }
        return false;
    }

  private:
    // The places a descriptor may stand for a "PK" at `at`, in rising order
    // so that the places checked only move forward.
    bool AtSignature(TRunningCrc& crc, int64_t at, TDataDescriptor& found) {
        const int64_t base = std::max(dataStart_, at - 20);
        for (const int64_t candidate : {at - 20, at - 12, at}) {
            if (EndsAt(crc, base, candidate, found)) return true;
        }
        return false;
    }

    // True when a reading at `at` agrees with the data before it; no later
    // place is checked below base.
    bool EndsAt(TRunningCrc& crc, int64_t base, int64_t at, TDataDescriptor& found) {
        if (at < dataStart_) return false;
        const int64_t length = at - dataStart_;
        const std::vector<TReading> readings = ReadingsAt(in_, at, size_, wideFirst_);
        const bool sized = std::any_of(readings.begin(), readings.end(), [&](const TReading& r) {
            return r.descriptor.compressedSize == length;
        });
        if (!sized) return false;
        if (!checkable_) return Choose(readings, length, nullptr, found);
        TDataFacts facts;
        return crc.MoveTo(base) && crc.FactsAt(dataStart_, at, facts) &&
               Choose(readings, length, &facts, found);
    }

    TStream& in_;
    int64_t dataStart_, size_;
    bool wideFirst_;
    const std::function<void()>& progress_;
    bool checkable_;
};

}  // namespace

bool FindDataDescriptor(TStream& in, const TZipHeaderInfo& entry, int64_t dataStart, int64_t size,
                        const std::function<void()>& progress, TDataDescriptor& found) {
    const bool wideFirst = entry.Zip64Info != nullptr || entry.CompressedSize32 == kSentinel32 ||
                           entry.UncompressedSize32 == kSentinel32;
    if (entry.CompressionMethod == kMethodDeflate &&
        (entry.GeneralPurposeFlags & kFlagEncrypted) == 0) {
        // Deflate data ends itself: the descriptor stands right behind it.
        // Some writers leave an empty entry with no deflate data at all; its
        // descriptor then follows the header and says CRC 0, sizes 0.
        TDataFacts facts;
        if (!InflateData(in, dataStart, size, progress, facts)) facts = {0, 0, 0};
        return Choose(ReadingsAt(in, dataStart + facts.compressedSize, size, wideFirst),
                      facts.compressedSize, &facts, found);
    }
    TDescriptorScan scan(in, entry, dataStart, size, wideFirst, progress);
    return scan.AtSize(entry.CompressedSize(), found) || scan.AtEachSignature(found);
}

}  // namespace qm
