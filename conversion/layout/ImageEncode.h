#pragma once
// Writing a picture drawn in memory as a JPEG file's bytes.
#include <string>

namespace qm {

// Pixels in Cairo's 24-bit layout: one 32-bit word per pixel, 0xXXRRGGBB in
// the machine's byte order, rows `stride` bytes apart. Full colour
// resolution (no chroma subsampling), so that small lettering stays sharp.
// Raises Exception when libjpeg fails (out of memory).
std::string EncodeJpeg(const unsigned char* pixels, int width, int height, int stride, int quality);

}  // namespace qm
