#pragma once
// Writing the classic book's parts (cut by CutText, BookCutting.h) as one
// XHTML page each, then the package document (content.opf) and the table of
// contents (toc.ncx) that list them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/book/BookCutting.h"
#include "conversion/run/ConversionRun.h"

namespace qm {

inline constexpr const char* kSplitWarningCaption = "Quillmark";
inline constexpr const char* kSplitWarningText = "文件大小小于或等于分割数";

// How pages are written. A part longer than sliceSize bytes is escaped,
// converted and written one slice at a time, with progress told and a stop
// looked for between slices; the file is the same for any slice size.
inline constexpr size_t kPageSliceSize = size_t{1} << 20;
// Several parts are written as pages by `threads` worker threads at a time
// (0: one per core) while the calling thread reports each page in order;
// one part, or one thread, is written on the calling thread slice by slice.
struct TPageWriting {
    size_t sliceSize = kPageSliceSize;
    int firstPercent = 0;  // the Pages progress at which writing starts
    int threads = 1;
};

// Writes 0.html, 1.html ... for the parts, then content.opf and toc.ncx,
// into the staging tree under tempDirPath. Title, author and label come from
// the request. Reports the pages written as Progress(Pages, percent), from
// writing.firstPercent to 100, and looks for a stop request after each page
// and each slice. Raises what the file writes raise.
void WriteBookFiles(const std::vector<std::string_view>& parts, const TConversionRequest& request,
                    TConversionUi& ui, const std::string& tempDirPath,
                    const TPageWriting& writing = {});

// The size check, loading, cutting and writing for n parts, with
// request.threads writing the pages. Loading and writing report progress and
// look for a stop request as they go, however large the parts. A size not greater than
// n shows the warning and fails with its text without reading the file.
// Never raises: every failure is in the result.
TRunStatus SplitText(int32_t n, const TConversionRequest& request, TConversionUi& ui,
                     const std::string& tempDirPath);

}  // namespace qm
