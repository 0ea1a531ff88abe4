#include "zip/Crc32.h"

#include <libdeflate.h>

#include <array>

namespace qm {
namespace {

using Table = std::array<uint32_t, 256>;

constexpr Table MakeTable() {
    Table table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr Table kTable = MakeTable();

}  // namespace

uint32_t UpdateCrc32Bytewise(uint32_t crc, const void* data, size_t count) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < count; ++i) crc = kTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

// libdeflate's CRC-32 folds with carry-less multiplication where the
// processor has it: about five times the eight-table method.
uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t count) {
    return libdeflate_crc32(crc ^ 0xFFFFFFFF, data, count) ^ 0xFFFFFFFF;
}

}  // namespace qm
