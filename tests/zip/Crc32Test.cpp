#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <string>

#include "zip/Crc32.h"

namespace qm {
namespace {

TEST(Crc32, BuilderAndBytewiseAgreeWithZlib) {
    std::mt19937 random(42);
    std::string data(1 << 20, '\0');
    for (char& c : data) c = static_cast<char>(random());
    const auto* bytes = reinterpret_cast<const Bytef*>(data.data());
    EXPECT_EQ(Crc32Of("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32Of("", 0), 0u);
    // Every length and alignment around the 8-byte steps, then big blocks fed
    // in pieces the way the reader delivers them.
    for (size_t offset = 0; offset < 9; ++offset) {
        for (size_t length = 0; length < 70; ++length) {
            const uint32_t expected = static_cast<uint32_t>(crc32(0, bytes + offset, length));
            ASSERT_EQ(Crc32Of(data.data() + offset, length), expected) << offset << "/" << length;
            ASSERT_EQ(UpdateCrc32Bytewise(kCrcPreset, data.data() + offset, length) ^ 0xFFFFFFFF,
                      expected);
        }
    }
    uint32_t running = kCrcPreset;
    for (size_t at = 0; at < data.size();) {
        const size_t piece = std::min<size_t>(data.size() - at, 1 + random() % 70000);
        running = UpdateCrc32(running, data.data() + at, piece);
        at += piece;
    }
    EXPECT_EQ(running ^ 0xFFFFFFFF,
              static_cast<uint32_t>(crc32(0, bytes, static_cast<uInt>(data.size()))));
}

}  // namespace
}  // namespace qm
