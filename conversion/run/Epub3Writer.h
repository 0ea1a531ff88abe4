#pragma once
// Rendering a book model as the files of a standard EPUB 3 book, in
// memory, and packing them into the .epub: mimetype first and stored, entry times fixed,
// so the same book always gives the same bytes.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "conversion/book/BookModel.h"
#include "conversion/layout/BookResources.h"
#include "zip/DeflatedData.h"

namespace qm {

// Readers such as Adobe's engine refuse larger XHTML files; a section that
// would be larger continues on further pages.
inline constexpr size_t kMaxPageBytes = size_t{256} << 10;

struct TEpub3Extras {
    std::string identifier;  // "urn:uuid:..."
    int64_t timestamp = 0;   // seconds since 1970, for dcterms:modified
    bool vertical = false;
    const TBookResource* cover = nullptr;  // none: drawnCover's, else one drawn here
    // A cover being drawn elsewhere meanwhile, asked for only once the pages
    // are rendered: its drawing then costs the run no wait.
    std::function<TBookResource()> drawnCover;
    const TBookResource* font = nullptr;
    // Each text page deflated where it is rendered (as the book's packing
    // deflates it), so that rendering and deflating share the workers and
    // only the deflated pages are held.
    bool deflatePages = false;
};

// One file of the book: its path in the archive and its bytes, or those
// bytes deflated (see deflatePages), which then stand for them.
struct TBookFile {
    std::string name;
    std::string bytes;
    std::optional<TDeflatedData> deflated = std::nullopt;
};

// The book's files in the order the archive holds them, "mimetype" first.
// The pages are rendered by `threads` workers (0: one per core; 1: on the
// calling thread); progress gets the share of the text rendered (0..100)
// as pages come in, and may raise to stop the run.
std::vector<TBookFile> RenderEpub3Files(const TBook& book, const TEpub3Extras& extras,
                                        int threads = 1,
                                        const std::function<void(int percent)>& progress = {});

}  // namespace qm
