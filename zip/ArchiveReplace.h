#pragma once
// Puts a finished work file in the place of the archive it updates, so that
// the previous archive stays intact until its replacement is complete.
#include <string>

namespace qm {

// Moves workFile over archive. On the same file system a rename does it at
// once. Across file systems (EXDEV) the work file is first copied to a
// temporary name beside the archive and flushed, and that copy is renamed
// over the archive. The archive's permission bits carry over. The old archive
// is never deleted first: on any failure it is left as it was, the temporary
// copy is removed, and Exception "Could not copy from <work> -> <archive>:
// Error" is raised. The work file is removed once the archive is replaced.
void ReplaceArchiveWithWorkFile(const std::string& workFile, const std::string& archive);

}  // namespace qm
