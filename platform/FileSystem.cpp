#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/AsciiCase.h"
#include "platform/Exceptions.h"
#include "platform/FileTimes.h"
#include "platform/Format.h"

namespace qm {
namespace {

constexpr const char* kArchivedXattr = "user.quillmark.archived";

std::string StripTrailingSlashes(const std::string& path) {
    std::string result = path;
    while (result.size() > 1 && result.back() == '/') result.pop_back();
    return result;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string MtimeMark(const struct stat& st) {
    return std::to_string(static_cast<long long>(st.st_mtim.tv_sec)) + "." +
           std::to_string(static_cast<long>(st.st_mtim.tv_nsec));
}

bool MarkedArchived(const std::string& path, const struct stat& st) {
    char value[64];
    const ssize_t n = ::getxattr(path.c_str(), kArchivedXattr, value, sizeof value);
    return n > 0 && std::string(value, static_cast<size_t>(n)) == MtimeMark(st);
}

// Attributes and size of a path; false when it does not exist.
bool Describe(const std::string& path, uint32_t& attributes, int64_t& size, int64_t& mtime) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return false;
    attributes = 0;
    size = 0;
    mtime = st.st_mtim.tv_sec;
    if (S_ISLNK(st.st_mode)) {
        struct stat target {};
        if (::stat(path.c_str(), &target) == 0 && S_ISREG(target.st_mode)) {
            st = target;  // a link to a file stands for that file
        } else {
            attributes = faSysFile;  // link to a directory, or dangling: never followed
        }
    }
    if (S_ISDIR(st.st_mode)) {
        attributes |= faDirectory;
    } else if (S_ISREG(st.st_mode)) {
        size = static_cast<int64_t>(st.st_size);
        mtime = st.st_mtim.tv_sec;
        if (!MarkedArchived(path, st)) attributes |= faArchive;
    } else if (!S_ISLNK(st.st_mode)) {
        attributes |= faSysFile;  // socket, FIFO, device
    }
    if (!(st.st_mode & S_IWUSR)) attributes |= faReadOnly;
    const std::string name = BaseName(StripTrailingSlashes(path));
    if (!name.empty() && name[0] == '.' && name != "." && name != "..") attributes |= faHidden;
    return true;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

uint32_t GetFileAttributes(const std::string& path) {
    uint32_t attributes = 0;
    int64_t size = 0;
    int64_t mtime = 0;
    if (path.empty() || !Describe(StripTrailingSlashes(path), attributes, size, mtime)) {
        return kInvalidFileAttributes;
    }
    return attributes;
}

bool ClearArchiveAttribute(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const std::string mark = MtimeMark(st);
    return ::setxattr(path.c_str(), kArchivedXattr, mark.data(), mark.size(), 0) == 0;
}

bool AttributesPassMask(uint32_t attributes, uint32_t searchMask) {
    const uint32_t excluded = ~searchMask & (faHidden | faSysFile | faVolumeID | faDirectory);
    return (attributes & excluded) == 0;
}

TFileSearch::TFileSearch(const std::string& directory, uint32_t searchMask) {
    std::string dir = directory;
    if (dir.empty()) dir = "./";
    if (dir.back() != '/') dir += '/';
    std::unique_ptr<DIR, DirCloser> handle(::opendir(dir.c_str()));
    if (!handle) {
        result_ = errno ? errno : ENOENT;
        return;
    }
    while (const dirent* entry = ::readdir(handle.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        TSearchRec rec;
        int64_t mtime = 0;
        if (!Describe(dir + name, rec.Attr, rec.Size, mtime)) continue;  // gone meanwhile
        if (!AttributesPassMask(rec.Attr, searchMask)) continue;
        rec.Name = name;
        rec.Time = UnixTimeToDosDateTime(static_cast<time_t>(mtime));
        entries_.push_back(std::move(rec));
    }
    std::sort(entries_.begin(), entries_.end(), [](const TSearchRec& a, const TSearchRec& b) {
        const int order = CompareTextAscii(a.Name, b.Name);
        return order != 0 ? order < 0 : a.Name < b.Name;
    });
    result_ = entries_.empty() ? ENOENT : 0;
}

int TFileSearch::Next() {
    if (result_ != 0) return result_;
    if (++index_ >= entries_.size()) {
        index_ = entries_.empty() ? 0 : entries_.size() - 1;
        result_ = ENOENT;
    }
    return result_;
}

bool FindSinglePath(const std::string& path, uint32_t searchMask, TSearchRec& rec) {
    const std::string clean = StripTrailingSlashes(path);
    int64_t mtime = 0;
    TSearchRec found;
    if (clean.empty() || !Describe(clean, found.Attr, found.Size, mtime)) return false;
    if (!AttributesPassMask(found.Attr, searchMask)) return false;
    found.Name = BaseName(clean);
    found.Time = UnixTimeToDosDateTime(static_cast<time_t>(mtime));
    rec = std::move(found);
    return true;
}

std::string MakeTempFile(const std::string& directory, const std::string& prefix) {
    std::string dir = directory;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    std::string pattern = dir + prefix + "XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemp(buffer.data());
    if (fd < 0) throw EFCreateError(CreateErrorText(pattern, errno));
    ::close(fd);
    return std::string(buffer.data());
}

int RenameFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

TFileIdentity FileIdentity(const std::string& path) {
    struct stat st {};
    TFileIdentity id;
    if (::stat(path.c_str(), &st) == 0) {
        id.known = true;
        id.device = static_cast<uint64_t>(st.st_dev);
        id.inode = static_cast<uint64_t>(st.st_ino);
    }
    return id;
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RegularFileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(StripTrailingSlashes(path).c_str(), &st) == 0;
}

}  // namespace qm

namespace qm {

TFileKind FileKindOf(const std::string& path, int* error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (error) *error = errno;
        return TFileKind::Missing;
    }
    if (S_ISREG(st.st_mode)) return TFileKind::Regular;
    if (S_ISDIR(st.st_mode)) return TFileKind::Directory;
    if (S_ISFIFO(st.st_mode)) return TFileKind::NamedPipe;
    return TFileKind::Other;
}

bool FileSizeOf(const std::string& path, int64_t& size) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    size = static_cast<int64_t>(st.st_size);
    return true;
}

std::string ResolvedPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : path;
}

std::string ReplacedTarget(const std::string& target) {
    if (!PathExists(target)) return target;
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) throw EFOpenError(OpenErrorText(target, errno));
    if (S_ISREG(st.st_mode)) return ResolvedPath(target);
    if (S_ISDIR(st.st_mode)) throw EFOpenError(OpenErrorText(target, EISDIR));
    // Whole sentences, so that a catalogue can say each in another language.
    const char* format = S_ISFIFO(st.st_mode)
                             ? "\"%s\" is a named pipe, not a file; nothing was written to it."
                         : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)
                             ? "\"%s\" is a device, not a file; nothing was written to it."
                             : "\"%s\" is a socket, not a file; nothing was written to it.";
    throw EFOpenError(Format(format, target.c_str()));
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool MakeDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0755) == 0 || DirectoryExists(path);
}

bool FileModificationTime(const std::string& path, int64_t& seconds) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    seconds = static_cast<int64_t>(st.st_mtime);
    return true;
}

}  // namespace qm
