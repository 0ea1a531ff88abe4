#include "zip/SmallEntry.h"

#include <zlib.h>

#include <string_view>

#include "zip/BufferedStream.h"
#include "zip/Crc32.h"
#include "zip/LittleEndian.h"
#include "zip/RecordCursor.h"
#include "zip/ZipReader.h"
#include "zip/ZipRecords.h"

namespace qm {
namespace {

// A deflated entry of limit bytes takes little more than that.
constexpr int64_t kCompressedSlack = 1024;

std::optional<std::string> Inflated(const std::string& data, size_t limit) {
    struct Inflater {
        z_stream z{};
        bool ok = inflateInit2(&z, -15) == Z_OK;  // raw deflate, as entries hold it
        ~Inflater() {
            if (ok) inflateEnd(&z);
        }
    } inflater;
    if (!inflater.ok) return std::nullopt;
    std::string out(limit + 1, '\0');
    z_stream& z = inflater.z;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    if (inflate(&z, Z_FINISH) != Z_STREAM_END || z.total_out > limit) return std::nullopt;
    out.resize(z.total_out);
    return out;
}

std::optional<std::string> ReadEntry(const std::string& archivePath, const std::string& storedName,
                                     size_t limit) {
    TZipReader reader;
    // A torn archive is read from its local headers.
    reader.SetIncompleteZipMode(izAssumeBad);
    reader.SetZipName(archivePath);
    reader.OpenArchive();
    const TSortedZip* directory = reader.LoadedDirectory();
    const TZipHeaderInfo* entry = nullptr;
    for (int i = 0; directory && i < directory->Count() && !entry; ++i) {
        if (directory->Items(i)->StoredName() == storedName) entry = directory->Items(i);
    }
    if (!entry || (entry->GeneralPurposeFlags & kFlagEncrypted) != 0) return std::nullopt;
    const uint16_t method = entry->CompressionMethod;
    const int64_t size = entry->CompressedSize();
    const int64_t cap =
        static_cast<int64_t>(limit) + (method == kMethodDeflate ? kCompressedSlack : 0);
    if ((method != kMethodStored && method != kMethodDeflate) || size < 0 || size > cap)
        return std::nullopt;

    TBufferedFileStream file(archivePath, fmOpenRead | fmShareDenyNone);
    unsigned char header[kLocalHeaderSize];
    if (file.Seek(entry->RelativeOffset(), soBeginning) != entry->RelativeOffset() ||
        file.Read(header, kLocalHeaderSize) != kLocalHeaderSize)
        return std::nullopt;
    TReadCursor cursor(header, sizeof header);
    if (cursor.U32() != kLocalHeaderSignature) return std::nullopt;
    // Version, flags, method, time, CRC-32 and sizes: the central record's
    // are the ones to trust.
    cursor.Skip(22);
    const uint16_t nameLength = cursor.U16();
    const uint16_t extraLength = cursor.U16();
    const int64_t dataAt = entry->RelativeOffset() + kLocalHeaderSize + nameLength + extraLength;
    std::string data(static_cast<size_t>(size), '\0');
    if (file.Seek(dataAt, soBeginning) != dataAt || file.Read(data.data(), size) != size)
        return std::nullopt;

    std::optional<std::string> content = method == kMethodStored
                                             ? std::optional<std::string>(std::move(data))
                                             : Inflated(data, limit);
    if (!content || content->size() > limit ||
        Crc32Of(content->data(), content->size()) != entry->Crc32)
        return std::nullopt;
    return content;
}

}  // namespace

TZipResult<bool> StartsLikeAnArchive(const std::string& path) {
    return Capture([&path] {
        unsigned char head[4] = {};
        TBufferedFileStream file(path, fmOpenRead | fmShareDenyNone);
        if (file.Read(head, sizeof head) != sizeof head) return false;
        const uint32_t signature = le::Get32(head);
        return signature == kLocalHeaderSignature || signature == kEndRecordSignature ||
               signature == kDataDescriptorSignature;
    });
}

TZipResult<std::optional<std::string>> ReadSmallEntry(const std::string& archivePath,
                                                      const std::string& storedName, size_t limit) {
    return Capture([&] { return ReadEntry(archivePath, storedName, limit); });
}

}  // namespace qm
