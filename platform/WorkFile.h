#pragma once
// A file written as a transaction: the content goes into a work file beside
// the target (same directory, so the same file system) and takes the
// target's name in one rename once it is complete. A crash leaves the old
// file or no file, never a torn one.
#include <string>

namespace qm {

class TWorkFile {
  public:
    // Creates ".<target's name>.qmwork-XXXXXX" beside target, empty, with
    // the permissions a new file gets (0666 less the umask), and holds a lock
    // on it for as long as this object lives, so that other runs can tell a
    // live work file from a dead one. The file is made unnamed and named once
    // locked; where the file system cannot, it is made as "...XXXXXX.new"
    // first. EFCreateError naming the target when it cannot be made.
    // Fault points (FaultPoint.h), in a run's order: "work file: unnamed"
    // (a refusal there takes the ".new" way), "work file: locked", "work
    // file: named", then in Commit "work file: complete" and "work file: in
    // place".
    explicit TWorkFile(const std::string& target);
    // Removes the work file unless it was committed.
    ~TWorkFile();
    TWorkFile(const TWorkFile&) = delete;
    TWorkFile& operator=(const TWorkFile&) = delete;

    const std::string& Path() const { return path_; }
    const std::string& Target() const { return target_; }

    // Puts the content on disk, gives it the permission bits of the file it
    // replaces (if any) and renames it over the target. On failure the
    // target is as it was and Exception "Could not copy from <work> ->
    // <target>: <the system's reason>" is raised; the work file stays until
    // this object goes.
    void Commit();

    // Removes the work files beside target that no live run holds (left by a
    // run that was killed); one still named ".new" only once it is minutes
    // old, since a live run's is unlocked for a moment. Returns how many went.
    static int RemoveStale(const std::string& target);
    // True when path names a work file of target, ".new" or not (by its name
    // alone).
    static bool IsWorkFileOf(const std::string& path, const std::string& target);

  private:
    std::string target_;
    std::string path_;
    int lockFd_ = -1;
    bool committed_ = false;
};

// A directory of work beside the files it is for: ".<tag>XXXXXX" in dir
// (which ends with "/", or is empty for the current directory), mode 0700,
// locked as a work file is for as long as this object lives, and removed
// with everything in it when the object goes.
class TWorkDirectory {
  public:
    // Exception "Cannot create a directory in "<dir>". <reason>" when it
    // cannot be made.
    TWorkDirectory(const std::string& dir, const std::string& tag);
    ~TWorkDirectory();
    TWorkDirectory(const TWorkDirectory&) = delete;
    TWorkDirectory& operator=(const TWorkDirectory&) = delete;

    // Ends with "/".
    const std::string& Path() const { return path_; }

    // Removes, with their content, the work directories of this tag in dir
    // that no live run holds. Returns how many went.
    static int RemoveStale(const std::string& dir, const std::string& tag);

  private:
    std::string path_;
    int lockFd_ = -1;
};

}  // namespace qm
