#pragma once
// Reads the directory of an archive file in every incomplete-archive mode
// and walks everything the reader offers, as a hostile file would be read
// during an update, and updates it. Shared by the fuzz target and the corpus
// replay test.
#include <fstream>
#include <iterator>
#include <string>

#include "platform/Exceptions.h"
#include "zip/MemoryStream.h"
#include "zip/ZipBuilder.h"
#include "zip/ZipReader.h"

namespace qm::fuzz {

// What one read came to, for the replay test to report.
struct ReadOutcome {
    int entries = -1;        // -1: the read raised
    std::string error;       // the message when it raised
    bool consistent = true;  // every record agreed with itself
};

inline ReadOutcome ReadDirectoryOnce(const std::string& path, TIncompleteZipMode mode) {
    ReadOutcome outcome;
    TZipReader reader;
    int pumps = 0;
    reader.MessagePump = [&pumps] { ++pumps; };
    try {
        reader.SetZipName(path);
        reader.SetIncompleteZipMode(mode);
        reader.OpenArchive();
        outcome.entries = reader.Count();
        reader.LoadArchiveComment();
        TBufferedFileStream source(path, fmOpenRead | fmShareDenyWrite);
        TMemoryStream sink;
        for (int i = 0; i < reader.Count(); ++i) {
            auto& entry = const_cast<TZipHeaderInfo&>(reader.Entry(i));
            if (entry.FileNameLength != entry.StoredName().size()) outcome.consistent = false;
            reader.EntryDateTime(i);
            reader.LoadEntryComment(entry);
            // Writing it again must give a header that reads back the same.
            const int64_t at = sink.Position();
            entry.WriteCentralHeader(sink, &source);
            sink.SetPosition(at);
            TZipHeaderInfo back;
            if (!back.ReadCentralHeader(sink) || back.StoredName() != entry.StoredName() ||
                back.CompressedSize() != entry.CompressedSize() ||
                back.UncompressedSize() != entry.UncompressedSize() ||
                back.RelativeOffset() != entry.RelativeOffset())
                outcome.consistent = false;
            sink.Seek(0, soEnd);
        }
        for (int sort = ByName; sort <= ByNone; ++sort) {
            reader.SortView(static_cast<TZipSortMode>(sort));
            if (reader.Count() != outcome.entries) outcome.consistent = false;
        }
        TEndCentral end;
        end.Assign(reader.EndCentral());
        end.WriteEndRecord(sink);
    } catch (const Exception& error) {
        outcome.entries = -1;
        outcome.error = error.Message();
    }
    return outcome;
}

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
    try {
        zip.BuildArchive();
    } catch (const Exception&) {
        return FileBytes(path) == before;
    }
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
