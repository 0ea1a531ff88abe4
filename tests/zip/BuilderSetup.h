#pragma once
// The builder set up as qm-zipdir sets it up: every file below root, stored
// with paths relative to it, into archive; and the outcome of its run.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "zip/ZipBuilder.h"

namespace qm::test {

inline void ConfigureTree(TZipBuilder& zip, const std::string& root, const std::string& archive) {
    zip.SetRootDir(root);
    zip.FilesList().push_back("*.*");
    zip.SetRelativePaths(true);
    zip.SetRecurse(true);
    zip.SetStorePaths(true);
    zip.SetZipName(archive);
}

// The number of files a run packed; a failure fails the test and gives -1.
inline int32_t Packed(TZipBuilder& zip) {
    const TZipResult<int32_t> result = zip.BuildArchive();
    if (result) return *result;
    ADD_FAILURE() << result.Error().message;
    return -1;
}

}  // namespace qm::test
