// Feeds arbitrary bytes to the text side of both layouts in memory and
// aborts when a document is not well-formed UTF-8 XML or the pages lose or
// change the text. No file, thread or sleep per input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/BookTextRoutine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string problem = qm::fuzz::CheckBookText(data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
