#include "conversion/run/PrepareConversion.h"

#include <exception>

#include "conversion/book/FrontMatter.h"
#include "conversion/run/FileNames.h"
#include "conversion/text/BookEncoding.h"
#include "platform/AsciiCase.h"
#include "platform/CodePage.h"
#include "platform/FileStream.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"

namespace qm {
namespace {

// The front matter lies in the first lines; this much of a file holds them
// and is as much as the encoding detector reads.
constexpr size_t kFrontMatterHead = size_t{64} << 10;

}  // namespace

bool HasTxtExtension(const std::string& path, bool anyCase) {
    const std::string extension = ExtractFileExt(path);
    return anyCase ? SameTextAscii(extension, ".txt") : extension == ".txt";
}

std::string LabelNameOf(const std::string& path) {
    return Utf8ToAnsi(BaseNameText(path));
}

TSourceProbe ProbeSource(const std::string& path, bool anyCaseTxt) {
    TSourceProbe probe;
    if (!HasTxtExtension(path, anyCaseTxt)) {
        probe.state = TSourceState::NotTxt;
    } else if (IsNamedPipe(path)) {
        probe.state = TSourceState::NamedPipe;
    } else {
        try {
            TFileStream source(path, fmOpenRead | fmShareDenyNone);
            probe.size = source.Size();
            probe.state = TSourceState::Readable;
        } catch (const std::exception& error) {
            probe.error = error.what();
        }
    }
    return probe;
}

TBookNameParts OwnBookNames(const std::string& path) {
    const TBookNameParts named = BookNamePartsOf(BaseNameText(path));
    TFrontMatter front;
    // Opening a named pipe would wait for a writer.
    if (!IsNamedPipe(path)) {
        try {
            TFileStream file(path, fmOpenRead | fmShareDenyNone);
            std::string head(kFrontMatterHead, '\0');
            size_t got = 0;
            while (got < head.size()) {
                const int64_t count =
                    file.Read(head.data() + got, static_cast<int64_t>(head.size() - got));
                if (count <= 0) break;
                got += static_cast<size_t>(count);
            }
            head.resize(got);
            front = ReadFrontMatter(DecodeBookText(head, DetectBookEncoding(head)).text);
        } catch (const std::exception&) {
            // Unreadable: the file name says it.
        }
    }
    return {ChosenName("", named.title, front.title), ChosenName("", named.author, front.author)};
}

TRunResult<TConversionRequest> PrepareConversion(const TConversionInput& input) {
    using Kind = TRunError::Kind;
    const TSourceProbe probe = ProbeSource(input.sourcePath, input.anyCaseTxt);
    switch (probe.state) {
        case TSourceState::NotTxt:
            return TRunError{
                Kind::NotTxt,
                Format("\"%s\" is not a .txt file; only files ending in \".txt\" can be converted.",
                       input.sourcePath.c_str())};
        case TSourceState::NamedPipe:
            return TRunError{Kind::NamedPipe, NamedPipeText(input.sourcePath)};
        case TSourceState::Unreadable:
            return TRunError{Kind::Unreadable, probe.error};
        case TSourceState::Readable:
            break;
    }
    TConversionRequest request;
    request.sourcePath = input.sourcePath;
    request.labelName = LabelNameOf(input.sourcePath);
    request.sourceSize = probe.size;
    request.fileSize = input.listedSize.value_or(RecordedFileSize(probe.size));
    // A title or author typed in GBK reads as text, as a GBK file name does.
    request.title = NameText(input.title);
    request.author = NameText(input.author);
    request.parts = input.parts;
    request.threads = input.threads;
    request.archiveName = input.archiveName;
    request.options = input.options;
    return request;
}

}  // namespace qm
