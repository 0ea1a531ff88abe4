// Every file of the archive fuzzing corpora goes through the fuzz targets'
// routines (the read in memory, the update and the repair round trip), so
// what was found once stays fixed without clang's fuzzer.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz/ArchiveRepairRoutine.h"
#include "fuzz/ArchiveUpdateRoutine.h"
#include "fuzz/ReadDirectoryRoutine.h"
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

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

TEST(CorpusReplay, EveryCorpusFileReadsWithoutHarm) {
    const std::vector<std::string> files = CorpusFiles("corpus");
    ASSERT_GE(files.size(), 8u);
    for (const std::string& file : files) {
        const std::string name = file.substr(file.rfind('/') + 1);
        const std::string bytes = test::ReadFile(file);
        for (auto mode : {izAssumeMulti, izAssumeBad, izAssumeNotAZip}) {
            SCOPED_TRACE(name + " mode " + std::to_string(mode));
            const fuzz::ReadOutcome outcome =
                fuzz::ReadArchiveOnce(bytes, fuzz::ArchiveNameFor(bytes), mode);
            EXPECT_TRUE(outcome.consistent);
            // The archives made by real tools must read in full.
            for (const char* tool : {"infozip", "sevenzip", "bsdtar", "python"}) {
                if (StartsWith(name, tool)) {
                    EXPECT_GE(outcome.entries, 1) << outcome.error;
                }
            }
            if (name == "empty.zip") {
                EXPECT_EQ(outcome.entries, 0);
            }
        }
        // The update works on a copy; the target picks the ".EXE" name by
        // the first byte's low bit.
        test::ScratchDir dir;
        test::MakeDirs(dir / "src");
        test::WriteFile(dir / "src/new.txt", "new");
        const std::string copy = dir / fuzz::ArchiveNameFor(bytes);
        test::WriteFile(copy, bytes);
        // The file and the same bytes in memory read alike.
        TZipReader reader;
        reader.SetIncompleteZipMode(izAssumeBad);
        int fromFile = -1;
        try {
            reader.SetZipName(copy);
            reader.OpenArchive();
            fromFile = reader.Count();
        } catch (const Exception&) {
        }
        EXPECT_EQ(fromFile, fuzz::ReadArchiveOnce(bytes, copy, izAssumeBad).entries) << name;
        reader.CloseArchive();
        EXPECT_TRUE(fuzz::UpdateKeepsItsPromises(copy, dir / "src")) << name;
    }
}

TEST(CorpusReplay, EveryDamagedArchiveIsRepairedToTheEntriesItWasBuiltFrom) {
    const std::vector<std::string> files = CorpusFiles("repair-corpus");
    ASSERT_GE(files.size(), 3u);
    test::ScratchDir dir;
    for (const std::string& file : files) {
        const std::string bytes = test::ReadFile(file);
        EXPECT_EQ(fuzz::CheckRepair(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                    dir / "repair/"),
                  "")
            << file;
    }
}

}  // namespace
}  // namespace qm
