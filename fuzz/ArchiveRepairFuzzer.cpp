// Builds an archive from files the input describes, damages its directory,
// repairs it with an update and aborts when the repaired entries differ from
// the ones built. Slow: files per input.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/ArchiveRepairRoutine.h"

namespace {

// The scratch folder of this process, removed when it ends (never freed, so
// it outlives every exit handler).
const std::string& ScratchDir() {
    static const std::string* dir = [] {
        const char* base = std::getenv("TMPDIR");
        auto* path = new std::string(std::string(base && *base ? base : "/tmp") +
                                     "/qm-repair-fuzz-" + std::to_string(::getpid()) + "/");
        std::atexit([] { std::filesystem::remove_all(ScratchDir()); });
        return path;
    }();
    return *dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& dir = ScratchDir();
    const std::string problem = qm::fuzz::CheckRepair(data, size, dir);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
