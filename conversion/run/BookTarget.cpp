#include "conversion/run/BookTarget.h"

#include <cstdint>
#include <exception>
#include <optional>

#include "platform/Exceptions.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "zip/BufferedStream.h"
#include "zip/LittleEndian.h"
#include "zip/SmallEntry.h"
#include "zip/ZipBuilder.h"
#include "zip/ZipRecords.h"

namespace qm {

const char* const kNotABookTargetFormat =
    "\"%s\" exists and is not an EPUB book; it was left unchanged.";

namespace {

constexpr const char* kEpubType = "application/epub+zip";
// A mimetype entry is its type and perhaps a line end; anything longer is
// something else.
constexpr size_t kTypeLimit = 64;

// Whether the file starts as an archive does: an entry, or the end record
// of an empty one. Anything else is no archive, and is not searched for one.
bool StartsLikeAnArchive(const std::string& path) {
    unsigned char head[4] = {};
    TBufferedFileStream file(path, fmOpenRead | fmShareDenyNone);
    if (file.Read(head, sizeof head) != sizeof head) return false;
    const uint32_t signature = le::Get32(head);
    return signature == kLocalHeaderSignature || signature == kEndRecordSignature ||
           signature == kDataDescriptorSignature;
}

bool SaysEpub(std::string type) {
    while (!type.empty() && (type.back() == '\n' || type.back() == '\r' || type.back() == ' '))
        type.pop_back();
    return type == kEpubType;
}

}  // namespace

TRunStatus CheckBookTarget(const std::string& path) {
    int64_t size = 0;
    if (FileKindOf(path) != TFileKind::Regular || !FileSizeOf(path, size) || size == 0) return {};
    std::optional<std::string> type;
    bool archive = true;
    try {
        archive = StartsLikeAnArchive(path);
        if (archive) type = ReadSmallEntry(path, "mimetype", kTypeLimit);
    } catch (const EFOpenError& error) {
        // Unreadable says more than "not an archive".
        return TRunError{TRunError::Kind::Unreadable, error.what()};
    } catch (const std::exception&) {
        archive = false;
    }
    if (type && SaysEpub(*type)) return {};
    return TRunError{TRunError::Kind::NotABook,
                     Format(archive ? kNotABookTargetFormat : kNotAZipTargetFormat, path.c_str())};
}

}  // namespace qm
