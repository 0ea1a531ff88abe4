#include "zip/ArchiveReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/Exceptions.h"
#include "platform/FileSystem.h"

namespace qm {
namespace {

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

[[noreturn]] void CopyFailed(const std::string& workFile, const std::string& archive) {
    throw Exception("Could not copy from " + workFile + " -> " + archive + ": " + "Error");
}

// Copies the whole of from into to (which exists and is empty) and puts it on disk.
bool CopyContent(const std::string& from, const std::string& to) {
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    Fd out(::open(to.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (in.Get() < 0 || out.Get() < 0) return false;
    auto buffer = std::make_unique<char[]>(65536);
    while (true) {
        const ssize_t got = ::read(in.Get(), buffer.get(), 65536);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        ssize_t done = 0;
        while (done < got) {
            const ssize_t put =
                ::write(out.Get(), buffer.get() + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return false;
            done += put;
        }
    }
    return ::fsync(out.Get()) == 0 && out.Close();
}

}  // namespace

void ReplaceArchiveWithWorkFile(const std::string& workFile, const std::string& archive) {
    struct stat old {};
    const bool hadArchive = ::stat(archive.c_str(), &old) == 0;
    const mode_t mode = hadArchive ? (old.st_mode & 07777) : 0644;

    ::chmod(workFile.c_str(), mode);
    {
        // The new content is on disk before its name replaces the old
        // archive, so a crash cannot leave an empty file under that name.
        Fd work(::open(workFile.c_str(), O_RDONLY | O_CLOEXEC));
        if (work.Get() < 0 || ::fsync(work.Get()) != 0) CopyFailed(workFile, archive);
    }
    const int error = RenameFile(workFile, archive);
    if (error == 0) return;
    if (error != EXDEV) CopyFailed(workFile, archive);

    // Another file system: a copy beside the archive, then one rename.
    std::string copy;
    try {
        copy = MakeTempFile(DirectoryOf(archive), "QMZ");
    } catch (const Exception&) {
        CopyFailed(workFile, archive);
    }
    if (!CopyContent(workFile, copy) || ::chmod(copy.c_str(), mode) != 0 ||
        RenameFile(copy, archive) != 0) {
        ::unlink(copy.c_str());
        CopyFailed(workFile, archive);
    }
    ::unlink(workFile.c_str());
}

}  // namespace qm
