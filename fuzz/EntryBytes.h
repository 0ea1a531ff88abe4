#pragma once
// The bytes of an archive's entries as a reader gets them: each local
// header's data, inflated by zlib where deflated and checked against the
// CRC-32 of its record. For the round-trip targets, which judge what the
// builder wrote by what comes out of it.
#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>

#include "zip/LittleEndian.h"
#include "zip/ZipRecords.h"

namespace qm::fuzz {

// The entry's content, or nothing when its header, data or CRC is wrong.
inline std::optional<std::string> EntryContent(const std::string& archive,
                                               const TZipHeaderInfo& entry) {
    const int64_t at = entry.RelativeOffset();
    if (at < 0 || archive.size() < static_cast<uint64_t>(at) + kLocalHeaderSize) return {};
    const auto* header = reinterpret_cast<const unsigned char*>(archive.data() + at);
    if (le::Get32(header) != kLocalHeaderSignature) return {};
    const uint64_t start = static_cast<uint64_t>(at) + kLocalHeaderSize + le::Get16(header + 26) +
                           le::Get16(header + 28);
    const int64_t stored = entry.CompressedSize();
    if (stored < 0 || start + static_cast<uint64_t>(stored) > archive.size()) return {};
    const std::string data = archive.substr(start, static_cast<size_t>(stored));
    std::string content;
    if (entry.CompressionMethod == 0) {
        content = data;
    } else if (entry.CompressionMethod == 8) {
        const int64_t size = entry.UncompressedSize();
        if (size < 0 || size > (int64_t{64} << 20)) return {};
        content.resize(static_cast<size_t>(size));
        z_stream z{};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return {};
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        z.avail_in = static_cast<uInt>(data.size());
        z.next_out = reinterpret_cast<Bytef*>(content.data());
        z.avail_out = static_cast<uInt>(content.size());
        const int status = inflate(&z, Z_FINISH);
        const bool whole = status == Z_STREAM_END && z.avail_out == 0;
        inflateEnd(&z);
        if (!whole) return {};
    } else {
        return {};
    }
    const uLong crc =
        crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size()));
    if (crc != entry.Crc32) return {};
    return content;
}

}  // namespace qm::fuzz
