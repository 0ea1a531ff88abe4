#pragma once
// Reads an archive's directory from bytes in memory in every
// incomplete-archive mode (the directory, local headers, extra fields,
// descriptors and the rebuild from local headers) and walks everything the
// reader offers, as a hostile file would be read during an update. Nothing
// touches a file. Shared by the fast fuzz target and the corpus replay test.
#include <memory>
#include <string>

#include "platform/Exceptions.h"
#include "zip/MemoryStream.h"
#include "zip/ZipReader.h"

namespace qm::fuzz {

// What one read came to, for the replay test to report.
struct ReadOutcome {
    int entries = -1;        // -1: the read raised
    std::string error;       // the message when it raised
    bool consistent = true;  // every record agreed with itself
};

// name stands for the file's: an ".EXE" moves the start of a rebuild.
inline ReadOutcome ReadArchiveOnce(const std::string& bytes, const std::string& name,
                                   TIncompleteZipMode mode) {
    ReadOutcome outcome;
    TZipReader reader;
    try {
        reader.SetIncompleteZipMode(mode);
        reader.OpenArchiveStream(std::make_unique<TMemoryStream>(bytes), name);
        outcome.entries = reader.Count();
        reader.LoadArchiveComment();
        TMemoryStream source(bytes);
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

// The name the bytes are read under: the first byte's low bit picks a
// self-extractor's.
inline std::string ArchiveNameFor(const std::string& bytes) {
    return !bytes.empty() && (bytes[0] & 1) ? "archive.EXE" : "archive.zip";
}

}  // namespace qm::fuzz
