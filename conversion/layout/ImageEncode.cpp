#include "conversion/layout/ImageEncode.h"

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
// After <cstdio>: jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "platform/Exceptions.h"

namespace qm {
namespace {

struct TJpegErrors {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

// libjpeg reports errors by longjmp: nothing with a destructor lives in
// the frames it jumps out of.
void JpegErrorExit(j_common_ptr info) {
    auto* errors = reinterpret_cast<TJpegErrors*>(info->err);
    info->err->format_message(info, errors->message);
    std::longjmp(errors->jump, 1);
}

class TJpegWriter {
  public:
    TJpegWriter() {
        info.err = jpeg_std_error(&errors.base);
        errors.base.error_exit = JpegErrorExit;
        errors.message[0] = '\0';
        jpeg_create_compress(&info);
    }
    ~TJpegWriter() {
        jpeg_destroy_compress(&info);
        std::free(buffer);
    }
    TJpegWriter(const TJpegWriter&) = delete;
    TJpegWriter& operator=(const TJpegWriter&) = delete;

    TJpegErrors errors{};
    jpeg_compress_struct info{};
    unsigned char* buffer = nullptr;  // libjpeg's, grown with malloc
    unsigned long size = 0;
};

bool Compress(TJpegWriter& writer, const unsigned char* pixels, int height, int stride,
              int quality) {
    if (setjmp(writer.errors.jump)) return false;
    jpeg_compress_struct& info = writer.info;
    jpeg_mem_dest(&info, &writer.buffer, &writer.size);
    info.input_components = 4;
    info.in_color_space = std::endian::native == std::endian::little ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.comp_info[0].h_samp_factor = info.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&info, TRUE);
    for (int y = 0; y < height; ++y) {
        auto* row = const_cast<JSAMPROW>(pixels + static_cast<ptrdiff_t>(y) * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

}  // namespace

std::string EncodeJpeg(const unsigned char* pixels, int width, int height, int stride,
                       int quality) {
    TJpegWriter writer;
    writer.info.image_width = static_cast<JDIMENSION>(width);
    writer.info.image_height = static_cast<JDIMENSION>(height);
    if (!Compress(writer, pixels, height, stride, quality)) {
        throw Exception(std::string("The image could not be written: ") + writer.errors.message);
    }
    return std::string(reinterpret_cast<const char*>(writer.buffer), writer.size);
}

}  // namespace qm
