#pragma once
// The staging tree: the EPUB book laid out on disk under the temporary
// directory before it is packed.
#include <string>
#include <string_view>

namespace qm {

// tempDirPath ends with "/"; the staging directory is tempDirPath + "EPUB".
std::string StagingDir(const std::string& tempDirPath);
std::string OebpsDir(const std::string& tempDirPath);

// Writes text (code page 936) as UTF-8, without a byte-order mark, as the
// whole content of the file. EFCreateError when the file cannot be created;
// EWriteError when the disk takes fewer bytes than the text has (a silently
// truncated page would make a broken book).
void WriteUtf8File(const std::string& path, std::string_view text);

// Makes EPUB, EPUB/META-INF, EPUB/OEBPS and EPUB/OEBPS/css one level at a
// time (failures passed over) and writes mimetype, container.xml and
// main.css. A file that cannot be written raises.
void CreateStagingTree(const std::string& tempDirPath);

// Removes the directory with everything in it; true when it is gone.
bool DeleteDirectoryTree(const std::string& path);

}  // namespace qm
