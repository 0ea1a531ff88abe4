#include "conversion/StagingTree.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "conversion/EpubTemplates.h"
#include "platform/CodePage.h"
#include "platform/Exceptions.h"
#include "platform/FileStream.h"
#include "platform/Format.h"
#include "platform/TempDir.h"

namespace qm {

std::string StagingDir(const std::string& tempDirPath) { return tempDirPath + "EPUB"; }

std::string OebpsDir(const std::string& tempDirPath) { return tempDirPath + "EPUB/OEBPS"; }

void WriteUtf8File(const std::string& path, std::string_view text) {
    const std::string utf8 = AnsiToUtf8(text);
    TFileStream file(path, fmCreate);
    errno = 0;
    if (file.Write(utf8.data(), static_cast<int64_t>(utf8.size())) !=
        static_cast<int64_t>(utf8.size())) {
        const int error = errno != 0 ? errno : ENOSPC;
        throw EWriteError(
            Format("Cannot write file \"%s\". %s", path.c_str(), std::strerror(error)));
    }
}

void CreateStagingTree(const std::string& tempDirPath) {
    const std::string staging = StagingDir(tempDirPath);
    const std::string metaInf = tempDirPath + "EPUB/META-INF";
    const std::string oebps = OebpsDir(tempDirPath);
    for (const std::string& dir : {staging, metaInf, oebps, oebps + "/css"}) {
        ::mkdir(dir.c_str(), 0755);  // an existing or unmakeable directory shows at the writes
    }
    WriteUtf8File(staging + "/mimetype", kMimetypeText);
    WriteUtf8File(metaInf + "/container.xml", kContainerXml);
    WriteUtf8File(oebps + "/css/main.css", kMainCss);
}

bool DeleteDirectoryTree(const std::string& path) { return RemoveTree(path); }

}  // namespace qm
