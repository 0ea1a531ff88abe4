#include "conversion/BookTarget.h"

#include <cstdint>
#include <exception>
#include <optional>

#include "platform/Exceptions.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "zip/SmallEntry.h"
#include "zip/ZipBuilder.h"

namespace qm {

const char* const kNotABookTargetFormat =
    "\"%s\" exists and is not an EPUB book; it was left unchanged.";

namespace {

constexpr const char* kEpubType = "application/epub+zip";
// A mimetype entry is its type and perhaps a line end; anything longer is
// something else.
constexpr size_t kTypeLimit = 64;

bool SaysEpub(std::string type) {
    while (!type.empty() && (type.back() == '\n' || type.back() == '\r' || type.back() == ' '))
        type.pop_back();
    return type == kEpubType;
}

}  // namespace

void CheckBookTarget(const std::string& path) {
    int64_t size = 0;
    if (FileKindOf(path) != TFileKind::Regular || !FileSizeOf(path, size) || size == 0) return;
    std::optional<std::string> type;
    bool archive = true;
    try {
        type = ReadSmallEntry(path, "mimetype", kTypeLimit);
    } catch (const EFOpenError&) {
        throw;  // unreadable says more than "not an archive"
    } catch (const std::exception&) {
        archive = false;
    }
    if (type && SaysEpub(*type)) return;
    throw Exception(Format(archive ? kNotABookTargetFormat : kNotAZipTargetFormat, path.c_str()));
}

}  // namespace qm
