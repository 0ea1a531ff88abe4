// Builds an archive from files the input describes, damages its directory,
// repairs it with an update and aborts when the repaired entries differ from
// the ones built. Slow: files per input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/ArchiveRepairRoutine.h"
#include "fuzz/ScratchDir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& dir = qm::fuzz::ScratchDir("qm-repair-fuzz-");
    const std::string problem = qm::fuzz::CheckRepair(data, size, dir);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
