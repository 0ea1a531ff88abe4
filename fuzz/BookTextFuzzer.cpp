// Feeds arbitrary bytes to the text side of a conversion as a .txt book and
// aborts when a page is not well-formed or loses or changes the text.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/BookTextRoutine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string dir = [] {
        const char* base = std::getenv("TMPDIR");
        const std::string path = std::string(base && *base ? base : "/tmp") + "/qm-text-fuzz-" +
                                 std::to_string(::getpid()) + "/";
        ::mkdir(path.c_str(), 0700);
        return path;
    }();
    const std::string problem = qm::fuzz::ConvertAndCheck(data, size, dir);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
