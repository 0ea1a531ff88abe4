#include "conversion/run/BookSplitter.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <optional>
#include <utility>

#include "conversion/layout/BookLayout.h"
#include "conversion/layout/ClassicDocuments.h"
#include "conversion/layout/EpubTemplates.h"
#include "conversion/run/BookTarget.h"
#include "conversion/run/ClassicPages.h"
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
// A page's share of the progress, in units its slices can divide.
constexpr int64_t kPageUnits = 1024;

// The pages' progress. Rendering alone fills Pages from firstPercent to
// 100; rendering and deflating as one step fill Pages with the first half of
// the work and Packing with the second. A stop request is looked for at
// each report.
class TPageProgress {
  public:
    TPageProgress(TConversionUi& ui, const TPageWriting& writing) : ui_(ui), writing_(writing) {}

    void Tell(int64_t done, int64_t total) {
        if (!writing_.deflate) return TellPages(done, total);
        if (2 * done <= total) return TellPages(2 * done, total);
        // Pages end at 100 before packing is told, however few the pages.
        if (!pagesEnded_) TellPages(1, 1);
        pagesEnded_ = true;
        TellPacking(2 * done - total, total);
    }
    void TellPages(int64_t done, int64_t total) {
        const int64_t share = 100 - writing_.firstPercent;
        ui_.Progress(
            TConversionPhase::Pages,
            writing_.firstPercent + static_cast<int>(total > 0 ? done * share / total : share));
        CheckCancel(ui_);
    }
    void TellPacking(int64_t done, int64_t total) {
        ui_.Progress(TConversionPhase::Packing,
                     static_cast<int>(total > 0 ? done * 100 / total : 100));
        CheckCancel(ui_);
    }

  private:
    TConversionUi& ui_;
    const TPageWriting& writing_;
    bool pagesEnded_ = false;
};

TPartEdges EdgesOf(const std::vector<std::string_view>& parts, size_t index) {
    return PartEdges(index > 0 ? parts[index - 1] : std::string_view(), parts[index],
                     index + 1 < parts.size() ? parts[index + 1] : std::string_view());
}

// A page as the archive takes it: deflated when asked and where the writer
// would deflate it whole.
TBookEntry PageEntry(std::string page, bool deflate) {
    TBookEntry entry;
    entry.packing = TPacking::DeflateAsStreamed;
    if (deflate) entry.deflated = DeflateAhead(page, entry.packing, kBookDeflateLevel);
    if (!entry.deflated) entry.bytes = std::move(page);
    return entry;
}

// The page of a one-part book: its slices rendered (Pages), then, when
// asked, its deflate pieces made on the workers too (Packing).
TBookEntry SinglePageEntry(std::string_view part, TConversionUi& ui, const TPageWriting& writing) {
    TPageProgress progress(ui, writing);
    const size_t sliceSize = std::max<size_t>(1, writing.sliceSize);
    auto tell = [&](size_t done) {
        progress.TellPages(static_cast<int64_t>(done), static_cast<int64_t>(part.size()));
    };
    std::string page = writing.threads == 1
                           ? RenderPage(part, {}, sliceSize, tell)
                           : RenderPageOnWorkers(part, {}, sliceSize, writing.threads, tell);
    progress.TellPages(1, 1);
    if (writing.partsDone) writing.partsDone();
    const size_t count = DeflatePieceCount(page, TPacking::DeflateAsStreamed);
    if (!writing.deflate || count == 0) {
        TBookEntry entry = PageEntry(std::move(page), writing.deflate);
        if (writing.deflate) progress.TellPacking(1, 1);
        return entry;
    }
    std::vector<TDeflatedData> pieces(count);
    RenderInOrder(
        count, writing.threads,
        [&](size_t k) { pieces[k] = DeflateAheadPiece(page, k, kBookDeflateLevel); },
        [&](size_t k) {
            progress.TellPacking(static_cast<int64_t>(k) + 1, static_cast<int64_t>(count));
        });
    std::string().swap(page);
    TBookEntry entry;
    entry.packing = TPacking::DeflateAsStreamed;
    entry.deflated = JoinDeflatedPieces(std::move(pieces));
    return entry;
}

// The pages of several parts in the given order, rendered (and deflated) on
// workers, a page whole, or on this thread slice by slice; each handed to
// taken in that order.
void RenderPages(const std::vector<std::string_view>& parts, const std::vector<size_t>& order,
                 TConversionUi& ui, const TPageWriting& writing,
                 const std::function<void(TBookEntry)>& taken) {
    const size_t sliceSize = std::max<size_t>(1, writing.sliceSize);
    const auto total = static_cast<int64_t>(order.size()) * kPageUnits;
    TPageProgress progress(ui, writing);
    std::vector<TBookEntry> pages(order.size());
    const bool onCaller = RendersOnCaller(order.size(), writing.threads);
    RenderInOrder(
        order.size(), writing.threads,
        [&](size_t k) {
            const std::string_view part = parts[order[k]];
            const auto units = static_cast<int64_t>(k) * kPageUnits;
            pages[k] = PageEntry(
                RenderPage(part, EdgesOf(parts, order[k]), sliceSize,
                           [&](size_t done) {
                               if (onCaller) {
                                   progress.Tell(units + static_cast<int64_t>(done) * kPageUnits /
                                                             static_cast<int64_t>(part.size()),
                                                 total);
                               }
                           }),
                writing.deflate);
        },
        [&](size_t k) {
            progress.Tell((static_cast<int64_t>(k) + 1) * kPageUnits, total);
            taken(std::move(pages[k]));
        });
}

