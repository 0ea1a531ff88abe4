#include "platform/WorkFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/FaultPoint.h"
#include "platform/TempDir.h"

namespace qm {
namespace {

constexpr const char* kWorkTag = ".qmwork-";

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ".<target's name>.qmwork-", the name cut (on a UTF-8 character's start)
// so that the prefix, six random letters and ".new" fit in a file name: a
// book whose own name just fits must not fail for its work file's.
std::string WorkPrefix(const std::string& target) {
    constexpr size_t kNameLimit = 255;
    constexpr size_t kRoom = kNameLimit - 1 - std::char_traits<char>::length(kWorkTag) - 6 - 4;
    std::string name = NameOf(target);
    if (name.size() > kRoom) {
        size_t cut = kRoom;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    std::string prefix(1, '.');
    prefix.append(name).append(kWorkTag);
    return prefix;
}

std::string RandomSuffix() {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::string suffix(6, 'x');
    for (char& c : suffix) c = kLetters[generator() % (sizeof kLetters - 1)];
    return suffix;
}

[[noreturn]] void CommitFailed(const std::string& work, const std::string& target, int error) {
    throw Exception("Could not copy from " + work + " -> " + target + ": " + std::strerror(error));
}

// Makes the rename itself durable; a failure here loses nothing.
void SyncDirectory(const std::string& dir) {
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Opens path and takes its lock when it is one of ours of the kind wanted
// (a regular file or a directory) and no live run holds it, and the name
// still means the file found; -1 otherwise. The lock goes with the
// descriptor.
int LockIfAbandoned(const std::string& path, bool directory) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK |
                                            (directory ? O_DIRECTORY : 0));
    if (fd < 0) return -1;
    struct stat held {
    }, named{};
    if (::fstat(fd, &held) == 0 && (directory ? S_ISDIR(held.st_mode) : S_ISREG(held.st_mode)) &&
        held.st_uid == ::geteuid() && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::lstat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
        named.st_ino == held.st_ino) {
        return fd;
    }
    ::close(fd);
    return -1;
}

std::vector<std::string> NamesIn(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* handle = ::opendir(dir.empty() ? "." : dir.c_str())) {
        while (const dirent* item = ::readdir(handle)) names.emplace_back(item->d_name);
        ::closedir(handle);
    }
    return names;
}

// A work file or directory still under its first name is locked a moment
// after it is made; one older than this was left by a run killed in that
// moment (or before its rename).
constexpr time_t kUnnamedAge = 600;
constexpr const char* kUnnamedEnding = ".new";

// True for a name ending in ".new" that is younger than kUnnamedAge: it
// may be a live run's between its creation and its lock.
bool MayBeStarting(const std::string& path) {
    struct stat made {};
    return ::lstat(path.c_str(), &made) != 0 || ::time(nullptr) - made.st_mtime < kUnnamedAge;
}

// A file made before it has a name: a run killed before the link leaves
// nothing. Locked, then linked in as stem and six letters; the descriptor,
// or -1 where the file system (or a missing /proc) allows no such file.
int MakeUnnamedThenLink(const std::string& stem, std::string& path) {
    const std::string dir = DirectoryOf(stem);
    errno = FaultAt("work file: unnamed");
    const int fd =
        errno != 0 ? -1
                   : ::open(dir.empty() ? "." : dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    // The lock lasts as long as this process holds the descriptor: a killed
    // run's work file is free to take.
    ::flock(fd, LOCK_EX);
    FaultAt("work file: locked");
    // Linking by descriptor itself (AT_EMPTY_PATH) needs a privilege; its
    // name under /proc does not.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = stem + RandomSuffix();
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            FaultAt("work file: named");
            return fd;
        }
        if (errno != EEXIST) break;
    }
    ::close(fd);
    return -1;
}

// Where no unnamed file can be made: made and locked under a ".new" name no
// run takes while it is young, then given its work-file name, so that no run
// ever sees a work file unlocked. A run killed before the ".new" name goes
// leaves that file to RemoveStale once it is old.
int MakeNamedThenLink(const std::string& stem, std::string& path, const std::string& target) {
    std::string fresh;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        fresh = stem + RandomSuffix() + kUnnamedEnding;
        fd = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    // The user asked for the target: the error names it, not the work file.
    if (fd < 0) throw EFCreateError(CreateErrorText(target, errno));
    ::flock(fd, LOCK_EX);
    FaultAt("work file: locked");
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = stem + RandomSuffix();
        // link refuses an existing name; a file system without hard links
        // gets a rename (a clash of random names is then the only risk).
        if (::link(fresh.c_str(), path.c_str()) == 0) {
            FaultAt("work file: named");
            ::unlink(fresh.c_str());
            return fd;
        }
        if (errno == EEXIST) continue;
        if (::rename(fresh.c_str(), path.c_str()) == 0) return fd;
        break;
    }
    const int error = errno;
    ::unlink(fresh.c_str());
    ::close(fd);
    throw EFCreateError(CreateErrorText(target, error));
}

}  // namespace

