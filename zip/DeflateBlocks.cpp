#include "zip/DeflateBlocks.h"

#include <array>
#include <cstddef>
#include <cstring>

namespace qm {
namespace {

constexpr int kMaxBits = 15;
// Codes up to this long are read by one lookup; longer ones bit by bit.
constexpr int kFastBits = 10;

// Bits from the stream, least significant first, as deflate packs them.
class TBitReader {
  public:
    explicit TBitReader(std::string_view bytes)
        : data_(reinterpret_cast<const unsigned char*>(bytes.data())), size_(bytes.size()) {}

    // At least 32 bits in hand, or all that the stream has left. Bits
    // above the count are the stream's next ones or zero, never others.
    void Fill() {
        if (count_ >= 32) return;
        if (pos_ + 8 <= size_) {
            uint64_t word = 0;
            std::memcpy(&word, data_ + pos_, sizeof word);
            bits_ |= word << count_;
            const int bytes = (63 - count_) / 8;
            pos_ += static_cast<size_t>(bytes);
            count_ += 8 * bytes;
            return;
        }
        while (count_ <= 56 && pos_ < size_) {
            bits_ |= uint64_t{data_[pos_++]} << count_;
            count_ += 8;
        }
    }

    int Count() const { return count_; }
    uint64_t Bits() const { return bits_; }
    uint32_t Peek(int n) const { return static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1)); }
    bool Drop(int n) {
        if (n > count_) return false;
        bits_ >>= n;
        count_ -= n;
        return true;
    }
    // n bits (at most 16) as a number; -1 when the stream has fewer.
    int Take(int n) {
        Fill();
        const auto value = static_cast<int>(Peek(n));
        return Drop(n) ? value : -1;
    }
    uint64_t Position() const { return uint64_t{pos_} * 8 - static_cast<uint64_t>(count_); }

    // Moves past count bytes from a byte boundary; false when the stream
    // ends first.
    bool SkipBytes(size_t count) {
        const uint64_t at = (Position() + 7) / 8;
        if (at + count > size_) return false;
        pos_ = static_cast<size_t>(at) + count;
        bits_ = 0;
        count_ = 0;
        return true;
    }
    // Two bytes from the next byte boundary on, low byte first (a stored
    // block's header).
    bool ReadAlignedU16(uint32_t& value) {
        const uint64_t at = (Position() + 7) / 8;
        if (at + 2 > size_) return false;
        value = data_[at] | uint32_t{data_[at + 1]} << 8;
        pos_ = static_cast<size_t>(at) + 2;
        bits_ = 0;
        count_ = 0;
        return true;
    }

  private:
    const unsigned char* data_;
    size_t size_;
    size_t pos_ = 0;
    uint64_t bits_ = 0;
    int count_ = 0;
};

constexpr std::array<uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<uint8_t, 30> kDistanceExtra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                    4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                    9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// A canonical Huffman code as deflate defines it from code lengths. Each
// symbol may be followed by extra bits, which Decode passes over with it.
struct THuffman {
    std::array<uint16_t, kMaxBits + 1> count{};
    std::array<uint16_t, 320> symbol{};  // in code order
    std::array<uint8_t, 320> extra{};    // extra bits after each symbol
    // By the next kFastBits bits: the symbol in bits 0-8, the bits it and
    // its extra bits take from bit 9 on; 0 for a longer code.
    std::array<uint32_t, 1 << kFastBits> fast{};

    // False for lengths that give more codes than bits allow. Symbols from
    // extraFrom on take extras[symbol - extraFrom] extra bits.
    bool Build(const uint8_t* lengths, int n, const uint8_t* extras = nullptr, int extraFrom = 0,
               int extraCount = 0) {
        count.fill(0);
        fast.fill(0);
        extra.fill(0);
        for (int s = extraFrom; extras && s < n && s - extraFrom < extraCount; ++s)
            extra[static_cast<size_t>(s)] = extras[s - extraFrom];
        for (int s = 0; s < n; ++s) ++count[lengths[s]];
        count[0] = 0;
        int left = 1;
        for (int len = 1; len <= kMaxBits; ++len) {
            left = 2 * left - count[len];
            if (left < 0) return false;
        }
        std::array<uint16_t, kMaxBits + 2> offset{};
        for (int len = 1; len <= kMaxBits; ++len) offset[len + 1] = offset[len] + count[len];
        for (int s = 0; s < n; ++s) {
            if (lengths[s] != 0) symbol[offset[lengths[s]]++] = static_cast<uint16_t>(s);
        }
        uint32_t code = 0;
        size_t k = 0;
        for (int len = 1; len <= kFastBits; ++len) {
            for (int c = 0; c < count[len]; ++c, ++k, ++code) {
                uint32_t reversed = 0;
                for (int b = 0; b < len; ++b) reversed |= ((code >> b) & 1) << (len - 1 - b);
                const uint32_t entry = symbol[k] | static_cast<uint32_t>(len + extra[symbol[k]])
                                                       << 9;
                for (uint32_t at = reversed; at < fast.size(); at += uint32_t{1} << len)
                    fast[at] = entry;
            }
            code <<= 1;
        }
        return true;
    }

