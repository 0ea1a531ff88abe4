// Every file of the text fuzzing corpora goes through the fuzz targets'
// routines (the text side in memory, and whole conversions through files),
// so what was found once stays fixed without clang's fuzzer.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz/BookFilesRoutine.h"
#include "fuzz/BookTextRoutine.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

std::vector<std::string> CorpusFiles(const char* corpus) {
    const std::string dir = std::string(QM_SOURCE_DIR) + "/fuzz/" + corpus + "/";
    std::vector<std::string> files;
    if (DIR* handle = ::opendir(dir.c_str())) {
        while (const dirent* item = ::readdir(handle)) {
            if (item->d_name[0] != '.') files.push_back(dir + item->d_name);
        }
        ::closedir(handle);
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(TextCorpusReplay, EveryBookGivesWellFormedDocumentsThatHoldItsText) {
    const std::vector<std::string> memory = CorpusFiles("text-corpus");
    const std::vector<std::string> files = CorpusFiles("files-corpus");
    ASSERT_GE(memory.size(), 6u);
    ASSERT_GE(files.size(), 3u);
    for (const std::string& file : memory) {
        const std::string bytes = test::ReadFile(file);
        EXPECT_EQ(fuzz::CheckBookText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
                  "")
            << file;
    }
    test::ScratchDir scratch;
    for (const std::string& file : files) {
        const std::string bytes = test::ReadFile(file);
        EXPECT_EQ(fuzz::CheckBookFiles(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                       scratch.Path()),
                  "")
            << file;
    }
}

}  // namespace
}  // namespace qm