TWorkFile::TWorkFile(const std::string& target) : target_(target) {
    const std::string stem = DirectoryOf(target) + WorkPrefix(target);
    lockFd_ = MakeUnnamedThenLink(stem, path_);
    if (lockFd_ < 0) lockFd_ = MakeNamedThenLink(stem, path_, target);
}

TWorkFile::~TWorkFile() {
    if (!committed_) ::unlink(path_.c_str());
    if (lockFd_ >= 0) ::close(lockFd_);
}

void TWorkFile::Commit() {
    struct stat old {};
    if (::stat(target_.c_str(), &old) == 0) ::fchmod(lockFd_, old.st_mode & 07777);
    if (::fsync(lockFd_) != 0) CommitFailed(path_, target_, errno);
    FaultAt("work file: complete");
    if (::rename(path_.c_str(), target_.c_str()) != 0) CommitFailed(path_, target_, errno);
    committed_ = true;
    FaultAt("work file: in place");
    SyncDirectory(DirectoryOf(target_));
}

bool TWorkFile::IsWorkFileOf(const std::string& path, const std::string& target) {
    const std::string prefix = WorkPrefix(target);
    const std::string name = NameOf(path);
    const size_t named = prefix.size() + 6;
    if (!name.starts_with(prefix)) return false;
    return name.size() == named ||
           (name.size() == named + std::char_traits<char>::length(kUnnamedEnding) &&
            name.ends_with(kUnnamedEnding));
}

int TWorkFile::RemoveStale(const std::string& target) {
    const std::string dir = DirectoryOf(target);
    int removed = 0;
    for (const std::string& name : NamesIn(dir)) {
        if (!IsWorkFileOf(name, target)) continue;
        const std::string path = dir + name;
        if (name.ends_with(kUnnamedEnding) && MayBeStarting(path)) continue;
        const int fd = LockIfAbandoned(path, false);
        if (fd < 0) continue;
        if (::unlink(path.c_str()) == 0) ++removed;
        ::close(fd);
    }
    return removed;
}

TWorkDirectory::TWorkDirectory(const std::string& dir, const std::string& tag) {
    // Made and locked under a name no other run removes at once, then given
    // its own, so that no run ever sees it unlocked.
    const std::string stem = dir + "." + tag;
    std::string fresh;
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        fresh = stem + RandomSuffix() + kUnnamedEnding;
        error = ::mkdir(fresh.c_str(), 0700) == 0 ? 0 : errno;
    }
    if (error == 0) {
        lockFd_ = ::open(fresh.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
        error = lockFd_ < 0 ? errno : 0;
    }
    if (error == 0) {
        ::flock(lockFd_, LOCK_EX);
        error = EEXIST;
        for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
            const std::string named = stem + RandomSuffix();
            // Never onto another run's (empty) directory of the same name.
            error =
                ::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, named.c_str(), RENAME_NOREPLACE) == 0
                    ? 0
                    : errno;
            if (error == EINVAL || error == ENOSYS) {
                struct stat taken {};
                error = ::lstat(named.c_str(), &taken) == 0           ? EEXIST
                        : ::rename(fresh.c_str(), named.c_str()) == 0 ? 0
                                                                      : errno;
            }
            if (error == 0) path_ = named + "/";
        }
    }
    if (error != 0) {
        if (lockFd_ >= 0) ::close(lockFd_);
        ::rmdir(fresh.c_str());
        throw Exception("Cannot create a directory in \"" + (dir.empty() ? "." : dir) + "\". " +
                        std::strerror(error));
    }
}

TWorkDirectory::~TWorkDirectory() {
    RemoveTree(path_);
    ::close(lockFd_);
}

int TWorkDirectory::RemoveStale(const std::string& dir, const std::string& tag) {
    const std::string prefix = "." + tag;
    const size_t named = prefix.size() + 6;
    const size_t unnamed = named + std::char_traits<char>::length(kUnnamedEnding);
    int removed = 0;
    for (const std::string& name : NamesIn(dir)) {
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        if (name.size() != named && name.size() != unnamed) continue;
        const std::string path = dir + name;
        if (name.size() == unnamed &&
            (name.compare(named, std::string::npos, kUnnamedEnding) != 0 || MayBeStarting(path)))
            continue;
        const int fd = LockIfAbandoned(path, true);
        if (fd < 0) continue;
        if (RemoveTree(path)) ++removed;
        ::close(fd);
    }
    return removed;
}

}  // namespace qm
