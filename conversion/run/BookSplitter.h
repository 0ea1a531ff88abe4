#pragma once
// Rendering the classic book's parts (cut by CutText, BookCutting.h) as one
// XHTML page each, with the package document (content.opf), the table of
// contents (toc.ncx) and the fixed files, all in memory as UTF-8 and in the
// order the book's archive holds them.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/book/BookCutting.h"
#include "conversion/run/BookPacking.h"
#include "conversion/run/ConversionRun.h"

namespace qm {

inline constexpr const char* kSplitWarningCaption = "Quillmark";
inline constexpr const char* kSplitWarningText = "文件大小小于或等于分割数";

// How pages are rendered. A part longer than sliceSize bytes is escaped and
// converted one slice at a time, with progress told and a stop looked for
// between slices; the page is the same for any slice size.
inline constexpr size_t kPageSliceSize = size_t{1} << 20;
// Several parts are rendered by `threads` worker threads at a time (0: one
// per core) while the calling thread takes each page in order; so are the
// slices of one long part (LineSliceEnds, ClassicPages.h). With one thread,
// pages are rendered on the calling thread slice by slice.
struct TPageWriting {
    size_t sliceSize = kPageSliceSize;
    int firstPercent = 0;  // the Pages progress at which rendering starts
    int threads = 1;
    // Each page deflated for the archive where it is rendered (a one-part
    // book's page in pieces on the workers), so that only deflated pages
    // wait: TBookEntry::deflated. Rendering and packing are then one step,
    // whose progress fills Pages and then Packing (a one-part book: its
    // rendering, then its deflating).
    bool deflate = false;
    // Told once every page is rendered: the parts are not read after that,
    // so their text may go (a one-part book then deflates without it).
    std::function<void()> partsDone = nullptr;
};

// Hands the files of the classic book to take, one at a time in the
// archive's order, each as soon as it is ready (see ClassicBookFiles).
void WriteClassicBook(const std::vector<std::string_view>& parts, const TConversionRequest& request,
                      TConversionUi& ui, const TPageWriting& writing,
                      const std::function<void(TBookEntry)>& take);

// The files of the classic book: mimetype, META-INF/container.xml,
// OEBPS/css/main.css, the pages OEBPS/0.html, OEBPS/1.html ... for the
// parts, OEBPS/content.opf and OEBPS/toc.ncx, ordered as a walk of their
// folders lists them (META-INF/container.xml, mimetype, OEBPS/0.html,
// OEBPS/1.html, OEBPS/10.html ...) and each deflated as a file streamed
// from disk would be. Title, author and label come from the request.
// Reports the pages rendered as Progress(Pages, percent), from
// writing.firstPercent to 100, and looks for a stop request after each page
// and each slice.
std::vector<TBookEntry> ClassicBookFiles(const std::vector<std::string_view>& parts,
                                         const TConversionRequest& request, TConversionUi& ui,
                                         const TPageWriting& writing = {});

// The size check and loading for n parts: the text to cut. Loading
// reports progress (Pages, up to the loading's share) and looks for a stop
// request as it goes. A size not greater than n shows the warning and fails
// with its text without reading the file. Never raises: every failure is in
// the result.
TRunResult<std::string> LoadClassicText(int32_t n, const TConversionRequest& request,
                                        TConversionUi& ui);

// Loading (LoadClassicText), cutting and rendering for n parts, with
// request.threads rendering the pages: the book's files, held.
TRunResult<std::vector<TBookEntry>> SplitText(int32_t n, const TConversionRequest& request,
                                              TConversionUi& ui);

// The classic book made and packed into request.archiveName (which must be
// a book or nothing: CheckBookTarget): loaded, cut into request.parts parts,
// and each page handed to the archive once rendered and deflated, so that
// no more than the text and the deflated pages are held. Never raises.
TRunStatus PackClassicBook(const TConversionRequest& request, TConversionUi& ui);

}  // namespace qm
