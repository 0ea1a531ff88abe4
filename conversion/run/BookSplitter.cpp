#include "conversion/run/BookSplitter.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <utility>

#include "conversion/layout/ClassicDocuments.h"
#include "conversion/layout/PageText.h"
#include "conversion/run/PoolRendering.h"
#include "conversion/run/StagingTree.h"
#include "conversion/run/Utf8FileWriter.h"
#include "conversion/text/SourceText.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"

namespace qm {
namespace {

// The share of the Pages progress that loading the book takes.
constexpr int kLoadingShare = 25;

// Writes one page, its body escaped and converted slice by slice; afterSlice
// is told how many bytes of the part are done after each slice but the last.
void WritePage(const std::string& path, std::string_view part, TPartEdges edges, size_t sliceSize,
               const std::function<void(size_t done)>& afterSlice) {
    TUtf8FileWriter file(path);
    const TPageFrame& frame = ClassicPageFrame();
    std::string buffer(frame.head);
    OpenPageBody(buffer);
    size_t start = 0;
    while (part.size() - start > sliceSize) {
        const size_t end = PageSliceEnd(part, start, sliceSize);
        AppendPageBodySlice(buffer, part, start, end, edges);
        file.Append(buffer);
        buffer.clear();
        start = end;
        afterSlice(start);
    }
    AppendPageBodySlice(buffer, part, start, part.size(), edges);
    ClosePageBody(buffer);
    buffer.append(frame.tail);
    file.Append(buffer);
    file.Finish();
}

std::string PagePath(const std::string& oebps, size_t index) {
    return Format("%s/%d.html", oebps.c_str(), static_cast<int>(index));
}

TPartEdges EdgesOf(const std::vector<std::string_view>& parts, size_t index) {
    return PartEdges(index > 0 ? parts[index - 1] : std::string_view(), parts[index],
                     index + 1 < parts.size() ? parts[index + 1] : std::string_view());
}

}  // namespace

void WriteBookFiles(const std::vector<std::string_view>& parts, const TConversionRequest& request,
                    TConversionUi& ui, const std::string& tempDirPath,
                    const TPageWriting& writing) {
    const std::string oebps = OebpsDir(tempDirPath);
    const size_t sliceSize = std::max<size_t>(1, writing.sliceSize);
    const int64_t count = static_cast<int64_t>(parts.size());
    // Progress runs from firstPercent to 100 over the pages, each page's
    // share filled as its slices are written.
    auto report = [&](int64_t k, size_t done, size_t size) {
        const int64_t share = 100 - writing.firstPercent;
        const int64_t scaled =
            size == 0 ? 0 : static_cast<int64_t>(done) * share / static_cast<int64_t>(size);
        ui.Progress(TConversionPhase::Pages,
                    writing.firstPercent + static_cast<int>((k * share + scaled) / count));
        CheckCancel(ui);
    };
    // The parts are independent once cut. On workers a page is written
    // whole; on this thread slice by slice, reporting each slice.
    const bool onCaller = RendersOnCaller(parts.size(), writing.threads);
    RenderInOrder(
        parts.size(), writing.threads,
        [&](size_t index) {
            const std::string_view part = parts[index];
            const auto k = static_cast<int64_t>(index);
            WritePage(PagePath(oebps, index), part, EdgesOf(parts, index), sliceSize,
                      [&](size_t done) {
                          if (onCaller) report(k, done, part.size());
                      });
        },
        [&](size_t index) { report(static_cast<int64_t>(index) + 1, 0, 0); });

    WriteUtf8File(oebps + "/content.opf",
                  ClassicPackageDocument(Utf8ToAnsi(request.title), Utf8ToAnsi(request.author),
                                         parts.size()));
    WriteUtf8File(oebps + "/toc.ncx", ClassicNcxDocument(request.labelName, parts.size()));
}

TRunStatus SplitText(int32_t n, const TConversionRequest& request, TConversionUi& ui,
                     const std::string& tempDirPath) {
    auto fail = [](std::string why) { return TRunError{TRunError::Kind::Failed, std::move(why)}; };
    // A request made by hand (tests) has not looked at the file yet.
    int64_t size = request.sourceSize;
    if (size < 0 && FileKindOf(request.sourcePath) == TFileKind::NamedPipe) {
        return TRunError{TRunError::Kind::NamedPipe, NamedPipeText(request.sourcePath)};
    }
    if (size < 0 && !FileSizeOf(request.sourcePath, size)) size = 0;
    // A book of 2 GiB or more, whatever its recorded size says, goes straight
    // to the loading, which refuses it with a clear message.
    if (request.fileSize <= n && size <= kMaxSourceSize) {
        ui.ShowWarning(kSplitWarningCaption, kSplitWarningText);
        return fail(kSplitWarningText);
    }
    return CaptureRun([&]() -> TRunStatus {
        const std::string text = LoadSourceText(request.sourcePath, [&ui](int percent) {
            ui.Progress(TConversionPhase::Pages, percent * kLoadingShare / 100);
            CheckCancel(ui);
        });
        if (text.empty()) {
            return fail(Format("The file \"%s\" holds no text that could be read.",
                               request.sourcePath.c_str()));
        }
        // A UTF-8 or UTF-16 source shrinks when it becomes code page 936; the
        // cut follows the text itself so the book gets about n parts and no
        // empty page.
        WriteBookFiles(CutText(text, n), request, ui, tempDirPath,
                       TPageWriting{kPageSliceSize, kLoadingShare, request.threads});
        return {};
    });
}

}  // namespace qm
