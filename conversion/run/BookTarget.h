#pragma once
// What a conversion may replace at the path the user chose: an earlier book,
// nothing else.
#include <string>

#include "conversion/run/RunResult.h"

namespace qm {

// The refusal of an existing archive that is not an EPUB book.
extern const char* const kNotABookTargetFormat;

// Fails (kind NotABook) when path names an existing file that a conversion
// must not replace: anything but an EPUB book (a ZIP archive whose
// "mimetype" entry says "application/epub+zip") or an empty file. A file
// that is no archive at all gets the archive builder's own refusal
// (kNotAZipTargetFormat); one that cannot be opened, kind Unreadable. A
// missing path, or one that is not a regular file, passes: writing there
// fails with its own message.
TRunStatus CheckBookTarget(const std::string& path);

}  // namespace qm
