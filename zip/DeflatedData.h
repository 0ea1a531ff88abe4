#pragma once
// An entry's data deflated before it reaches the archive writer, on any
// thread, exactly as TZipWriter::AddBytes deflates the same bytes: a caller
// that renders its files on workers can deflate each there too and keep
// only the deflated data until TZipWriter::AddDeflated takes it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

enum class TPacking {
    Store,  // the bytes as they are
    // Raw deflate by libdeflate at any size.
    Deflate,
    // Below kWholeBufferMin through zlib, so that the bytes are those of a
    // file streamed from disk; larger ones as Deflate.
    DeflateAsStreamed,
};

struct TDeflatedData {
    // The raw deflate stream: bytes, then each of the pieces in order (a
    // stream deflated in pieces stays in them, spared a copy).
    std::string bytes;
    std::vector<std::string> pieces;
    uint32_t crc = 0;  // the finished CRC-32 of the source
    int64_t size = 0;  // the source's size
    int level = 0;     // the deflate level it was made at
};

// The source deflated at level as AddBytes with packing would deflate it.
// Nothing where AddBytes does not deflate it whole: Store, and
// DeflateAsStreamed above kWholeBufferMax (streamed through zlib). A source
// AddBytes cuts into pieces is deflated here piece after piece; see
// DeflatePieceCount to spread the pieces over threads. Safe on any thread;
// EZCompressionError when a library fails.
std::optional<TDeflatedData> DeflateAhead(std::string_view source, TPacking packing, int level);

// How many pieces AddBytes cuts the source into (kSplitDeflateMin), 0 when
// it deflates the source in one call or not at all. Piece k is deflated by
// DeflateAheadPiece (on any thread), and the pieces joined in order give
// what DeflateAhead gives.
size_t DeflatePieceCount(std::string_view source, TPacking packing);
TDeflatedData DeflateAheadPiece(std::string_view source, size_t k, int level);
TDeflatedData JoinDeflatedPieces(std::vector<TDeflatedData> pieces);

}  // namespace qm
