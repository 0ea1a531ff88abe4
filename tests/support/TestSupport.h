#pragma once
// Helpers shared by the suites: a scratch directory per test, file I/O and
// running the project's own executables.
#include <cstdint>
#include <string>
#include <vector>

namespace qm::test {

// A fresh directory under the system's temporary directory, removed with its
// content when the object goes.
// A directory whose path shows in a published picture.
struct TPictured {};

class ScratchDir {
  public:
    ScratchDir();
    // The folder the screenshot script names in QM_PICTURE_DIR, so that the
    // picture shows a reader's path instead of a temporary one; else as above.
    explicit ScratchDir(TPictured);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    // The directory, ending with "/".
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

  private:
    std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
// The names in a directory, sorted, "." and ".." left out; none if it
// cannot be read.
std::vector<std::string> DirectoryNames(const std::string& dir);
void MakeDirs(const std::string& path);

// The path of an executable built into build/bin.
std::string BinPath(const std::string& name);

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs a command through /bin/sh, capturing both streams.
CommandResult Run(const std::string& command);
// Quotes an argument for /bin/sh.
std::string Quote(const std::string& text);

// Bytes from hex digits, spaces ignored: Hex("D6 D0") == "\xD6\xD0".
std::string Hex(const std::string& digits);

// The bytes of a UTF-16 little-endian file with its byte-order mark.
std::string Utf16LeWithMark(const std::u16string& text);

// text, count times over.
std::string Repeat(const std::string& text, int count);

}  // namespace qm::test
