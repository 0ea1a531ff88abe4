#pragma once
// Takes arbitrary bytes as a .txt book through the text side of both layouts
// in memory: the classic loading, cutting and page bodies, and the EPUB 3
// detection, decoding, chapters or parts and every document of the package.
// libxml2 reads the results as an independent judge. Shared by the fast fuzz
// target and the corpus replay test; nothing touches a file.
#include <libxml/parser.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/book/BookChapters.h"
#include "conversion/book/BookModel.h"
#include "conversion/book/ChapterDetector.h"
#include "conversion/layout/ClassicDocuments.h"
#include "conversion/layout/EpubTemplates.h"
#include "conversion/layout/PageText.h"
#include "conversion/run/BookSplitter.h"
#include "conversion/run/Epub3Writer.h"
#include "conversion/text/BookEncoding.h"
#include "conversion/text/SourceText.h"
#include "platform/CodePage.h"
#include "platform/Format.h"
#include "zip/MemoryStream.h"

namespace qm::fuzz {

// What a streaming read of a document keeps: the character data below the
// first element of a name.
struct TXmlReading {
    const char* within = nullptr;
    std::string* text = nullptr;
    int depth = 0;  // open elements from the one named within down; 0: outside
    bool found = false;
};

inline void ReadingStart(void* context, const xmlChar* name, const xmlChar**) {
    auto& r = *static_cast<TXmlReading*>(context);
    if (r.depth > 0) {
        ++r.depth;
    } else if (r.within && !r.found &&
               xmlStrEqual(name, reinterpret_cast<const xmlChar*>(r.within))) {
        r.depth = 1;
        r.found = true;
    }
}

inline void ReadingEnd(void* context, const xmlChar*) {
    auto& r = *static_cast<TXmlReading*>(context);
    if (r.depth > 0) --r.depth;
}

inline void ReadingCharacters(void* context, const xmlChar* chars, int length) {
    auto& r = *static_cast<TXmlReading*>(context);
    if (r.depth > 0 && r.text) r.text->append(reinterpret_cast<const char*>(chars), length);
}

inline void IgnoreXmlError(void*, const char*, ...) {}

// Parses a whole document strictly and wants it valid UTF-8; on success
// appends the character data below the element named within, when given, to
// *text. A streaming read through one reused parser: the well-formedness
// checks are libxml2's own, and no tree or parser is built per document
// (those made this the target's slowest step).
inline bool ReadWellFormed(const std::string& bytes, const char* within, std::string* text) {
    if (!IsValidUtf8(bytes)) return false;
    static xmlParserCtxtPtr parser = [] {
        xmlSetGenericErrorFunc(nullptr, IgnoreXmlError);
        xmlSAXHandler handler{};
        handler.startElement = ReadingStart;
        handler.endElement = ReadingEnd;
        handler.characters = ReadingCharacters;
        handler.warning = IgnoreXmlError;
        handler.error = IgnoreXmlError;
        handler.fatalError = IgnoreXmlError;
        return xmlCreatePushParserCtxt(&handler, nullptr, nullptr, 0, nullptr);
    }();
    TXmlReading reading{within, text};
    // No file name: libxml2 would ask for the working directory each time.
    xmlCtxtResetPush(parser, nullptr, 0, nullptr, nullptr);
    parser->userData = &reading;
    xmlParseChunk(parser, bytes.data(), static_cast<int>(bytes.size()), 1);
    const bool wellFormed = parser->wellFormed != 0 && parser->errNo == 0;
    parser->userData = nullptr;
    return wellFormed && (!within || reading.found);
}

inline std::string WithoutLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != '\r' && c != '\n') out += c;
    }
    return out;
}

