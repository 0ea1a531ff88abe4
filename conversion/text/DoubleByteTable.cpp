#include "conversion/text/DoubleByteTable.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "platform/CodePage.h"

namespace qm {
namespace {

constexpr size_t kPairs = 128 * 256;
constexpr size_t kBufferSize = 16384;

// ICU's own names of the encodings with a table: they read bytes below 0x80
// as ASCII and hold no state between characters, which the lookup relies on.
constexpr const char* kTableNames[] = {"gb18030", "ibm-1375_P100-2008", "windows-936-2000",
                                       "windows-950-2000"};

TConverterHandle OpenConverter(const char* name) {
    UErrorCode error = U_ZERO_ERROR;
    TConverterHandle converter(ucnv_open(name, &error));
    if (U_FAILURE(error)) throw std::runtime_error("no converter for the table");
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &error);
    return converter;
}

// The pair's entry: its UTF-8 when the converter reads the two bytes as one
// character, without error; else empty.
TDoubleByteTable::TEntry PairEntry(UConverter* converter, unsigned char first,
                                   unsigned char second) {
    TDoubleByteTable::TEntry entry{};
    const char bytes[2] = {static_cast<char>(first), static_cast<char>(second)};
    UChar units[4];
    int32_t offsets[4];
    UChar* target = units;
    const char* source = bytes;
    UErrorCode error = U_ZERO_ERROR;
    ucnv_reset(converter);
    ucnv_toUnicode(converter, &target, units + 4, &source, bytes + 2, offsets, true, &error);
    const int32_t count = static_cast<int32_t>(target - units);
    if (U_FAILURE(error) || count == 0) return entry;
    for (int32_t i = 0; i < count; ++i) {
        if (offsets[i] != 0) return entry;  // two characters, not one
    }
    int32_t length = 0;
    u_strToUTF8(entry.utf8, sizeof entry.utf8, &length, units, count, &error);
    if (U_FAILURE(error) || length <= 0 || length > static_cast<int32_t>(sizeof entry.utf8))
        return TDoubleByteTable::TEntry{};
    entry.length = static_cast<unsigned char>(length);
    return entry;
}

}  // namespace

TDoubleByteTable::TDoubleByteTable(const char* encoding) : pairs_(new TEntry[kPairs]) {
    const TConverterHandle converter = OpenConverter(encoding);
    for (size_t i = 0; i < kPairs; ++i) {
        pairs_[i] = PairEntry(converter.get(), static_cast<unsigned char>(0x80 + i / 256),
                              static_cast<unsigned char>(i % 256));
    }
}

const TDoubleByteTable* TDoubleByteTable::For(const std::string& encoding) {
    UErrorCode error = U_ZERO_ERROR;
    const TConverterHandle asked(ucnv_open(encoding.c_str(), &error));
    if (U_FAILURE(error)) return nullptr;
    const std::string name = ucnv_getName(asked.get(), &error);
    // Each table is made on first use: decoding workers asking together
    // wait for the one being made.
    static std::mutex mutex;
    static std::unique_ptr<const TDoubleByteTable> made[std::size(kTableNames)];
    for (size_t k = 0; k < std::size(kTableNames); ++k) {
        if (name != kTableNames[k]) continue;
        const std::lock_guard<std::mutex> lock(mutex);
        if (!made[k]) made[k].reset(new TDoubleByteTable(kTableNames[k]));
        return made[k].get();
    }
    return nullptr;
}

size_t TDoubleByteTable::Decode(std::string& out, std::string_view bytes) const {
    // Written into a buffer first: appending a few bytes at a time to a
    // string costs more than the lookup.
    char buffer[kBufferSize + sizeof(TEntry::utf8)];
    size_t used = 0, i = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    while (i < n) {
        if (used >= kBufferSize) {
            out.append(buffer, used);
            used = 0;
        }
        if (p[i] < 0x80) {
            buffer[used++] = static_cast<char>(p[i++]);
            continue;
        }
        if (i + 1 == n) break;
        const TEntry& entry = pairs_[static_cast<size_t>(p[i] - 0x80) * 256 + p[i + 1]];
        if (entry.length == 0) break;
        std::memcpy(buffer + used, entry.utf8, sizeof entry.utf8);
        used += entry.length;
        i += 2;
    }
    out.append(buffer, used);
    return i;
}

}  // namespace qm
