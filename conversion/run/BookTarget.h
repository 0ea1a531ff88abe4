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
// path that names no regular file, links followed (a named pipe, a device,
// a directory, a link to nothing), fails with ReplacedTarget's reason, kind
// NotABook. A missing path passes.
TRunStatus CheckBookTarget(const std::string& path);

}  // namespace qm
