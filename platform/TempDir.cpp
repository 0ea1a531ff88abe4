#include "platform/TempDir.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace qm {
namespace {

class PrivateTempDir {
public:
    PrivateTempDir() {
        const char* base = std::getenv("TMPDIR");
        std::string root = base && *base ? base : "/tmp";
        while (root.size() > 1 && root.back() == '/') root.pop_back();
        std::string pattern = root + "/quillmark-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (!::mkdtemp(buffer.data())) {
            throw std::runtime_error("Cannot create a temporary directory in \"" + root +
                                     "\". " + std::strerror(errno));
        }
        path_ = std::string(buffer.data()) + "/";
    }
    ~PrivateTempDir() { RemoveTree(path_); }
    PrivateTempDir(const PrivateTempDir&) = delete;
    PrivateTempDir& operator=(const PrivateTempDir&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

int RemoveEntry(const char* path, const struct stat*, int type, struct FTW*) {
    if (type == FTW_DP || type == FTW_D || type == FTW_DNR) {
        ::rmdir(path);
    } else {
        ::unlink(path);
    }
    return 0;
}

}  // namespace

const std::string& TempDirPath() {
    static PrivateTempDir dir;
    return dir.Path();
}

bool RemoveTree(const std::string& path) {
    std::string target = path;
    while (target.size() > 1 && target.back() == '/') target.pop_back();
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return ::unlink(target.c_str()) == 0;
    ::nftw(target.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    return ::lstat(target.c_str(), &st) != 0;
}

}  // namespace qm
