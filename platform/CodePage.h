#pragma once
// The ANSI code page of the program: code page 936 (the Windows GBK table)
// through ICU. Book text, titles and labels are byte strings in it; generated
// files are UTF-8.
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// 936 -> UTF-16. Bytes that form no character become "?".
std::u16string AnsiToUtf16(std::string_view ansi);
// UTF-16 -> 936. Characters the code page lacks become "?".
std::string Utf16ToAnsi(std::u16string_view text);
// 936 -> UTF-8, without a byte-order mark.
std::string AnsiToUtf8(std::string_view ansi);
// UTF-8 -> 936, for text arriving from the command line or the GUI.
// Malformed UTF-8 and characters the code page lacks become "?".
std::string Utf8ToAnsi(std::string_view utf8);

// The lead-byte range of code page 936.
inline bool IsLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

// The OEM code page is the same code page here, so both directions leave
// names unchanged.
inline void CharToOem(std::string& /*name*/) {}
inline void OemToChar(std::string& /*name*/) {}

}  // namespace qm
