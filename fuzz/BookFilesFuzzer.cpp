// Feeds arbitrary bytes (a book, its title, author, file name and option
// values) to whole conversions of both layouts through files and an archive,
// and aborts when a document is not well-formed UTF-8 XML, the pages lose
// text, or a failed run leaves a book. Slow: files per input.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/BookFilesRoutine.h"

namespace {

// The scratch folder of this process, removed when it ends (never freed, so
// it outlives every exit handler).
const std::string& ScratchDir() {
    static const std::string* dir = [] {
        const char* base = std::getenv("TMPDIR");
        auto* path = new std::string(std::string(base && *base ? base : "/tmp") + "/qm-book-fuzz-" +
                                     std::to_string(::getpid()) + "/");
        ::mkdir(path->c_str(), 0700);
        std::atexit([] { std::filesystem::remove_all(ScratchDir()); });
        return path;
    }();
    return *dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& dir = ScratchDir();
    const std::string problem = qm::fuzz::CheckBookFiles(data, size, dir);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