// The order in which a walk of the book's folders listed its files, which
// the archive keeps: depth first, the names of each folder compared as its
// listing compares them (ASCII letters folded, then byte by byte).
bool WalkOrder(const std::string& left, const std::string& right) {
    std::string_view a = left, b = right;
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

void WriteClassicBook(const std::vector<std::string_view>& parts, const TConversionRequest& request,
                      TConversionUi& ui, const TPageWriting& writing,
                      const std::function<void(TBookEntry)>& take) {
    // Every file in the archive's order: the documents, and a place for
    // each page, which is filled when the page is taken.
    struct Slot {
        TBookEntry file;
        std::optional<size_t> page = std::nullopt;  // the part a page renders
    };
    std::vector<Slot> slots;
    slots.reserve(parts.size() + 5);
    slots.push_back({ClassicEntry("mimetype", AnsiToUtf8(kMimetypeText))});
    slots.push_back({ClassicEntry("META-INF/container.xml",
                                  AnsiToUtf8(ContainerDocument(LayoutFor(TBookKind::Classic))))});
    slots.push_back({ClassicEntry("OEBPS/css/main.css", AnsiToUtf8(kMainCss))});
    for (size_t k = 0; k < parts.size(); ++k) {
        slots.push_back({ClassicEntry(Format("OEBPS/%zu.html", k), {}), k});
    }
    slots.push_back(
        {ClassicEntry("OEBPS/content.opf",
                      AnsiToUtf8(ClassicPackageDocument(
                          Utf8ToAnsi(request.title), Utf8ToAnsi(request.author), parts.size())))});
    slots.push_back({ClassicEntry(
        "OEBPS/toc.ncx", AnsiToUtf8(ClassicNcxDocument(request.labelName, parts.size())))});
    std::stable_sort(slots.begin(), slots.end(), [](const Slot& a, const Slot& b) {
        return WalkOrder(a.file.name, b.file.name);
    });
    std::vector<size_t> order;
    for (const Slot& slot : slots) {
        if (slot.page) order.push_back(*slot.page);
    }
    size_t next = 0;
    // The documents that come before the next page, or all that are left.
    auto takeDocuments = [&] {
        for (; next < slots.size() && !slots[next].page; ++next) take(std::move(slots[next].file));
    };
    auto takePage = [&](TBookEntry page) {
        takeDocuments();
        page.name = std::move(slots[next++].file.name);
        take(std::move(page));
    };
    if (parts.size() == 1) {
        takePage(SinglePageEntry(parts[0], ui, writing));
    } else {
        RenderPages(parts, order, ui, writing, takePage);
        if (writing.partsDone) writing.partsDone();
    }
    takeDocuments();
}

std::vector<TBookEntry> ClassicBookFiles(const std::vector<std::string_view>& parts,
                                         const TConversionRequest& request, TConversionUi& ui,
                                         const TPageWriting& writing) {
    std::vector<TBookEntry> files;
    files.reserve(parts.size() + 5);
    WriteClassicBook(parts, request, ui, writing,
                     [&files](TBookEntry file) { files.push_back(std::move(file)); });
    return files;
}

TRunResult<std::string> LoadClassicText(int32_t n, const TConversionRequest& request,
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
    return CaptureRun([&]() -> TRunResult<std::string> {
        TFileStream file(request.sourcePath, fmOpenRead | fmShareDenyNone);
        std::string text =
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
        return text;
    });
}

TRunResult<std::vector<TBookEntry>> SplitText(int32_t n, const TConversionRequest& request,
                                              TConversionUi& ui) {
    TRunResult<std::string> text = LoadClassicText(n, request, ui);
    if (!text) return text.Error();
    // A UTF-8 or UTF-16 source shrinks when it becomes code page 936; the
    // cut follows the text itself so the book gets about n parts and no
    // empty page.
    return CaptureRun([&] {
        return ClassicBookFiles(CutText(*text, n), request, ui,
                                TPageWriting{kPageSliceSize, kLoadingShare, request.threads});
    });
}

TRunStatus PackClassicBook(const TConversionRequest& request, TConversionUi& ui) {
    TRunResult<std::string> text = LoadClassicText(request.parts, request, ui);
    if (!text) return text.Error();
    return CaptureRun([&] {
        Require(CheckBookTarget(request.archiveName));
        TBookPacker packer(request.archiveName, ui, request.threads, std::nullopt);
        TPageWriting writing{kPageSliceSize, kLoadingShare, request.threads, true};
        writing.partsDone = [&text] { std::string().swap(*text); };
        WriteClassicBook(CutText(*text, request.parts), request, ui, writing,
                         [&packer](TBookEntry file) { packer.Add(std::move(file)); });
        packer.Finish();
    });
}

}  // namespace qm
