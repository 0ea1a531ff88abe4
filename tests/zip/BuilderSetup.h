#pragma once
// The builder set up as the conversion sets it up: every file below root,
// stored with paths relative to it, into archive.
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

}  // namespace qm::test
