#pragma once
// The program's temporary directory. A shared, fixed path under /tmp would
// let another user of the machine plant a link there, so each process gets a
// private one.
#include <string>

namespace qm {

// The private directory (mode 0700, made with mkdtemp under $TMPDIR, or /tmp
// when that is unset), ending with "/". Made on the first call; removed with
// everything in it when the program ends. The first call also removes the
// directories that runs killed earlier left there (never a live run's).
const std::string& TempDirPath();

// Removes a file or a directory with everything below it, without following
// links. Returns true when nothing is left at the path.
bool RemoveTree(const std::string& path);

}  // namespace qm
