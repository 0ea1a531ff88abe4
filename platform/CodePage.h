#pragma once
// The ANSI code page of the program: code page 936 (the Windows GBK table)
// through ICU. Book text, titles and labels are byte strings in it, with the
// characters it lacks written as GB18030 four-byte sequences
// (CodePageExtension.h); generated files are UTF-8.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct UConverter;

namespace qm {

// 936 -> UTF-16. Bytes that form no character become "?".
std::u16string AnsiToUtf16(std::string_view ansi);
// UTF-16 -> 936. Characters the code page lacks become four-byte
// sequences; a lone surrogate becomes "?".
std::string Utf16ToAnsi(std::u16string_view text);
// 936 -> UTF-8, without a byte-order mark.
std::string AnsiToUtf8(std::string_view ansi);
// UTF-8 -> 936, for text arriving from the command line or the GUI.
// Malformed UTF-8 becomes "?".
std::string Utf8ToAnsi(std::string_view utf8);

// Owns an ICU converter set up for code page 936.
struct TConverterCloser {
    void operator()(UConverter* converter) const;
};
using TConverterHandle = std::unique_ptr<UConverter, TConverterCloser>;

// Converts a long 936 text to UTF-8 slice by slice, keeping one converter
// across the calls: a two-byte character cut between two slices comes out
// whole, and the slices together give exactly what AnsiToUtf8 gives for the
// whole text.
class TAnsiToUtf8Converter {
  public:
    TAnsiToUtf8Converter();
    // Appends the UTF-8 of the next slice to out. last ends the text: a lead
    // byte still waiting for its second byte then becomes "?".
    void Append(std::string& out, std::string_view slice, bool last);

  private:
    TConverterHandle converter_;
    std::string held_;  // the start of a four-byte sequence the last slice cut off
};

// The same for UTF-16 to 936: a surrogate pair cut between two slices is
// still one character.
class TUtf16ToAnsiConverter {
  public:
    TUtf16ToAnsiConverter();
    void Append(std::string& out, std::u16string_view slice, bool last);

  private:
    TConverterHandle converter_;
};

// The lead-byte range of code page 936.
inline bool IsLeadByte(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

// The OEM code page is the same code page here, so both directions leave
// names unchanged.
inline void CharToOem(std::string& /*name*/) {}
inline void OemToChar(std::string& /*name*/) {}

}  // namespace qm
