#include "zip/DeflatedData.h"

#include <zlib.h>

#include <utility>

#include "zip/Crc32.h"
#include "zip/EntryCompressor.h"

namespace qm {

size_t DeflatePieceCount(std::string_view source, TPacking packing) {
    const auto size = static_cast<int64_t>(source.size());
    if (packing == TPacking::Store || size < kSplitDeflateMin) return 0;
    if (packing == TPacking::DeflateAsStreamed && size > kWholeBufferMax) return 0;
    return static_cast<size_t>(size / kDeflatePiece);
}

TDeflatedData DeflateAheadPiece(std::string_view source, size_t k, int level) {
    const size_t count = static_cast<size_t>(static_cast<int64_t>(source.size()) / kDeflatePiece);
    const size_t start = k * static_cast<size_t>(kDeflatePiece);
    // The last piece takes the rest, as the writer cuts them.
    const std::string_view piece = k + 1 < count
                                       ? source.substr(start, static_cast<size_t>(kDeflatePiece))
                                       : source.substr(start);
    TDeflatedData data;
    data.bytes = TEntryCompressor::DeflatePiece(piece, level, k + 1 >= count);
    data.crc = Crc32Of(piece.data(), piece.size());
    data.size = static_cast<int64_t>(piece.size());
    data.level = level;
    return data;
}

TDeflatedData JoinDeflatedPieces(std::vector<TDeflatedData> pieces) {
    TDeflatedData whole;
    if (pieces.empty()) return whole;
    whole.crc = pieces.front().crc;
    whole.level = pieces.front().level;
    whole.pieces.reserve(pieces.size());
    for (size_t k = 0; k < pieces.size(); ++k) {
        TDeflatedData& piece = pieces[k];
        if (k > 0) {
            whole.crc = static_cast<uint32_t>(
                crc32_combine(whole.crc, piece.crc, static_cast<z_off_t>(piece.size)));
        }
        whole.size += piece.size;
        whole.pieces.push_back(std::move(piece.bytes));
    }
    return whole;
}

std::optional<TDeflatedData> DeflateAhead(std::string_view source, TPacking packing, int level) {
    if (packing == TPacking::Store) return std::nullopt;
    const auto size = static_cast<int64_t>(source.size());
    if (packing == TPacking::DeflateAsStreamed && size > kWholeBufferMax) return std::nullopt;
    if (const size_t count = DeflatePieceCount(source, packing); count > 0) {
        std::vector<TDeflatedData> pieces;
        pieces.reserve(count);
        for (size_t k = 0; k < count; ++k) pieces.push_back(DeflateAheadPiece(source, k, level));
        return JoinDeflatedPieces(std::move(pieces));
    }
    TDeflatedData data;
    data.bytes =
        TEntryCompressor::DeflateBuffer(source, level, packing == TPacking::DeflateAsStreamed);
    data.crc = Crc32Of(source.data(), source.size());
    data.size = size;
    data.level = level;
    return data;
}

}  // namespace qm
