#include "conversion/layout/ImageDecode.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

// After <cstdio>: jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
// After jpeglib.h, which it builds on.
#include <jerror.h>

#include "platform/Exceptions.h"
#include "platform/Format.h"

namespace qm {
namespace {

// Both libraries report errors by longjmp: the frames they jump out of hold
// plain data only, and every resource is owned by an object of a caller.

void CheckPixels(uint64_t width, uint64_t height) {
    if (width * height > static_cast<uint64_t>(kMaxImagePixels)) {
        throw Exception(
            Format("is %llu x %llu pixels, more than the %lld megapixels a cover may "
                   "have",
                   static_cast<unsigned long long>(width), static_cast<unsigned long long>(height),
                   static_cast<long long>(kMaxImagePixels / 1'000'000)));
    }
}

struct TPngInput {
    const unsigned char* data;
    size_t size;
    size_t at;
    char error[200];
};

void ReadPngBytes(png_structp png, png_bytep out, size_t count) {
    auto* input = static_cast<TPngInput*>(png_get_io_ptr(png));
    if (count > input->size - input->at) png_error(png, "the file ends inside the image");
    std::memcpy(out, input->data + input->at, count);
    input->at += count;
}

void PngError(png_structp png, png_const_charp message) {
    auto* input = static_cast<TPngInput*>(png_get_error_ptr(png));
    std::snprintf(input->error, sizeof input->error, "%s", message);
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// The image's header; false (with the reason in the input) when it fails.
bool ReadPngHeader(png_structp png, png_infop info, png_uint_32& width, png_uint_32& height,
                   int& passes, size_t& rowBytes) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    width = png_get_image_width(png, info);
    height = png_get_image_height(png, info);
    passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    rowBytes = png_get_rowbytes(png, info);
    return true;
}

// Every row of every pass into the one row, then the chunks after the data.
bool ReadPngRows(png_structp png, png_infop info, png_bytep row, png_uint_32 height, int passes) {
    if (setjmp(png_jmpbuf(png))) return false;
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, row, nullptr);
    }
    png_read_end(png, info);
    return true;
}

class TPngReader {
  public:
    explicit TPngReader(TPngInput& input)
        : png_(png_create_read_struct(PNG_LIBPNG_VER_STRING, &input, PngError, PngWarning)) {
        if (!png_) throw Exception("cannot be decoded (out of memory)");
        info_ = png_create_info_struct(png_);
        if (!info_) {
            png_destroy_read_struct(&png_, nullptr, nullptr);
            throw Exception("cannot be decoded (out of memory)");
        }
        png_set_read_fn(png_, &input, ReadPngBytes);
    }
    ~TPngReader() { png_destroy_read_struct(&png_, &info_, nullptr); }
    TPngReader(const TPngReader&) = delete;
    TPngReader& operator=(const TPngReader&) = delete;

    png_structp png_;
    png_infop info_ = nullptr;
};

struct TJpegErrors {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool damaged;
};

void JpegErrorExit(j_common_ptr info) {
    auto* errors = reinterpret_cast<TJpegErrors*>(info->err);
    info->err->format_message(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// libjpeg makes up the rest of an image that ends early or whose data is
// damaged and calls that a warning; for a cover it is a fault.
void JpegMessage(j_common_ptr info, int level) {
    if (level >= 0) return;
    const int code = info->err->msg_code;
    if (code != JWRN_JPEG_EOF && code != JWRN_HIT_MARKER && code != JWRN_MUST_RESYNC &&
        code != JWRN_HUFF_BAD_CODE && code != JWRN_NOT_SEQUENTIAL && code != JWRN_BOGUS_PROGRESSION)
        return;
    auto* errors = reinterpret_cast<TJpegErrors*>(info->err);
    if (!errors->damaged) info->err->format_message(info, errors->message);
    errors->damaged = true;
}

class TJpegReader {
  public:
    TJpegReader() {
        info.err = jpeg_std_error(&errors.base);
        errors.base.error_exit = JpegErrorExit;
        errors.base.emit_message = JpegMessage;
        errors.damaged = false;
        errors.message[0] = '\0';
        jpeg_create_decompress(&info);
    }
    ~TJpegReader() { jpeg_destroy_decompress(&info); }
    TJpegReader(const TJpegReader&) = delete;
    TJpegReader& operator=(const TJpegReader&) = delete;

    jpeg_decompress_struct info{};
    TJpegErrors errors{};
};

bool ReadJpegHeader(TJpegReader& reader, std::string_view bytes) {
    if (setjmp(reader.errors.jump)) return false;
    jpeg_mem_src(&reader.info, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&reader.info, TRUE);
    return true;
}

bool ReadJpegRows(TJpegReader& reader, unsigned char* row) {
    if (setjmp(reader.errors.jump)) return false;
    while (reader.info.output_scanline < reader.info.output_height) {
        JSAMPROW rows[1] = {row};
        jpeg_read_scanlines(&reader.info, rows, 1);
    }
    jpeg_finish_decompress(&reader.info);
    return true;
}

bool StartJpeg(TJpegReader& reader) {
    if (setjmp(reader.errors.jump)) return false;
    // Only whether it decodes matters, not how well.
    reader.info.dct_method = JDCT_IFAST;
    reader.info.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&reader.info);
    return true;
}

}  // namespace

TImageSize DecodePng(std::string_view bytes) {
    TPngInput input{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 0, ""};
    TPngReader reader(input);
    png_uint_32 width = 0, height = 0;
    int passes = 1;
    size_t rowBytes = 0;
    if (!ReadPngHeader(reader.png_, reader.info_, width, height, passes, rowBytes)) {
        throw Exception(std::string("is not a PNG image that can be decoded (") + input.error +
                        ")");
    }
    CheckPixels(width, height);
    std::vector<unsigned char> row(rowBytes);
    if (!ReadPngRows(reader.png_, reader.info_, row.data(), height, passes)) {
        throw Exception(std::string("is a damaged PNG image (") + input.error + ")");
    }
    return {static_cast<int32_t>(width), static_cast<int32_t>(height)};
}

TImageSize DecodeJpeg(std::string_view bytes) {
    TJpegReader reader;
    if (!ReadJpegHeader(reader, bytes)) {
        throw Exception(std::string("is not a JPEG image that can be decoded (") +
                        reader.errors.message + ")");
    }
    CheckPixels(reader.info.image_width, reader.info.image_height);
    if (!StartJpeg(reader)) {
        throw Exception(std::string("is a damaged JPEG image (") + reader.errors.message + ")");
    }
    std::vector<unsigned char> row(static_cast<size_t>(reader.info.output_width) *
                                   static_cast<size_t>(reader.info.output_components));
    if (!ReadJpegRows(reader, row.data()) || reader.errors.damaged) {
        throw Exception(std::string("is a damaged JPEG image (") + reader.errors.message + ")");
    }
    return {static_cast<int32_t>(reader.info.image_width),
            static_cast<int32_t>(reader.info.image_height)};
}

}  // namespace qm
