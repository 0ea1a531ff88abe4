#include "platform/TempDir.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <vector>

namespace qm {
namespace {

constexpr const char* kDirPrefix = "quillmark-";
constexpr time_t kStaleAge = 5;  // seconds

void RemoveStaleDirs(const std::string& root, const std::string& own);

class PrivateTempDir {
  public:
    PrivateTempDir() {
        const char* base = std::getenv("TMPDIR");
        std::string root = base && *base ? base : "/tmp";
        while (root.size() > 1 && root.back() == '/') root.pop_back();
        std::string pattern = root + "/" + kDirPrefix + "XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (!::mkdtemp(buffer.data())) {
            throw std::runtime_error("Cannot create a temporary directory in \"" + root + "\". " +
                                     std::strerror(errno));
        }
        path_ = std::string(buffer.data()) + "/";
        // Held for the program's life: the mark of a run that still exists.
        lockFd_ = ::open(buffer.data(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (lockFd_ >= 0) ::flock(lockFd_, LOCK_EX);
        RemoveStaleDirs(root, buffer.data());
    }
    ~PrivateTempDir() {
        RemoveTree(path_);
        if (lockFd_ >= 0) ::close(lockFd_);
    }
    PrivateTempDir(const PrivateTempDir&) = delete;
    PrivateTempDir& operator=(const PrivateTempDir&) = delete;

    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    int lockFd_ = -1;
};

int RemoveEntry(const char* path, const struct stat*, int type, struct FTW*) {
    if (type == FTW_DP || type == FTW_D || type == FTW_DNR) {
        ::rmdir(path);
    } else {
        ::unlink(path);
    }
    return 0;
}

// A run killed before its end leaves its directory, and whatever it held,
// behind. Those of our own whose lock nobody
// holds are such leftovers; one younger than a few seconds may be a run that
// has not taken its lock yet and is spared.
void RemoveStaleDirs(const std::string& root, const std::string& own) {
    DIR* handle = ::opendir(root.c_str());
    if (!handle) return;
    std::vector<std::string> candidates;
    const std::string prefix = std::string(kDirPrefix);
    while (const dirent* item = ::readdir(handle)) {
        const std::string name = item->d_name;
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0) {
            const std::string path = root + "/" + name;
            if (path != own) candidates.push_back(path);
        }
    }
    ::closedir(handle);
    const time_t now = ::time(nullptr);
    for (const std::string& path : candidates) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && now - st.st_mtime >= kStaleAge &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            RemoveTree(path);
        }
        ::close(fd);
    }
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
