#pragma once
// What one build run of TZipBuilder owns, shared by the builder's two source
// files (the run and its files; one file's packing).
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/FileSystem.h"
#include "zip/ArchiveWriter.h"
#include "zip/EndCentral.h"
#include "zip/ZipBuilder.h"

namespace qm {

// Everything one run owns; released when the run ends, however it ends.
// The writer goes first: an archive not committed by then is removed.
struct TZipBuilder::RunState {
    std::vector<int64_t> sizes;  // parallel to FilesList: each item's size
    std::vector<bool> consumed;  // parallel to FilesList: taken by the merge
    std::vector<std::string> wildcards;
    TFileIdentity archiveId;
    std::string archiveName;
    std::string replaceTarget;  // the file the result replaces (links resolved)
    bool updating = false;
    std::unordered_set<std::string> writtenNames;  // NameKey of every entry given to the writer
    TEndCentral newEnd;
    std::unordered_map<std::string, bool> loadedNames;  // NameKeys, for freshening
    std::vector<std::string> compressedSources;
    int32_t count = 0;
    std::unique_ptr<TArchiveWriter> writer;
};

}  // namespace qm
