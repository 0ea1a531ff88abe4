#include "conversion/run/BookSplitter.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <utility>

#include "conversion/layout/BookLayout.h"
#include "conversion/layout/ClassicDocuments.h"
#include "conversion/layout/EpubTemplates.h"
#include "conversion/layout/PageText.h"
#include "conversion/run/PoolRendering.h"
#include "conversion/text/SourceDecoding.h"
#include "conversion/text/SourceText.h"
#include "platform/AsciiCase.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"

namespace qm {
namespace {

// The share of the Pages progress that loading the book takes.
constexpr int kLoadingShare = 25;

// One page in UTF-8, its body escaped and converted slice by slice;
// afterSlice is told how many bytes of the part are done after each slice
// but the last.
std::string RenderPage(std::string_view part, TPartEdges edges, size_t sliceSize,
                       const std::function<void(size_t done)>& afterSlice) {
    const TPageFrame& frame = ClassicPageFrame();
    TAnsiToUtf8Converter converter;
    std::string page;
    // Chinese text grows by half in UTF-8, and each line by its paragraph
    // tags: room for that spares a large page being copied as it grows.
    page.reserve(frame.head.size() + part.size() / 8 * 13 + frame.tail.size() + 64);
    std::string buffer(frame.head);
    OpenPageBody(buffer);
    size_t start = 0;
    while (part.size() - start > sliceSize) {
        const size_t end = PageSliceEnd(part, start, sliceSize);
        AppendPageBodySlice(buffer, part, start, end, edges);
        converter.Append(page, buffer, false);
        buffer.clear();
        start = end;
        afterSlice(start);
    }
    AppendPageBodySlice(buffer, part, start, part.size(), edges);
    ClosePageBody(buffer);
    buffer.append(frame.tail);
    converter.Append(page, buffer, false);
    converter.Append(page, {}, true);
    return page;
}

TPartEdges EdgesOf(const std::vector<std::string_view>& parts, size_t index) {
    return PartEdges(index > 0 ? parts[index - 1] : std::string_view(), parts[index],
                     index + 1 < parts.size() ? parts[index + 1] : std::string_view());
}

// The pages of the parts, rendered on workers (a page whole) or on this
// thread (slice by slice, reporting each slice), reported in order.
std::vector<std::string> RenderPages(const std::vector<std::string_view>& parts, TConversionUi& ui,
                                     const TPageWriting& writing) {
    const size_t sliceSize = std::max<size_t>(1, writing.sliceSize);
    const int64_t count = static_cast<int64_t>(parts.size());
    // Progress runs from firstPercent to 100 over the pages, each page's
    // share filled as its slices are rendered.
    auto report = [&](int64_t k, size_t done, size_t size) {
        const int64_t share = 100 - writing.firstPercent;
        const int64_t scaled =
            size == 0 ? 0 : static_cast<int64_t>(done) * share / static_cast<int64_t>(size);
        ui.Progress(TConversionPhase::Pages,
                    writing.firstPercent + static_cast<int>((k * share + scaled) / count));
        CheckCancel(ui);
    };
    std::vector<std::string> pages(parts.size());
    const bool onCaller = RendersOnCaller(parts.size(), writing.threads);
    RenderInOrder(
        parts.size(), writing.threads,
        [&](size_t index) {
            const std::string_view part = parts[index];
            const auto k = static_cast<int64_t>(index);
            pages[index] = RenderPage(part, EdgesOf(parts, index), sliceSize, [&](size_t done) {
                if (onCaller) report(k, done, part.size());
            });
        },
        [&](size_t index) { report(static_cast<int64_t>(index) + 1, 0, 0); });
    return pages;
}

// The order in which a walk of the book's folders listed its files, which
// the archive keeps: depth first, the names of each folder compared as its
// listing compares them (ASCII letters folded, then byte by byte).
bool WalkOrder(const TBookEntry& left, const TBookEntry& right) {
    std::string_view a = left.name, b = right.name;
    while (true) {
        const size_t slashA = a.find('/'), slashB = b.find('/');
        const std::string_view nameA = a.substr(0, slashA), nameB = b.substr(0, slashB);
        if (nameA != nameB) {
            const int order = CompareTextAscii(nameA, nameB);
            return order != 0 ? order < 0 : nameA < nameB;
        }
        if (slashA == std::string_view::npos || slashB == std::string_view::npos) return false;
        a.remove_prefix(slashA + 1);
        b.remove_prefix(slashB + 1);
    }
}

TBookEntry ClassicEntry(std::string name, std::string utf8) {
    TBookEntry entry;
    entry.name = std::move(name);
    entry.bytes = std::move(utf8);
    entry.packing = TPacking::DeflateAsStreamed;
    return entry;
}

}  // namespace

std::vector<TBookEntry> ClassicBookFiles(const std::vector<std::string_view>& parts,
                                         const TConversionRequest& request, TConversionUi& ui,
                                         const TPageWriting& writing) {
    std::vector<std::string> pages = RenderPages(parts, ui, writing);
    std::vector<TBookEntry> files;
    files.reserve(pages.size() + 5);
    files.push_back(ClassicEntry("mimetype", AnsiToUtf8(kMimetypeText)));
    files.push_back(ClassicEntry("META-INF/container.xml",
                                 AnsiToUtf8(ContainerDocument(LayoutFor(TBookKind::Classic)))));
    files.push_back(ClassicEntry("OEBPS/css/main.css", AnsiToUtf8(kMainCss)));
    for (size_t k = 0; k < pages.size(); ++k) {
        files.push_back(ClassicEntry(Format("OEBPS/%zu.html", k), std::move(pages[k])));
    }
    files.push_back(
        ClassicEntry("OEBPS/content.opf",
                     AnsiToUtf8(ClassicPackageDocument(Utf8ToAnsi(request.title),
                                                       Utf8ToAnsi(request.author), parts.size()))));
    files.push_back(ClassicEntry("OEBPS/toc.ncx",
                                 AnsiToUtf8(ClassicNcxDocument(request.labelName, parts.size()))));
    std::sort(files.begin(), files.end(), WalkOrder);
    return files;
}

TRunResult<std::vector<TBookEntry>> SplitText(int32_t n, const TConversionRequest& request,
                                              TConversionUi& ui) {
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
    return CaptureRun([&]() -> TRunResult<std::vector<TBookEntry>> {
        TFileStream file(request.sourcePath, fmOpenRead | fmShareDenyNone);
        const std::string text =
            LoadSource(file, request.sourcePath, LayoutFor(TBookKind::Classic).decoding,
                       [&ui](int percent) {
                           ui.Progress(TConversionPhase::Pages, percent * kLoadingShare / 100);
                           CheckCancel(ui);
                       })
                .text;
        if (text.empty()) {
            return fail(Format("The file \"%s\" holds no text that could be read.",
                               request.sourcePath.c_str()));
        }
        // A UTF-8 or UTF-16 source shrinks when it becomes code page 936; the
        // cut follows the text itself so the book gets about n parts and no
        // empty page.
        return ClassicBookFiles(CutText(text, n), request, ui,
                                TPageWriting{kPageSliceSize, kLoadingShare, request.threads});
    });
}

}  // namespace qm
