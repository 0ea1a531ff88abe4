#pragma once
// Updates an archive file of arbitrary bytes with a new file, through the
// whole builder: work file, commit and all. Shared by the slow fuzz target
// and the corpus replay test.
#include <fstream>
#include <iterator>
#include <string>

#include "platform/Exceptions.h"
#include "zip/ZipBuilder.h"
#include "zip/ZipReader.h"

namespace qm::fuzz {

inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Updates the archive file with the files of sourceDir. Whatever its bytes,
// the update either fails and leaves them as they were, or writes an archive
// that reads back with the entries the builder holds, each local header and
// its data lying in front of the central directory.
inline bool UpdateKeepsItsPromises(const std::string& path, const std::string& sourceDir) {
    const std::string before = FileBytes(path);
    TZipBuilder zip;
    zip.SetIncompleteZipMode(izAssumeBad);
    zip.SetRootDir(sourceDir);
    zip.FilesList().push_back("*.*");
    zip.SetRelativePaths(true);
    zip.SetZipName(path);
    if (!zip.BuildArchive()) return FileBytes(path) == before;
    try {
        TZipReader reader;
        reader.SetZipName(path);
        reader.OpenArchive();
        if (reader.Rebuilding() || reader.Count() != zip.Count()) return false;
        const int64_t centralStart = reader.EndCentral().CentralDirOffset();
        TBufferedFileStream in(path, fmOpenRead | fmShareDenyWrite);
        for (int i = 0; i < reader.Count(); ++i) {
            const TZipHeaderInfo& entry = reader.Entry(i);
            TZipHeaderInfo local;
            in.SetPosition(entry.RelativeOffset());
            if (!local.ReadLocalHeader(in) || local.StoredName() != entry.StoredName())
                return false;
            const int64_t end = entry.RelativeOffset() + kLocalHeaderSize + local.FileNameLength +
                                local.LocalExtraLength + entry.CompressedSize();
            if (entry.CompressedSize() < 0 || end > centralStart) return false;
        }
    } catch (const Exception&) {
        return false;
    }
    return true;
}

}  // namespace qm::fuzz
