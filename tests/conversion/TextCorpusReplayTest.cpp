// Every file of the text fuzzing corpus goes through the fuzz target's
// routine, so what was found once stays fixed without clang's fuzzer.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz/BookTextRoutine.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

TEST(TextCorpusReplay, EveryBookConvertsToWellFormedPagesThatHoldItsText) {
    const std::string dir = std::string(QM_SOURCE_DIR) + "/fuzz/text-corpus/";
    std::vector<std::string> files;
    if (DIR* handle = ::opendir(dir.c_str())) {
        while (const dirent* item = ::readdir(handle)) {
            if (item->d_name[0] != '.') files.push_back(item->d_name);
        }
        ::closedir(handle);
    }
    std::sort(files.begin(), files.end());
    ASSERT_GE(files.size(), 6u);
    test::ScratchDir scratch;
    for (const std::string& name : files) {
        const std::string bytes = test::ReadFile(dir + name);
        EXPECT_EQ(fuzz::ConvertAndCheck(reinterpret_cast<const uint8_t*>(bytes.data()),
                                        bytes.size(), scratch.Path()),
                  "")
            << name;
    }
}

}  // namespace
}  // namespace qm