// What a reader should find in the classic pages: the code page 936 text
// with the bytes XML forbids left out (a lead byte they cut off reads as "?",
// as a line break after it would make it read) and without line breaks,
// whose layout into paragraphs is the pages' own business.
inline std::string ExpectedReading(const std::string& text) {
    std::string marked = text;
    for (char& c : marked) {
        if (IsForbiddenXmlByte(static_cast<unsigned char>(c))) c = '\n';
    }
    return WithoutLineBreaks(AnsiToUtf8(marked));
}

// What a reader should find in the EPUB 3 text pages of a book cut into
// parts: the paragraphs (lines without their indent) without the characters
// XML 1.0 forbids (C0 controls but tab, U+FFFE and U+FFFF).
inline std::string ExpectedEpub3Reading(const TBook& book) {
    std::string out;
    for (const TBookSection& section : book.sections) {
        for (const TParagraph& paragraph : section.paragraphs) {
            const std::string_view text = paragraph.text;
            for (size_t i = 0; i < text.size(); ++i) {
                if (IsForbiddenXmlByte(static_cast<unsigned char>(text[i]))) continue;
                if (text.substr(i, 3) == "\xEF\xBF\xBE" || text.substr(i, 3) == "\xEF\xBF\xBF") {
                    i += 2;
                    continue;
                }
                out += text[i];
            }
        }
    }
    return out;
}

// The loaded text, or the message of the error that refused the bytes (a
// clear refusal is a fair outcome; the run reports it).
inline std::string LoadFromMemory(std::string_view bytes, size_t sliceSize, std::string& error) {
    TMemoryStream in{std::string(bytes)};
    try {
        return LoadSourceText(in, "book.txt", {}, sliceSize);
    } catch (const Exception& refused) {
        error = refused.Message();
        return {};
    }
}

// The classic layout: loading does not depend on the slice size, a marked
// UTF-16 book keeps every unit, and each page body reads back as its part.
inline std::string CheckClassicLayout(std::string_view bytes, int32_t parts, size_t sliceSize) {
    std::string error, wholeError;
    const std::string text = LoadFromMemory(bytes, sliceSize, error);
    if (text != LoadFromMemory(bytes, kLoadSliceSize, wholeError) || error != wholeError)
        return "the text depends on the slice size";
    if (!error.empty()) return {};
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") {
        std::u16string units;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const auto unit =
                static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      (static_cast<unsigned char>(bytes[i + 1]) << 8));
            if (unit != 0) units.push_back(unit);
        }
        if (text != Utf16ToAnsi(units)) return "a UTF-16 book lost or changed text";
    }
    const std::vector<std::string_view> cut = CutText(text, parts);
    if (text.empty()) return cut.empty() ? std::string() : "an empty text gave parts";
    std::string reading;
    for (size_t k = 0; k < cut.size(); ++k) {
        const TPartEdges edges = PartEdges(k > 0 ? cut[k - 1] : std::string_view(), cut[k],
                                           k + 1 < cut.size() ? cut[k + 1] : std::string_view());
        std::string page(ClassicPageFrame().head);
        OpenPageBody(page);
        for (size_t start = 0; start < cut[k].size();) {
            const size_t end = PageSliceEnd(cut[k], start, sliceSize);
            AppendPageBodySlice(page, cut[k], start, end, edges);
            start = end;
        }
        ClosePageBody(page);
        page.append(ClassicPageFrame().tail);
        if (!ReadWellFormed(AnsiToUtf8(page), "body", &reading))
            return Format("page %d is not well-formed XML", static_cast<int>(k));
    }
    if (WithoutLineBreaks(reading) != ExpectedReading(text))
        return "the pages do not hold the source's text";
    return {};
}

// The encodings the detector may name, for decoding a book as each.
inline constexpr const char* kDetectorEncodings[] = {
    "UTF-8", "UTF-16LE", "UTF-16BE", "GB18030", "Big5-HKSCS", "Shift_JIS", "EUC-JP", "EUC-KR"};

