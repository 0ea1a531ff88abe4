#pragma once
// Decoding by lookup for the double-byte code pages Chinese books come in
// (GB18030's one- and two-byte characters, Big5-HKSCS): ICU fills a table of
// every pair once, and a book is decoded several times faster by looking
// them up than through the converter, with the same result.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace qm {

class TDoubleByteTable {
  public:
    // The table for the encoding (any ICU name or alias), built on first
    // use; nullptr for an encoding without one.
    static const TDoubleByteTable* For(const std::string& encoding);

    // Appends the UTF-8 of bytes from their start up to the first sequence
    // the table does not hold (a four-byte sequence, a byte that is not
    // valid, a lead byte at the end); returns how many bytes it decoded.
    // The converter, started there, gives the rest: every pair the table
    // holds is one the converter reads whole and in any context.
    size_t Decode(std::string& out, std::string_view bytes) const;

    struct TEntry {
        char utf8[7];          // copied whole, counted by length
        unsigned char length;  // 0: not in the table
    };

  private:
    explicit TDoubleByteTable(const char* encoding);
    std::unique_ptr<TEntry[]> pairs_;  // [first byte - 0x80][second byte]
};

}  // namespace qm
