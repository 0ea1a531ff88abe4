#pragma once
// Reading one small entry of an existing archive, for a look at what the
// archive is (an EPUB's "mimetype", say) without extracting anything.
#include <cstddef>
#include <optional>
#include <string>

namespace qm {

// The content of the entry storedName (stored or deflated, not encrypted,
// at most limit bytes, its CRC-32 right); nullopt when the archive has no
// such entry or it is none of these. Raises what TZipReader raises when
// the file is not an archive whose directory can be read, or rebuilt.
std::optional<std::string> ReadSmallEntry(const std::string& archivePath,
                                          const std::string& storedName, size_t limit);

}  // namespace qm
