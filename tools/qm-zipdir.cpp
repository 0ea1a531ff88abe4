// qm-zipdir: packs every file below a directory into a ZIP archive, updating
// the archive when it exists, with the same builder the conversion uses.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "zip/ZipBuilder.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: qm-zipdir [-l LEVEL] [-a update|replace|freshen] ARCHIVE DIR\n");
    return 2;
}

const char* SkipReasonText(qm::TSkipReason reason) {
    switch (reason) {
        case qm::srNoOverwrite:
            return "an entry of that name is already in the archive";
        case qm::srFileOpenError:
            return "cannot be read";
        case qm::srExcludeList:
            return "excluded";
        case qm::srArchiveBitNotSet:
            return "archive bit not set";
        case qm::srNoFileToFreshen:
            return "not in the archive";
        case qm::srSkippedInStartZip:
            return "skipped by the caller";
        default:
            return "skipped";
    }
}

}  // namespace

int main(int argc, char** argv) {
    int level = 6;
    qm::TZipAction action = qm::zaUpdate;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) return Usage();
        const std::string value = argv[++i];
        if (option == "-l") {
            if (value.size() != 1 || value[0] < '0' || value[0] > '9') return Usage();
            level = value[0] - '0';
        } else if (option == "-a") {
            if (value == "update") {
                action = qm::zaUpdate;
            } else if (value == "replace") {
                action = qm::zaReplace;
            } else if (value == "freshen") {
                action = qm::zaFreshen;
            } else {
                return Usage();
            }
        } else {
            return Usage();
        }
    }
    if (argc - i != 2) return Usage();
    try {
        qm::TZipBuilder zip;
        zip.SetRootDir(argv[i + 1]);
        zip.FilesList().push_back("*.*");
        zip.SetRelativePaths(true);
        zip.SetRecurse(true);
        zip.SetStorePaths(true);
        zip.SetZipName(argv[i]);
        zip.SetPackLevel(level);
        zip.SetZipAction(action);
        zip.WarningBox = [](const std::string& caption, const std::string& text) {
            std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        };
        zip.OnSkippingFile = [](qm::TZipBuilder&, qm::TSkipReason reason,
                                const std::string& name, int32_t, bool&) {
            std::fprintf(stderr, "skipped: %s (%s)\n", name.c_str(), SkipReasonText(reason));
        };
        std::printf("%d\n", zip.BuildArchive());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
