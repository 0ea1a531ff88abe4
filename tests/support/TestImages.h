#pragma once
// Images made by the tests with zlib and libjpeg's encoder, so the cover
// decoder is judged on files it did not write. Suites that include this
// link JPEG::JPEG.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// After <cstdio>, which it needs.
#include <jpeglib.h>

namespace qm::test {

inline std::string Big32(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

inline std::string PngChunk(const std::string& type, const std::string& data) {
    const std::string body = type + data;
    return Big32(static_cast<uint32_t>(data.size())) + body +
           Big32(static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                             static_cast<uInt>(body.size()))));
}

// An RGB image of width x height; its rows as given, else grey ones.
inline std::string MakePng(uint32_t width, uint32_t height, std::string rows = {}) {
    if (rows.empty()) {
        for (uint32_t y = 0; y < height; ++y) rows += '\0' + std::string(width * 3, '\x80');
    }
    uLongf size = compressBound(static_cast<uLong>(rows.size()));
    std::string packed(size, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &size,
             reinterpret_cast<const Bytef*>(rows.data()), static_cast<uLong>(rows.size()));
    packed.resize(size);
    return "\x89PNG\r\n\x1A\n" +
           PngChunk("IHDR", Big32(width) + Big32(height) + std::string("\x08\x02\0\0\0", 5)) +
           PngChunk("IDAT", packed) + PngChunk("IEND", "");
}

inline std::string MakeJpeg(int width, int height) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(static_cast<size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        for (size_t x = 0; x < row.size(); ++x) row[x] = static_cast<unsigned char>(x * 7 + y * 13);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    std::string bytes(reinterpret_cast<char*>(out), size);
    jpeg_destroy_compress(&info);
    std::free(out);
    return bytes;
}

}  // namespace qm::test
