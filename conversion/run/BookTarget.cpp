#include "conversion/run/BookTarget.h"

#include <cstdint>
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

// Unreadable says more than "not an archive".
bool Unopened(const TZipError& error) {
    return error.kind == TZipError::Kind::OpenFailed;
}
TRunError Unreadable(const TZipError& error) {
    return {TRunError::Kind::Unreadable, error.message};
}

bool SaysEpub(std::string type) {
    while (!type.empty() && (type.back() == '\n' || type.back() == '\r' || type.back() == ' '))
        type.pop_back();
    return type == kEpubType;
}

}  // namespace

TRunStatus CheckBookTarget(const std::string& path) {
    // What a name is refused for before any work: the writer asks the same.
    try {
        ReplacedTarget(path);
    } catch (const EFOpenError& refused) {
        return TRunError{TRunError::Kind::NotABook, refused.what()};
    }
    int64_t size = 0;
    if (FileKindOf(path) != TFileKind::Regular || !FileSizeOf(path, size) || size == 0) return {};
    const TZipResult<bool> starts = StartsLikeAnArchive(path);
    if (!starts && Unopened(starts.Error())) return Unreadable(starts.Error());
    bool archive = starts && *starts;
    if (archive) {
        const TZipResult<std::optional<std::string>> type =
            ReadSmallEntry(path, "mimetype", kTypeLimit);
        if (!type && Unopened(type.Error())) return Unreadable(type.Error());
        if (type && *type && SaysEpub(**type)) return {};
        archive = static_cast<bool>(type);
    }
    return TRunError{TRunError::Kind::NotABook,
                     Format(archive ? kNotABookTargetFormat : kNotAZipTargetFormat, path.c_str())};
}

}  // namespace qm
