#include "zip/Crc32.h"

#include <array>

#include "zip/LittleEndian.h"

namespace qm {
namespace {

using Tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
    Tables tables{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        tables[0][n] = c;
    }
    // tables[k][n]: the register after byte n followed by k zero bytes.
    for (uint32_t n = 0; n < 256; ++n) {
        for (size_t k = 1; k < 8; ++k) {
            const uint32_t prev = tables[k - 1][n];
            tables[k][n] = tables[0][prev & 0xFF] ^ (prev >> 8);
        }
    }
    return tables;
}

constexpr Tables kTables = MakeTables();

}  // namespace

uint32_t UpdateCrc32Bytewise(uint32_t crc, const void* data, size_t count) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < count; ++i) crc = kTables[0][(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t count) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (count >= 8) {
        const uint32_t one = le::Get32(p) ^ crc;
        const uint32_t two = le::Get32(p + 4);
        crc = kTables[7][one & 0xFF] ^ kTables[6][(one >> 8) & 0xFF] ^
              kTables[5][(one >> 16) & 0xFF] ^ kTables[4][one >> 24] ^ kTables[3][two & 0xFF] ^
              kTables[2][(two >> 8) & 0xFF] ^ kTables[1][(two >> 16) & 0xFF] ^
              kTables[0][two >> 24];
        p += 8;
        count -= 8;
    }
    return UpdateCrc32Bytewise(crc, p, count);
}

}  // namespace qm
