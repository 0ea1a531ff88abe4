#pragma once
// Takes arbitrary bytes as a .txt book, with a title, an author, a file name
// and option values as raw bytes, through whole conversions: the classic
// layout's files in memory, and an EPUB 3 book packed into an
// archive. libxml2 and zlib judge what was written. Slow (files per input);
// shared by the round-trip fuzz target and the corpus replay test.
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/run/BookSplitter.h"
#include "conversion/run/Epub3Run.h"
#include "fuzz/BookTextRoutine.h"
#include "fuzz/EntryBytes.h"
#include "platform/FileSystem.h"
#include "zip/ZipReader.h"

namespace qm::fuzz {

class QuietUi : public TConversionUi {
  public:
    void ShowWarning(const std::string&, const std::string&) override {}
    void ShowResult(const std::string&, bool) override {}
};

inline std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The input's fields: the book, then (each after a 0x1F byte) the title,
// the author, the file name, the language and the Chinese conversion.
struct TBookFields {
    std::string_view book, title, author, fileName, language, convert;
};

inline TBookFields SplitFields(std::string_view rest) {
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        const size_t end = rest.find('\x1F', start);
        fields.push_back(rest.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos || fields.size() == 6) break;
        start = end + 1;
    }
    fields.resize(6);
    return {fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]};
}

// A file name of the raw bytes, as a file system takes it: no "/" or NUL,
// not "." or "..", within the name limit with the extension.
inline std::string SourceName(std::string_view raw) {
    std::string name;
    for (char c : raw.substr(0, 200)) name += c == '/' || c == '\0' ? '_' : c;
    if (name.empty() || name == "." || name == "..") name = "book";
    return name + ".txt";
}

// The classic layout through its files: the pages hold the text and every
// document is well-formed UTF-8 XML, whatever the title, author and label.
inline std::string CheckClassicFiles(const TBookFields& fields, int32_t parts, size_t sliceSize,
                                     const std::string& dir) {
    const std::string source = dir + SourceName(fields.fileName);
    WriteBytes(source, fields.book);
    std::string text, error;
    try {
        text = LoadSourceText(source, {}, sliceSize);
    } catch (const Exception& refused) {
        error = refused.Message();  // a refusal with a message is fair
    }
    std::string memoryError;
    if (LoadFromMemory(fields.book, sliceSize, memoryError) != text || memoryError != error)
        return "the file and the same bytes in memory load differently";
    if (!error.empty()) return {};
    const std::vector<std::string_view> cut = CutText(text, parts);
    if (text.empty()) return {};

    TConversionRequest request;
    request.sourcePath = source;
    request.labelName = std::string(fields.fileName);
    request.title = fields.title.empty() ? text.substr(0, 12) : std::string(fields.title);
    request.author = std::string(fields.author);
    request.parts = parts;
    QuietUi ui;
    const std::vector<TBookEntry> files =
        ClassicBookFiles(cut, request, ui, TPageWriting{sliceSize, 0});
    auto file = [&files](const std::string& name) {
        for (const TBookEntry& entry : files)
            if (entry.name == "OEBPS/" + name) return entry.bytes;
        return std::string();
    };

    std::string reading;
    for (size_t k = 0; k < cut.size(); ++k) {
        if (!ReadWellFormed(file(Format("%d.html", static_cast<int>(k))), "body", &reading))
            return Format("page %d is not well-formed XML", static_cast<int>(k));
    }
    for (const char* document : {"content.opf", "toc.ncx"}) {
        if (!ReadWellFormed(file(document), nullptr, nullptr))
            return std::string("the classic ") + document + " is not well-formed UTF-8 XML";
    }
    if (WithoutLineBreaks(reading) != ExpectedReading(text))
        return "the pages do not hold the source's text";
    ::unlink(source.c_str());
    return {};
}

// The EPUB 3 kind through a whole run into an archive: when options the
// front end accepts give a book, every document in it is well-formed UTF-8
// XML; when the run fails, it says why and leaves no book.
inline std::string CheckEpub3Book(const TBookFields& fields, int32_t parts, uint8_t flags,
                                  const std::string& dir) {
    TConversionRequest request;
    request.sourcePath = dir + SourceName(fields.fileName);
    request.archiveName = dir + "book.epub";
    request.parts = parts;
    request.threads = 1;
    TEpub3Options& options = request.options;
    options.epub3 = true;
    request.title = std::string(fields.title);
    request.author = std::string(fields.author);
    options.language = std::string(fields.language);
    options.convert = std::string(fields.convert);
    options.vertical = (flags & 1) != 0;
    options.chapters = (flags & 2) == 0;
    options.clean = (flags & 4) != 0;
    options.unwrap = (flags & 8) != 0;
    if (!CheckEpub3Options(options).empty()) return {};  // refused before a run
    WriteBytes(request.sourcePath, fields.book);
    ::unlink(request.archiveName.c_str());
    QuietUi ui;
    const TConversionResult result = RunEpub3Conversion(request, ui);
    ::unlink(request.sourcePath.c_str());
    if (!result) {
        if (result.Error().message.empty()) return "a failed run gave no reason";
        return RegularFileExists(request.archiveName) ? "a failed run left a book" : "";
    }
    const std::string archive = FileText(request.archiveName);
    TZipReader reader;
    reader.SetZipName(request.archiveName);
    reader.OpenArchive();
    if (reader.Count() == 0 || reader.Entry(0).StoredName() != "mimetype")
        return "the book does not start with its mimetype";
    for (int i = 0; i < reader.Count(); ++i) {
        const TZipHeaderInfo& entry = reader.Entry(i);
        const std::string name = entry.StoredName();
        const std::optional<std::string> content = EntryContent(archive, entry);
        if (!content) return name + " does not read back";
        const bool xml = name.ends_with(".xhtml") || name.ends_with(".opf") ||
                         name.ends_with(".ncx") || name.ends_with(".xml");
        if (xml && !ReadWellFormed(*content, nullptr, nullptr))
            return name + " is not well-formed UTF-8 XML";
    }
    return {};
}

// The first byte picks the number of parts (low four bits) and the EPUB 3
// flags (vertical, no chapters, clean, unwrap); the second the slice size of the classic
// loading and writing; the rest holds the fields. Returns "" when all is
// well, else what went wrong.
inline std::string CheckBookFiles(const uint8_t* data, size_t size, const std::string& dir) {
    if (size < 2) return {};
    const int32_t parts = 1 + data[0] % 16;
    const size_t sliceSize = 1 + data[1] % 64;
    const TBookFields fields =
        SplitFields(std::string_view(reinterpret_cast<const char*>(data + 2), size - 2));
    std::string problem = CheckClassicFiles(fields, parts, sliceSize, dir);
    if (problem.empty()) problem = CheckEpub3Book(fields, parts, data[0] >> 4, dir);
    return problem;
}

}  // namespace qm::fuzz
