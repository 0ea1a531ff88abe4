// Finding a deflate stream's final block by reading its codes, judged by
// zlib, which stops after each block as it inflates.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <optional>
#include <random>
#include <string>

#include "zip/DeflateBlocks.h"

namespace qm {
namespace {

// Where zlib sees the final block start and end, in bits.
std::optional<TFinalBlock> ZlibFinalBlock(const std::string& stream) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return std::nullopt;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    z.avail_in = static_cast<uInt>(stream.size());
    unsigned char sink[1 << 16];
    TFinalBlock block;
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = sink;
        z.avail_out = sizeof sink;
        status = inflate(&z, Z_BLOCK);
        if (status == Z_OK && (z.data_type & 128)) {
            const uint64_t at = uint64_t{z.total_in} * 8 - static_cast<uint64_t>(z.data_type & 7);
            (z.data_type & 64 ? block.end : block.start) = at;
        }
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END) return std::nullopt;
    return block;
}

TEST(DeflateBlocks, TheFinalBlockIsWhereZlibFindsIt) {
    // Text, noise and long runs at every level, stored, fixed and dynamic
    // blocks among them, from empty to several blocks long.
    std::mt19937 random(11);
    const char* const words[] = {"第", "章", "话说", "the ", "quick ", "fox ", "\n", "。"};
    std::string text, noise, runs;
    while (text.size() < 400000) text += words[random() % 8];
    for (int i = 0; i < 400000; ++i) {
        noise += static_cast<char>(random());
        runs += static_cast<char>('a' + (i / 5000) % 3);
    }
    for (const std::string* source : {&text, &noise, &runs}) {
        for (size_t size : {size_t{0}, size_t{1}, size_t{300}, size_t{70000}, source->size()}) {
            for (int level : {0, 1, 6, 12}) {
                libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
                std::string stream(libdeflate_deflate_compress_bound(compressor, size), '\0');
                stream.resize(libdeflate_deflate_compress(compressor, source->data(), size,
                                                          stream.data(), stream.size()));
                libdeflate_free_compressor(compressor);
                const std::optional<TFinalBlock> want = ZlibFinalBlock(stream);
                const std::optional<TFinalBlock> got = FindFinalBlock(stream);
                ASSERT_TRUE(want && got) << size << " " << level;
                EXPECT_EQ(got->start, want->start) << size << " " << level;
                EXPECT_EQ(got->end, want->end) << size << " " << level;
                // Cut short, the stream has no final block to find.
                if (stream.size() > 2) {
                    EXPECT_FALSE(FindFinalBlock(stream.substr(0, stream.size() - 2)));
                }
            }
        }
    }
}

}  // namespace
}  // namespace qm
