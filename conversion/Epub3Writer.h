#pragma once
// Writing a book model out as the files of a standard EPUB 3 book, and
// packing them into the .epub: mimetype first and stored, entry times fixed,
// so the same book always gives the same bytes.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "conversion/BookModel.h"
#include "conversion/BookResources.h"

namespace qm {

class TZipBuilder;

// Readers such as Adobe's engine refuse larger XHTML files; a section that
// would be larger continues on further pages.
inline constexpr size_t kMaxPageBytes = size_t{256} << 10;

struct TEpub3Extras {
    std::string identifier;  // "urn:uuid:..."
    int64_t timestamp = 0;   // seconds since 1970, for dcterms:modified
    bool vertical = false;
    const TBookResource* cover = nullptr;  // none: a generated cover
    const TBookResource* font = nullptr;
};

// Writes the book's files below dir (an existing, empty directory) and
// returns their paths relative to dir in the order the archive holds them,
// "mimetype" first. progress gets the share of the text written (0..100)
// after each page. Raises what the file writes raise.
std::vector<std::string> WriteEpub3Tree(const TBook& book, const TEpub3Extras& extras,
                                        const std::string& dir,
                                        const std::function<void(int percent)>& progress = {});

// Packs the files (relative to dir, in order) into a new archive at
// archiveName, which must not exist yet: mimetype stored, everything else
// deflated, every entry dated dosDateTime. Raises what the builder raises.
void PackEpub3Tree(TZipBuilder& zip, const std::string& dir, const std::vector<std::string>& files,
                   const std::string& archiveName, uint32_t dosDateTime);

}  // namespace qm
