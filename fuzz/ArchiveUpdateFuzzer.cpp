// Writes arbitrary bytes to a file and updates it as an archive through the
// whole builder (work file, commit); aborts when the update neither fails
// cleanly nor writes an archive that reads back. Slow: files per input.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/ArchiveUpdateRoutine.h"

namespace {

std::string TempPath(const char* extension) {
    const char* base = std::getenv("TMPDIR");
    std::string path = std::string(base && *base ? base : "/tmp") + "/qm-fuzz-" +
                       std::to_string(::getpid()) + extension;
    return path;
}

void WriteAll(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string zipPath = TempPath(".zip");
    static const std::string exePath = TempPath(".EXE");
    const std::string& path = size > 0 && (data[0] & 1) ? exePath : zipPath;
    WriteAll(path, data, size);
    static const bool made = [] {
        ::mkdir(TempPath("-src/").c_str(), 0700);
        WriteAll(TempPath("-src/new.txt"), reinterpret_cast<const uint8_t*>("new"), 3);
        // Nothing of this process is left behind when it ends.
        std::atexit([] { std::filesystem::remove_all(TempPath("-src/")); });
        return true;
    }();
    (void)made;
    const std::string sourceDir = TempPath("-src/");
    if (!qm::fuzz::UpdateKeepsItsPromises(path, sourceDir)) std::abort();
    ::unlink(path.c_str());
    return 0;
}
