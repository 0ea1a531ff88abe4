#include "platform/WorkFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

#include "platform/Exceptions.h"

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

std::string WorkPrefix(const std::string& target) {
    std::string prefix(1, '.');
    prefix.append(NameOf(target)).append(kWorkTag);
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

}  // namespace

TWorkFile::TWorkFile(const std::string& target) : target_(target) {
    // Made and locked under a name no other run looks at, then given its
    // work-file name, so that no run ever sees it unlocked.
    const std::string stem = DirectoryOf(target) + WorkPrefix(target);
    std::string fresh;
    for (int attempt = 0; attempt < 100 && lockFd_ < 0; ++attempt) {
        fresh = stem + RandomSuffix() + ".new";
        lockFd_ = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (lockFd_ < 0 && errno != EEXIST) break;
    }
    // The user asked for the target: the error names it, not the work file.
    if (lockFd_ < 0) throw EFCreateError(CreateErrorText(target, errno));
    // The lock lasts as long as this process holds the descriptor: a killed
    // run's work file is free to take.
    ::flock(lockFd_, LOCK_EX);
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_ = stem + RandomSuffix();
        // link refuses an existing name; a file system without hard links
        // gets a rename (a clash of random names is then the only risk).
        if (::link(fresh.c_str(), path_.c_str()) == 0) {
            ::unlink(fresh.c_str());
            return;
        }
        if (errno == EEXIST) continue;
        if (::rename(fresh.c_str(), path_.c_str()) == 0) return;
        break;
    }
    const int error = errno;
    ::unlink(fresh.c_str());
    ::close(lockFd_);
    throw EFCreateError(CreateErrorText(target, error));
}

TWorkFile::~TWorkFile() {
    if (!committed_) ::unlink(path_.c_str());
    if (lockFd_ >= 0) ::close(lockFd_);
}

void TWorkFile::Commit() {
    struct stat old {};
    if (::stat(target_.c_str(), &old) == 0) ::fchmod(lockFd_, old.st_mode & 07777);
    if (::fsync(lockFd_) != 0) CommitFailed(path_, target_, errno);
    if (::rename(path_.c_str(), target_.c_str()) != 0) CommitFailed(path_, target_, errno);
    committed_ = true;
    SyncDirectory(DirectoryOf(target_));
}

bool TWorkFile::IsWorkFileOf(const std::string& path, const std::string& target) {
    const std::string prefix = WorkPrefix(target);
    const std::string name = NameOf(path);
    return name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0;
}

int TWorkFile::RemoveStale(const std::string& target) {
    const std::string dir = DirectoryOf(target);
    DIR* handle = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!handle) return 0;
    std::vector<std::string> candidates;
    while (const dirent* item = ::readdir(handle)) {
        if (IsWorkFileOf(item->d_name, target)) candidates.push_back(dir + item->d_name);
    }
    ::closedir(handle);
    int removed = 0;
    for (const std::string& path : candidates) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) continue;
        struct stat held {
        }, named{};
        // Only our own regular files, and only while the name still means
        // the file that was found unlocked.
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(path.c_str(), &named) == 0 &&
            named.st_dev == held.st_dev && named.st_ino == held.st_ino &&
            ::unlink(path.c_str()) == 0) {
            ++removed;
        }
        ::close(fd);
    }
    return removed;
}

}  // namespace qm
