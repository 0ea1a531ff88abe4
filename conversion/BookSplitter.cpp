#include "conversion/BookSplitter.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <future>

#include "conversion/EpubTemplates.h"
#include "conversion/PageText.h"
#include "conversion/SourceText.h"
#include "conversion/StagingTree.h"
#include "conversion/Utf8FileWriter.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "zip/WorkerPool.h"

namespace qm {
namespace {

// The share of the Pages progress that loading the book takes.
constexpr int kLoadingShare = 25;

// Writes one page, its body escaped and converted slice by slice; afterSlice
// is told how many bytes of the part are done after each slice but the last.
void WritePage(const std::string& path, std::string_view part, TPartEdges edges, size_t sliceSize,
               const std::function<void(size_t done)>& afterSlice) {
    TUtf8FileWriter file(path);
    std::string buffer(kPageHead);
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
    buffer.append(kPageTail);
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

// The parts are independent once cut: workers write the pages, the calling
// thread waits for each in order. pageDone is
// told how many pages are complete.
void WritePagesOnPool(const std::vector<std::string_view>& parts, const std::string& oebps,
                      size_t sliceSize, int threads,
                      const std::function<void(size_t pages)>& pageDone) {
    std::vector<std::future<void>> done;
    done.reserve(parts.size());
    TWorkerPool pool(threads);  // goes first: no worker outlives the parts
    for (size_t index = 0; index < parts.size(); ++index) {
        done.push_back(pool.Run([&parts, &oebps, sliceSize, index] {
            WritePage(PagePath(oebps, index), parts[index], EdgesOf(parts, index), sliceSize,
                      [](size_t) {});
        }));
    }
    for (size_t index = 0; index < parts.size(); ++index) {
        // A page that failed fails the book.
        done[index].get();
        pageDone(index + 1);
    }
}

}  // namespace

std::vector<std::string_view> CutText(std::string_view text, int32_t n) {
    std::vector<std::string_view> parts;
    if (text.empty() || n < 1) return parts;
    const size_t size = text.size();
    const size_t partSize = size / static_cast<size_t>(n) + 1;
    parts.reserve(static_cast<size_t>(n));
    size_t next = 0;
    for (int32_t pass = 0; pass < n && next < size; ++pass) {
        const size_t start = next;
        size_t end = std::min(size, start + partSize);
        if (end > start && end < size) {
            // A character the code page lacks goes whole with the part it
            // begins in; otherwise a lead byte takes the byte after it.
            const size_t whole = start + SequenceEndAtCut(text.substr(start), end - start);
            if (whole != end) {
                end = whole;
            } else if (EndsInOpenLeadByte(text.substr(start, end - start))) {
                ++end;
            }
        }
        parts.push_back(text.substr(start, end - start));
        next = end;
    }
    return parts;
}

void WriteBookFiles(const std::vector<std::string_view>& parts, const TConversionRequest& request,
                    TConversionUi& ui, const std::string& tempDirPath,
                    const TPageWriting& writing) {
    const std::string label = XmlText(request.labelName);
    std::string manifest;
    manifest.append(kOpfIdentifierCreator)
        .append(XmlText(request.author))
        .append(kOpfCreatorPublisher)
        .append(kPublisherAddress)
        .append(kOpfPublisherSource)
        .append(kSourceAddress)
        .append(kOpfSourceTitle)
        .append(XmlText(request.title))
        .append(kOpfTitleManifest)
        .append(kOpfCssItem);
    std::string spine(kOpfSpineStart);
    std::string navigation(kNavMapStart);

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
    for (int64_t k = 0; k < count; ++k) {
        const int page = static_cast<int>(k);
        manifest.append(FormatManifestItem(page));
        spine.append(FormatSpineRef(page));
        navigation.append(FormatNavPoint(page, label));
    }
    if (count > 1 && writing.threads != 1) {
        WritePagesOnPool(parts, oebps, sliceSize, writing.threads,
                         [&](size_t pages) { report(static_cast<int64_t>(pages), 0, 0); });
    } else {
        for (int64_t k = 0; k < count; ++k) {
            const size_t index = static_cast<size_t>(k);
            const std::string_view part = parts[index];
            WritePage(PagePath(oebps, index), part, EdgesOf(parts, index), sliceSize,
                      [&](size_t done) { report(k, done, part.size()); });
            report(k + 1, 0, 0);
        }
    }

    std::string opf(kOpfPackageHead);
    opf.append(manifest).append(kOpfManifestEnd).append(spine).append(kOpfSpineEnd);
    WriteUtf8File(oebps + "/content.opf", opf);

    std::string ncx(kTocNcxHead);
    ncx.append(navigation).append(kNavMapEnd);
    WriteUtf8File(oebps + "/toc.ncx", ncx);
}

bool SplitText(int32_t n, const TConversionRequest& request, TConversionUi& ui,
               const std::string& tempDirPath, std::string* reason) {
    auto fail = [&](const std::string& why) {
        if (reason) *reason = why;
        return false;
    };
    // A request made by hand (tests) has not looked at the file yet.
    int64_t size = request.sourceSize;
    if (size < 0 && FileKindOf(request.sourcePath) == TFileKind::NamedPipe) {
        return fail(NamedPipeText(request.sourcePath));
    }
    if (size < 0 && !FileSizeOf(request.sourcePath, size)) size = 0;
    // A book of 2 GiB or more, whatever its recorded size says, goes straight
    // to the loading, which refuses it with a clear message.
    if (request.fileSize <= n && size <= kMaxSourceSize) {
        ui.ShowWarning(kSplitWarningCaption, kSplitWarningText);
        return fail(kSplitWarningText);
    }
    try {
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
        return true;
    } catch (const std::exception& error) {
        return fail(error.what());
    }
}

}  // namespace qm
