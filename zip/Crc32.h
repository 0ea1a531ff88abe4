#pragma once
// The CRC-32 of ZIP entries (reflected polynomial 0xEDB88320). The register
// is preset to 0xFFFFFFFF by the caller and complemented at the end.
#include <cstddef>
#include <cstdint>

namespace qm {

inline constexpr uint32_t kCrcPreset = 0xFFFFFFFF;

// Feeds bytes into a running CRC register and returns the new register
// (through libdeflate's CRC-32); the values are those of the byte-at-a-time
// table method.
uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t count);

// The byte-at-a-time method through the standard 256-entry table.
uint32_t UpdateCrc32Bytewise(uint32_t crc, const void* data, size_t count);

// The finished CRC of a whole buffer (preset, feed, complement).
inline uint32_t Crc32Of(const void* data, size_t count) {
    return UpdateCrc32(kCrcPreset, data, count) ^ 0xFFFFFFFF;
}

}  // namespace qm
