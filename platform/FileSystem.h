#pragma once
// File-system services the archive builder relies on: the attribute word of
// a path, sorted directory listings, unique work files and renaming.
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// Attribute bits. Linux has no such word; GetFileAttributes builds it from
// lstat so the builder's search masks keep their meaning.
inline constexpr uint32_t faReadOnly = 0x01;  // the owner may not write
inline constexpr uint32_t faHidden = 0x02;    // the name starts with "."
inline constexpr uint32_t faSysFile = 0x04;   // link to a directory, socket, FIFO, device
inline constexpr uint32_t faVolumeID = 0x08;
inline constexpr uint32_t faDirectory = 0x10;
inline constexpr uint32_t faArchive = 0x20;  // regular file not marked as archived
inline constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFF;

// The attribute word of a path, 0xFFFFFFFF when it does not exist. A trailing
// "/" is ignored. Symbolic links are not followed for directories, so a walk
// never enters one; a link to a regular file counts as that file.
uint32_t GetFileAttributes(const std::string& path);

// Clears the archive bit of a regular file. The bit means "changed since it
// was last archived": clearing records the file's current modification time
// in the extended attribute "user.quillmark.archived", and the bit comes back
// as soon as the file is modified. Returns false when the file system cannot
// keep the mark (the bit then stays set).
bool ClearArchiveAttribute(const std::string& path);

// One entry of a listing.
struct TSearchRec {
    std::string Name;
    int64_t Size = 0;
    uint32_t Attr = 0;
    uint32_t Time = 0;  // MS-DOS date (high 16 bits) and time; 0xFFFFFFFF before 1980
};

// True when an entry with these attributes passes a search mask: entries with
// the hidden, system, volume or directory bit that the mask lacks are left out.
bool AttributesPassMask(uint32_t attributes, uint32_t searchMask);

// A directory's entries that pass the search mask, sorted by name compared
// byte by byte after upper-casing ASCII letters (the order NTFS gives), so
// archives come out the same on every file system. "." and ".." never appear.
class TFileSearch {
  public:
    TFileSearch(const std::string& directory, uint32_t searchMask);
    TFileSearch(const TFileSearch&) = delete;
    TFileSearch& operator=(const TFileSearch&) = delete;

    // 0 while there is a current entry; otherwise the errno that ended the
    // search (ENOENT when the directory was missing or the list ran out).
    int Result() const { return result_; }
    const TSearchRec& Current() const { return entries_[index_]; }
    // Advances; returns the new Result().
    int Next();

  private:
    std::vector<TSearchRec> entries_;
    size_t index_ = 0;
    int result_ = 0;
};

// Looks up a single path as a search would: false when it is missing or the
// mask leaves it out.
bool FindSinglePath(const std::string& path, uint32_t searchMask, TSearchRec& rec);

// Creates a unique empty file "<directory><prefix>XXXXXX" (mode 0600) and
// returns its path; raises EFCreateError when that fails. directory ends in "/".
std::string MakeTempFile(const std::string& directory, const std::string& prefix);

// rename(2); returns 0 or the errno of the failure.
int RenameFile(const std::string& from, const std::string& to);

// Device and inode of a path (links followed), which tell whether two names
// mean the same file; known is false when the path cannot be read.
struct TFileIdentity {
    bool known = false;
    uint64_t device = 0;
    uint64_t inode = 0;
    bool SameAs(const TFileIdentity& other) const {
        return known && other.known && device == other.device && inode == other.inode;
    }
};
TFileIdentity FileIdentity(const std::string& path);
// True when both paths exist and name the same file.
inline bool SameFile(const std::string& a, const std::string& b) {
    return FileIdentity(a).SameAs(FileIdentity(b));
}

// True when the path names an existing directory (links followed).
bool DirectoryExists(const std::string& path);
// True when the path names an existing regular file (links followed).
bool RegularFileExists(const std::string& path);
// True when something exists at the path (links not followed).
bool PathExists(const std::string& path);

}  // namespace qm

namespace qm {

// What a path names (links followed).
enum class TFileKind { Missing, Regular, Directory, NamedPipe, Other };
// Missing also when the path cannot be looked at; *error then holds errno.
TFileKind FileKindOf(const std::string& path, int* error = nullptr);
// True when path names a named pipe (FIFO): opening one waits until some
// other program writes to it, so such a path is refused before it is opened.
inline bool IsNamedPipe(const std::string& path) {
    return FileKindOf(path) == TFileKind::NamedPipe;
}
// The size of the file at path (links followed); false when it cannot be read.
bool FileSizeOf(const std::string& path, int64_t& size);
// The path with every link and "." or ".." resolved; the path itself when
// that fails.
std::string ResolvedPath(const std::string& path);
// The file that writing a new file at target replaces: target itself when
// nothing is there, else the file it names, links followed (so a link stays
// a link and its file gets the new content). Only a regular file is ever
// replaced: renaming over a pipe, a device or a directory would destroy it
// (or, as root, put a file where a device was). EFOpenError saying what is
// there otherwise: "\"<target>\" is a named pipe, not a file; nothing was
// written to it." (a device, a socket), or the open error of a directory.
std::string ReplacedTarget(const std::string& target);
// unlink(2); true when the name is gone.
bool RemoveFile(const std::string& path);

// Makes one directory (mode 0755); true when a directory is there afterwards.
bool MakeDirectory(const std::string& path);

// The last-modification time of a path in seconds since 1970 (links
// followed); false when it cannot be read.
bool FileModificationTime(const std::string& path, int64_t& seconds);

}  // namespace qm
