#pragma once
// Reading one small entry of an existing archive, for a look at what the
// archive is (an EPUB's "mimetype", say) without extracting anything.
#include <cstddef>
#include <optional>
#include <string>

#include "zip/ZipResult.h"

namespace qm {

// Whether the file starts as an archive does: an entry, or the end record
// of an empty one. Anything else is no archive, and is not searched for one.
// Fails (OpenFailed) when the file cannot be opened.
TZipResult<bool> StartsLikeAnArchive(const std::string& path);

// The content of the entry storedName (stored or deflated, not encrypted,
// at most limit bytes, its CRC-32 right); nullopt when the archive has no
// such entry or it is none of these. Fails with the reader's reason when
// the file is not an archive whose directory can be read, or rebuilt.
TZipResult<std::optional<std::string>> ReadSmallEntry(const std::string& archivePath,
                                                      const std::string& storedName, size_t limit);

}  // namespace qm
