// Feeds arbitrary bytes (a book, its title, author, file name and option
// values) to whole conversions of both layouts through files and an archive,
// and aborts when a document is not well-formed UTF-8 XML, the pages lose
// text, or a failed run leaves a book. Slow: files per input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/BookFilesRoutine.h"
#include "fuzz/ScratchDir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& dir = qm::fuzz::ScratchDir("qm-book-fuzz-");
    const std::string problem = qm::fuzz::CheckBookFiles(data, size, dir);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
