#include "conversion/run/StagingTree.h"

#include "conversion/layout/BookLayout.h"
#include "conversion/layout/EpubTemplates.h"
#include "conversion/run/Utf8FileWriter.h"
#include "platform/FileSystem.h"
#include "platform/TempDir.h"

namespace qm {

std::string StagingDir(const std::string& tempDirPath) {
    return tempDirPath + "EPUB";
}

std::string OebpsDir(const std::string& tempDirPath) {
    return tempDirPath + "EPUB/OEBPS";
}

void WriteUtf8File(const std::string& path, std::string_view text) {
    TUtf8FileWriter file(path);
    file.Append(text);
    file.Finish();
}

void CreateStagingTree(const std::string& tempDirPath) {
    const std::string staging = StagingDir(tempDirPath);
    const std::string metaInf = tempDirPath + "EPUB/META-INF";
    const std::string oebps = OebpsDir(tempDirPath);
    for (const std::string& dir : {staging, metaInf, oebps, oebps + "/css"}) {
        MakeDirectory(dir);  // a directory that cannot be made shows at the writes
    }
    WriteUtf8File(staging + "/mimetype", kMimetypeText);
    WriteUtf8File(metaInf + "/container.xml", ContainerDocument(LayoutFor(TBookKind::Classic)));
    WriteUtf8File(oebps + "/css/main.css", kMainCss);
}

bool DeleteDirectoryTree(const std::string& path) {
    return RemoveTree(path);
}

}  // namespace qm
