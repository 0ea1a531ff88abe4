// Feeds arbitrary bytes to the archive reader as an archive held in memory,
// in every incomplete-archive mode; aborts when a record does not agree with
// itself. No file, thread or sleep per input.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/ReadDirectoryRoutine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string name = qm::fuzz::ArchiveNameFor(bytes);
    for (auto mode : {qm::izAssumeMulti, qm::izAssumeBad, qm::izAssumeNotAZip}) {
        if (!qm::fuzz::ReadArchiveOnce(bytes, name, mode).consistent) std::abort();
    }
    return 0;
}
