#pragma once
// What one run of TZipBuilder owns, shared by the builder's two source files
// (choosing the files; merging and packing them).
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/FileSystem.h"
#include "zip/EndCentral.h"
#include "zip/ZipBuilder.h"
#include "zip/ZipWriter.h"

namespace qm {

// Everything one run owns; released when the run ends, however it ends. The
// writer goes first: an archive not committed by then is removed.
struct TZipBuilder::RunState {
    std::vector<bool> consumed;  // parallel to FilesList: taken by the merge
    std::vector<std::string> wildcards;
    TFileIdentity archiveId;
    std::string archiveName;
    std::string replaceTarget;  // the file the result replaces (links resolved)
    bool updating = false;
    std::unordered_set<std::string> writtenNames;  // NameKey of every entry given to the writer
    std::unordered_set<std::string> loadedNames;   // NameKeys, for freshening
    TEndCentral newEnd;
    int32_t count = 0;
    std::unique_ptr<TZipWriter> writer;
};

}  // namespace qm
