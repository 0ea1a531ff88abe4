#include "conversion/layout/FontCheck.h"

#include <cstdint>
#include <string>

#include "platform/Exceptions.h"

namespace qm {
namespace {

// Big-endian fields read in order; running past the end is the font's fault.
class TFontCursor {
  public:
    TFontCursor(std::string_view bytes, size_t at) : bytes_(bytes), at_(at) {}

    uint32_t Byte() {
        Need(1);
        return static_cast<unsigned char>(bytes_[at_++]);
    }
    uint32_t Big16() {
        const uint32_t high = Byte();
        return (high << 8) | Byte();
    }
    uint32_t Big32() {
        const uint32_t high = Big16();
        return (high << 16) | Big16();
    }
    std::string_view Tag() {
        Need(4);
        const std::string_view tag = bytes_.substr(at_, 4);
        at_ += 4;
        for (char c : tag) {
            if (c < 0x20 || c > 0x7E) throw Exception("has a table with a name that is no tag");
        }
        return tag;
    }
    // WOFF2's variable-length numbers: at most five bytes of seven bits, no
    // leading zeros, no more than 32 bits.
    uint32_t Base128() {
        uint64_t value = 0;
        for (int k = 0; k < 5; ++k) {
            const uint32_t b = Byte();
            if (k == 0 && b == 0x80) throw Exception("has a malformed table directory");
            value = (value << 7) | (b & 0x7F);
            if (value > UINT32_MAX) throw Exception("has a malformed table directory");
            if ((b & 0x80) == 0) return static_cast<uint32_t>(value);
        }
        throw Exception("has a malformed table directory");
    }
    void Skip(size_t count) {
        Need(count);
        at_ += count;
    }
    size_t At() const { return at_; }

  private:
    void Need(size_t count) const {
        if (count > bytes_.size() - at_) throw Exception("is cut short inside its table directory");
    }
    std::string_view bytes_;
    size_t at_;
};

struct TTablesSeen {
    bool head = false, cmap = false;
    void Saw(std::string_view tag) {
        head = head || tag == "head";
        cmap = cmap || tag == "cmap";
    }
    void Check() const {
        if (!head || !cmap) throw Exception("lacks its head or cmap table");
    }
};

void CheckInFile(uint64_t offset, uint64_t length, uint64_t directoryEnd, uint64_t fileSize) {
    if (offset < directoryEnd || offset + length > fileSize)
        throw Exception("has a table that lies outside the file");
}

// Offset table, then 16 bytes per table: tag, checksum, offset, length.
void CheckSfnt(std::string_view b) {
    TFontCursor cursor(b, 4);
    const uint32_t count = cursor.Big16();
    cursor.Skip(6);  // searchRange, entrySelector, rangeShift
    if (count == 0) throw Exception("has no tables");
    const uint64_t directoryEnd = 12 + uint64_t{16} * count;
    TTablesSeen seen;
    for (uint32_t i = 0; i < count; ++i) {
        seen.Saw(cursor.Tag());
        cursor.Skip(4);  // checksum
        const uint32_t offset = cursor.Big32();
        CheckInFile(offset, cursor.Big32(), directoryEnd, b.size());
    }
    seen.Check();
}

// A 44-byte header, then 20 bytes per table: tag, offset, compressed and
// original length, checksum.
void CheckWoff(std::string_view b) {
    TFontCursor cursor(b, 4);
    cursor.Skip(4);  // flavor
    if (cursor.Big32() != b.size()) throw Exception("is not as long as its header says");
    const uint32_t count = cursor.Big16();
    if (count == 0 || cursor.Big16() != 0) throw Exception("has a malformed header");
    cursor.Skip(28);  // sfnt size, version, metadata and private blocks
    const uint64_t directoryEnd = 44 + uint64_t{20} * count;
    TTablesSeen seen;
    for (uint32_t i = 0; i < count; ++i) {
        seen.Saw(cursor.Tag());
        const uint32_t offset = cursor.Big32();
        const uint32_t compressed = cursor.Big32();
        if (compressed > cursor.Big32()) throw Exception("has a malformed table directory");
        cursor.Skip(4);  // checksum
        CheckInFile(offset, compressed, directoryEnd, b.size());
    }
    seen.Check();
}

// A 48-byte header, then per table a flags byte (a known tag's index, or
// 63 and the tag), its length and, where transformed, the transformed
// length; the compressed tables follow the directory.
void CheckWoff2(std::string_view b) {
    static constexpr std::string_view kKnownTags[] = {
        "cmap", "head", "hhea", "hmtx", "maxp", "name", "OS/2", "post", "cvt ", "fpgm", "glyf",
        "loca", "prep", "CFF ", "VORG", "EBDT", "EBLC", "gasp", "hdmx", "kern", "LTSH", "PCLT",
        "VDMX", "vhea", "vmtx", "BASE", "GDEF", "GPOS", "GSUB", "EBSC", "JSTF", "MATH", "CBDT",
        "CBLC", "COLR", "CPAL", "SVG ", "sbix", "acnt", "avar", "bdat", "bloc", "bsln", "cvar",
        "fdsc", "feat", "fmtx", "fvar", "gvar", "hsty", "just", "lcar", "mort", "morx", "opbd",
        "prop", "trak", "Zapf", "Silf", "Glat", "Gloc", "Feat", "Sill"};
    TFontCursor cursor(b, 4);
    cursor.Skip(4);  // flavor
    if (cursor.Big32() != b.size()) throw Exception("is not as long as its header says");
    const uint32_t count = cursor.Big16();
    if (count == 0 || cursor.Big16() != 0) throw Exception("has a malformed header");
    cursor.Skip(4);  // sfnt size
    const uint32_t compressedSize = cursor.Big32();
    cursor.Skip(24);  // version, metadata and private blocks
    TTablesSeen seen;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t flags = cursor.Byte();
        const uint32_t index = flags & 0x3F;
        const std::string_view tag = index == 63 ? cursor.Tag() : kKnownTags[index];
        seen.Saw(tag);
        cursor.Base128();  // original length
        const uint32_t transform = flags >> 6;
        const bool glyphs = tag == "glyf" || tag == "loca";
        if (glyphs ? transform == 0 : transform != 0) cursor.Base128();
    }
    if (cursor.At() + uint64_t{compressedSize} > b.size())
        throw Exception("has tables that lie outside the file");
    seen.Check();
}

}  // namespace

void CheckFontDirectory(std::string_view bytes) {
    const std::string_view head = bytes.substr(0, 4);
    if (head == "wOFF") return CheckWoff(bytes);
    if (head == "wOF2") return CheckWoff2(bytes);
    CheckSfnt(bytes);
}

}  // namespace qm
