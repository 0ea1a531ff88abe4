// qm-zipdir: packs every file below a directory into a ZIP archive, updating
// the archive when it exists, with the same builder the conversion uses.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "zip/ZipBuilder.h"

namespace {

struct TZipDirOptions {
    int level = 6;
    qm::TZipAction action = qm::zaUpdate;
    bool help = false;
};

std::vector<qm::TOption> OptionTable(TZipDirOptions& o) {
    return {
        {'l', "level", "LEVEL", "compression level, 0 (stored) to 9 (default: 6)",
         [&o](const std::string& value, std::string&) {
             return qm::ParseBoundedInt(value, 0, 9, o.level);
         }},
        {'a', "action", "ACTION",
         "update (default): add new and newer files;\nreplace: add or replace every file;\n"
         "freshen: replace only files already in ARCHIVE",
         [&o](const std::string& value, std::string&) {
             const struct {
                 const char* name;
                 qm::TZipAction action;
             } actions[] = {
                 {"update", qm::zaUpdate}, {"replace", qm::zaReplace}, {"freshen", qm::zaFreshen}};
             for (const auto& known : actions) {
                 if (value == known.name) {
                     o.action = known.action;
                     return true;
                 }
             }
             return false;
         }},
        {0, "help", "", "show this help",
         [&o](const std::string&, std::string&) { return o.help = true; }},
    };
}

std::string UsageText() {
    TZipDirOptions unused;
    return "Usage: qm-zipdir [OPTION]... ARCHIVE DIR\n"
           "Packs every file below DIR into the ZIP archive ARCHIVE, updating it when it\n"
           "exists, and prints the number of files packed.\n" +
           qm::OptionsHelp(OptionTable(unused));
}

int Usage(const std::string& error) {
    std::fprintf(stderr, "qm-zipdir: %s\n%s", error.c_str(), UsageText().c_str());
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
    TZipDirOptions options;
    std::vector<std::string> operands;
    std::string error;
    if (!qm::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), OptionTable(options),
                              operands, error)) {
        return Usage(error);
    }
    if (options.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (operands.size() != 2) return Usage("ARCHIVE and DIR are needed, and nothing more");
    const int level = options.level;
    const qm::TZipAction action = options.action;
    try {
        qm::TZipBuilder zip;
        zip.SetRootDir(operands[1]);
        zip.FilesList().push_back("*.*");
        zip.SetRelativePaths(true);
        zip.SetRecurse(true);
        zip.SetStorePaths(true);
        zip.SetZipName(operands[0]);
        zip.SetPackLevel(level);
        zip.SetZipAction(action);
        zip.WarningBox = [](const std::string& caption, const std::string& text) {
            std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        };
        zip.OnSkippingFile = [](qm::TZipBuilder&, qm::TSkipReason reason, const std::string& name,
                                int32_t, bool&) {
            std::fprintf(stderr, "skipped: %s (%s)\n", name.c_str(), SkipReasonText(reason));
        };
        std::printf("%d\n", zip.BuildArchive());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
