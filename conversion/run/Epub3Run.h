#pragma once
// The conversion into a standard EPUB 3 book: the source decoded to Unicode
// and kept so, cut into the request's parts, written and packed.
#include <string>

#include "conversion/book/BookChapters.h"
#include "conversion/book/BookModel.h"
#include "conversion/run/ConversionRun.h"

namespace qm {

// Reads and decodes the source (the options' encoding, or the detected one),
// applies the Chinese conversion, builds the book model and writes it as an
// EPUB 3 book to request.archiveName, replacing any file there once the new
// book is complete. Undecodable bytes are reported through ui.ShowWarning.
// Shows the result; every failure becomes the result's reason.
TConversionResult RunEpub3Conversion(const TConversionRequest& request, TConversionUi& ui);

// The book as the conversion would write it (read, decoded, converted and
// divided into chapters or parts), and the headings found in it.
struct TListedBook {
    TBook book;
    TChapterCount found;
};

// The book without writing anything: what a user checks a pattern with.
// Fails with what reading the source or compiling a pattern raised.
TRunResult<TListedBook> ReadEpub3Book(const TConversionRequest& request, TConversionUi& ui);

}  // namespace qm