// The EPUB 3 layout, the text decoded as detected (encodingIndex -1) or as
// one of kDetectorEncodings: the text decodes to valid UTF-8, and every
// document of the package is well-formed UTF-8 XML; a book cut into parts
// keeps its text.
inline std::string CheckEpub3Layout(std::string_view bytes, int32_t parts, int encodingIndex,
                                    bool chapters, bool vertical, int language) {
    const std::string encoding =
        encodingIndex < 0 ? DetectBookEncoding(bytes) : kDetectorEncodings[encodingIndex];
    TBook book;
    {
        TDecodedText decoded = DecodeBookText(bytes, encoding);
        if (!IsValidUtf8(decoded.text)) return encoding + " decoded to invalid UTF-8";
        if (decoded.replaced == 0 && encoding == "UTF-8" && !bytes.empty() &&
            decoded.text.size() + 3 < bytes.size())
            return "valid UTF-8 lost text";
        book.text = std::move(decoded.text);
    }
    // Title and author come from the book's own first bytes, as hostile as
    // the rest of it.
    const std::string_view head(book.text.data(), std::min<size_t>(book.text.size(), 40));
    book.title = IsValidUtf8(head) && !head.empty() ? std::string(head) : "<&>\"";
    book.author = "a&b<";
    // Guessing the language loads conversion dictionaries from files: the
    // round-trip target does that; here the input picks one.
    static constexpr const char* kLanguages[] = {"zh-Hans", "zh-Hant", "ja", "en"};
    book.language = kLanguages[language % 4];
    TChapterCount found;
    if (chapters) {
        static const TChapterDetector detector;
        found = DivideBookIntoChapters(book, detector);
        LabelByLanguage(book, found);
    }
    if (!found.Found()) CutBookIntoParts(book, parts, book.title);
    TEpub3Extras extras;
    extras.identifier = "urn:uuid:00000000-0000-4000-8000-000000000000";
    extras.vertical = vertical;
    // A cover given, as --cover does: drawing one takes tens of milliseconds,
    // which would slow this target many times over. Drawn covers of hostile
    // titles, authors and languages are the book-files target's.
    static const TBookResource cover{"\xFF\xD8\xFF\xD9", "image/jpeg", ".jpg", 1, 1};
    extras.cover = &cover;
    const std::vector<TBookFile> files = RenderEpub3Files(book, extras, 1);
    std::string reading;
    for (const TBookFile& file : files) {
        const std::string& name = file.name;
        // The container document is the same for every book.
        const bool xml =
            name.ends_with(".xhtml") || name.ends_with(".opf") || name.ends_with(".ncx");
        const bool textPage = name.starts_with("OEBPS/text/");
        if (xml &&
            !ReadWellFormed(file.bytes, textPage ? "body" : nullptr, textPage ? &reading : nullptr))
            return name + " is not well-formed UTF-8 XML";
    }
    if (!found.Found() && WithoutLineBreaks(reading) != ExpectedEpub3Reading(book))
        return "the EPUB 3 pages do not hold the text";
    return {};
}

// The first byte picks the number of parts (low four bits) and what is
// checked (high four bits): the classic layout (0 to 3), or the EPUB 3 kind
// with the detected encoding (4 to 7) or one the detector may name (8 to
// 15). The second byte picks the slice size (low six bits; the lowest two
// also the language), chapters and vertical writing; the rest is the book.
// One layout per input keeps the target fast; the fuzzer reaches both.
// Returns "" when all is well, else what went wrong.
inline std::string CheckBookText(const uint8_t* data, size_t size) {
    if (size < 2) return {};
    const int32_t parts = 1 + data[0] % 16;
    const int pick = data[0] >> 4;
    const size_t sliceSize = 1 + data[1] % 64;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);
    if (pick < 4) return CheckClassicLayout(bytes, parts, sliceSize);
    return CheckEpub3Layout(bytes, parts, pick < 8 ? -1 : pick - 8, (data[1] & 0x80) == 0,
                            (data[1] & 0x40) != 0, data[1] & 3);
}

}  // namespace qm::fuzz
