// qm-zipdir: packs every file below a directory into a ZIP archive, updating
// the archive when it exists, with the same builder the conversion uses.
// Every regular file is packed (dot-files too, names case-sensitive); a file
// that cannot be packed is named and makes the exit status 1.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "zip/DirSearch.h"
#include "zip/StoredName.h"
#include "zip/ZipBuilder.h"

namespace {

struct TZipDirOptions {
    int level = 6;
    int threads = 0;
    qm::TZipAction action = qm::zaUpdate;
    bool help = false;
    bool version = false;
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
        {'j', "jobs", "N", "deflate with N threads (default: one per core)",
         [&o](const std::string& value, std::string&) {
             return qm::ParseBoundedInt(value, 1, 1024, o.threads);
         }},
        {'h', "help", "", "show this help",
         [&o](const std::string&, std::string&) { return o.help = true; }},
        {'V', "version", "", "show the version",
         [&o](const std::string&, std::string&) { return o.version = true; }},
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

constexpr uint16_t kHostUnix = 3;  // "version made by": the file system of origin

// What a file that the walk passes over is, for the message that names it.
const char* PassedOverKind(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return "no longer there";
    if (S_ISLNK(st.st_mode)) {
        struct stat target {};
        if (::stat(path.c_str(), &target) != 0) return "a link to nothing";
        return S_ISDIR(target.st_mode) ? "a link to a directory, not followed"
                                       : "a link to no regular file";
    }
    if (S_ISFIFO(st.st_mode)) return "a named pipe, not a regular file";
    if (S_ISSOCK(st.st_mode)) return "a socket, not a regular file";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device, not a regular file";
    return "not a regular file";
}

// Names every file below dir that the builder's walk passes over without
// a word (FIFOs, sockets, devices, links to nothing or to directories: the
// "system" files of its search mask). The same walk, with that mask bit
// added, finds exactly those. They are left out by design, as zip does, so
// they do not make the run fail: a tree holding a socket still packs.
void NamePassedOver(const std::string& dir) {
    constexpr uint32_t kEverything = 0x3F;
    qm::TDirSearch search(dir, kEverything, true, "*");
    qm::TSearchRec rec;
    for (std::string found = search.NextFile(rec); !found.empty(); found = search.NextFile(rec)) {
        if (found.back() == '/' || !(rec.Attr & qm::faSysFile)) continue;
        std::fprintf(stderr, "skipped: %s (%s)\n", found.c_str(), PassedOverKind(found));
    }
}

// A missing or unreadable DIR would make an empty archive look like success.
bool CheckDirectory(const std::string& dir) {
    struct stat st {};
    int error = 0;
    if (::stat(dir.c_str(), &st) != 0) {
        error = errno;
    } else if (!S_ISDIR(st.st_mode)) {
        error = ENOTDIR;
    } else if (DIR* handle = ::opendir(dir.c_str())) {
        ::closedir(handle);
    } else {
        error = errno;
    }
    if (error == 0) return true;
    std::fprintf(stderr, "qm-zipdir: cannot read directory %s: %s\n", dir.c_str(),
                 std::strerror(error));
    return false;
}

// An entry whose name is UTF-8 beyond ASCII is flagged so and marked as made
// by Unix: unzip reads a name from an MS-DOS host as an OEM code page
// whatever the flag says; from a Unix host it takes it as it is. A Unix
// host's entry carries its file mode in the high half.
void MarkUtf8Entry(const std::string& path, qm::TZipHeaderInfo& header) {
    if (!qm::IsUtf8BeyondAscii(header.StoredName())) return;
    header.GeneralPurposeFlags |= qm::kFlagUtf8Names;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return;
    header.VersionMadeBy = static_cast<uint16_t>((kHostUnix << 8) | (header.VersionMadeBy & 0xFF));
    header.ExternalAttributes =
        (static_cast<uint32_t>(st.st_mode) << 16) | (header.ExternalAttributes & 0xFF);
}

// The builder set to pack every file below dir into archive; what it leaves
// out is named on stderr and sets filesLeftOut.
void SetUpBuilder(qm::TZipBuilder& zip, const TZipDirOptions& options, const std::string& archive,
                  const std::string& dir, bool& filesLeftOut) {
    zip.SetRootDir(dir);
    zip.FilesList().push_back("*.*");
    zip.SetRelativePaths(true);
    zip.SetRecurse(true);
    zip.SetStorePaths(true);
    zip.SetZipName(archive);
    zip.SetPackLevel(options.level);
    zip.SetThreads(options.threads);
    zip.SetZipAction(options.action);
    zip.SetIncludeHiddenFiles(true);
    zip.SetCaseSensitiveNames(true);
    zip.WarningBox = [](const std::string& caption, const std::string& text) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    };
    zip.OnSkippingFile = [&filesLeftOut](qm::TZipBuilder&, qm::TSkipReason reason,
                                         const std::string& name, int32_t, bool&) {
        std::fprintf(stderr, "skipped: %s (%s)\n", name.c_str(), SkipReasonText(reason));
        // Freshening leaves out what the archive lacks by design.
        if (reason != qm::srNoFileToFreshen) filesLeftOut = true;
    };
    zip.OnNoSuchFile = [&filesLeftOut](qm::TZipBuilder&, const std::string& name) {
        std::fprintf(stderr, "skipped: %s (%s)\n", name.c_str(), "no longer there");
        filesLeftOut = true;
    };
    zip.OnStartZip = [](qm::TZipBuilder&, const std::string& path, qm::TZipHeaderInfo& header,
                        bool&) { MarkUtf8Entry(path, header); };
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
    if (options.version) {
        std::puts("qm-zipdir 1.0");
        return 0;
    }
    if (operands.size() != 2) return Usage("ARCHIVE and DIR are needed, and nothing more");
    if (!CheckDirectory(operands[1])) return 1;
    bool filesLeftOut = false;
    try {
        NamePassedOver(operands[1]);
        qm::TZipBuilder zip;
        SetUpBuilder(zip, options, operands[0], operands[1], filesLeftOut);
        const qm::TZipResult<int32_t> packed = zip.BuildArchive();
        if (!packed) {
            std::fprintf(stderr, "%s\n", packed.Error().message.c_str());
            return 1;
        }
        std::printf("%d\n", *packed);
        if (filesLeftOut) {
            std::fprintf(stderr, "qm-zipdir: some files could not be packed (named above)\n");
            return 1;
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
