#include "conversion/run/Utf8FileWriter.h"

#include <cerrno>
#include <cstring>

#include "platform/Exceptions.h"
#include "platform/Format.h"

namespace qm {

TUtf8FileWriter::TUtf8FileWriter(const std::string& path) : path_(path), file_(path, fmCreate) {}

void TUtf8FileWriter::Append(std::string_view ansi) {
    converter_.Append(utf8_, ansi, false);
    WriteOut();
}

void TUtf8FileWriter::Finish() {
    converter_.Append(utf8_, {}, true);
    WriteOut();
}

void TUtf8FileWriter::WriteOut() {
    if (utf8_.empty()) return;
    errno = 0;
    if (file_.Write(utf8_.data(), static_cast<int64_t>(utf8_.size())) !=
        static_cast<int64_t>(utf8_.size())) {
        const int error = errno != 0 ? errno : ENOSPC;
        throw EWriteError(
            Format("Cannot write file \"%s\". %s", path_.c_str(), std::strerror(error)));
    }
    utf8_.clear();
}

}  // namespace qm