    // The next symbol, its extra bits passed over; -1 when the bits are no
    // code or the stream ends.
    int Decode(TBitReader& in) const {
        in.Fill();
        if (const uint32_t entry = fast[in.Peek(kFastBits)]; entry != 0)
            return in.Drop(static_cast<int>(entry >> 9)) ? static_cast<int>(entry & 511) : -1;
        // Bit by bit, as the canonical code is laid out.
        const uint64_t bits = in.Bits();
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= kMaxBits && len <= in.Count(); ++len) {
            code |= static_cast<int>((bits >> (len - 1)) & 1);
            const int n = count[len];
            if (code - first < n) {
                const uint16_t found = symbol[static_cast<size_t>(index + code - first)];
                return in.Drop(len + extra[found]) ? found : -1;
            }
            index += n;
            first = (first + n) << 1;
            code <<= 1;
        }
        return -1;
    }
};

// The symbols of one block, up to and past its end code.
bool SkipCodes(TBitReader& in, const THuffman& literals, const THuffman& distances) {
    for (;;) {
        const int symbol = literals.Decode(in);
        if (symbol < 0) return false;
        if (symbol < 256) continue;
        if (symbol == 256) return true;
        if (static_cast<size_t>(symbol - 257) >= kLengthExtra.size()) return false;
        const int distance = distances.Decode(in);
        if (distance < 0 || static_cast<size_t>(distance) >= kDistanceExtra.size()) return false;
    }
}

const THuffman& FixedLiterals() {
    static const THuffman code = [] {
        std::array<uint8_t, 288> lengths{};
        for (size_t s = 0; s < lengths.size(); ++s)
            lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        THuffman built;
        built.Build(lengths.data(), static_cast<int>(lengths.size()), kLengthExtra.data(), 257,
                    static_cast<int>(kLengthExtra.size()));
        return built;
    }();
    return code;
}

const THuffman& FixedDistances() {
    static const THuffman code = [] {
        std::array<uint8_t, 30> lengths{};
        lengths.fill(5);
        THuffman built;
        built.Build(lengths.data(), static_cast<int>(lengths.size()), kDistanceExtra.data(), 0,
                    static_cast<int>(kDistanceExtra.size()));
        return built;
    }();
    return code;
}

// A block with its own codes: their lengths, themselves coded, then the
// symbols.
bool SkipDynamic(TBitReader& in) {
    const int literalCount = in.Take(5) + 257, distanceCount = in.Take(5) + 1,
              lengthCodeCount = in.Take(4) + 4;
    if (lengthCodeCount < 4 || literalCount < 257 || literalCount > 286 || distanceCount < 1 ||
        distanceCount > 30)
        return false;
    static constexpr std::array<uint8_t, 19> kOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                       11, 4,  12, 3, 13, 2, 14, 1, 15};
    std::array<uint8_t, 320> lengths{};
    for (int k = 0; k < lengthCodeCount; ++k) {
        const int length = in.Take(3);
        if (length < 0) return false;
        lengths[kOrder[static_cast<size_t>(k)]] = static_cast<uint8_t>(length);
    }
    THuffman lengthCode;
    if (!lengthCode.Build(lengths.data(), 19)) return false;
    lengths.fill(0);
    const int total = literalCount + distanceCount;
    for (int k = 0; k < total;) {
        const int symbol = lengthCode.Decode(in);
        if (symbol < 0) return false;
        if (symbol < 16) {
            lengths[static_cast<size_t>(k++)] = static_cast<uint8_t>(symbol);
            continue;
        }
        // 16 repeats the length before, 3 to 6 times; 17 and 18 give zeros.
        uint8_t value = 0;
        if (symbol == 16) {
            if (k == 0) return false;
            value = lengths[static_cast<size_t>(k - 1)];
        }
        const int extra = in.Take(symbol == 16 ? 2 : symbol == 17 ? 3 : 7);
        int repeat = extra + (symbol == 18 ? 11 : 3);
        if (extra < 0 || k + repeat > total) return false;
        while (repeat-- > 0) lengths[static_cast<size_t>(k++)] = value;
    }
    if (lengths[256] == 0) return false;
    THuffman literals, distances;
    return literals.Build(lengths.data(), literalCount, kLengthExtra.data(), 257,
                          static_cast<int>(kLengthExtra.size())) &&
           distances.Build(lengths.data() + literalCount, distanceCount, kDistanceExtra.data(), 0,
                           static_cast<int>(kDistanceExtra.size())) &&
           SkipCodes(in, literals, distances);
}

// A stored block: its length, its complement, then the bytes as they are.
bool SkipStored(TBitReader& in) {
    uint32_t length = 0, complement = 0;
    if (!in.ReadAlignedU16(length) || !in.ReadAlignedU16(complement)) return false;
    return (length ^ complement) == 0xFFFF && in.SkipBytes(length);
}

}  // namespace

std::optional<TFinalBlock> FindFinalBlock(std::string_view stream) {
    TBitReader in(stream);
    for (;;) {
        const uint64_t start = in.Position();
        const int header = in.Take(3);
        if (header < 0) return std::nullopt;
        bool read = false;
        switch (header >> 1) {
            case 0:
                read = SkipStored(in);
                break;
            case 1:
                read = SkipCodes(in, FixedLiterals(), FixedDistances());
                break;
            case 2:
                read = SkipDynamic(in);
                break;
            default:
                return std::nullopt;
        }
        if (!read) return std::nullopt;
        if (header & 1) return TFinalBlock{start, in.Position()};
    }
}

}  // namespace qm
