#pragma once
// Takes arbitrary bytes as a .txt book through the text side of a
// conversion (decoding, cutting, pages and package documents) and checks the
// result with libxml2 as an independent reader. Shared by the fuzz target
// and the corpus replay test.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "conversion/BookSplitter.h"
#include "conversion/PageText.h"
#include "conversion/SourceText.h"
#include "conversion/StagingTree.h"
#include "platform/CodePage.h"
#include "platform/Format.h"

namespace qm::fuzz {

class QuietUi : public TConversionUi {
  public:
    void ShowWarning(const std::string&, const std::string&) override {}
    void ShowResult(const std::string&) override {}
};

inline std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void CollectText(xmlNodePtr node, std::string& out) {
    for (; node; node = node->next) {
        if (node->type == XML_TEXT_NODE && node->content)
            out.append(reinterpret_cast<const char*>(node->content));
        CollectText(node->children, out);
    }
}

inline xmlNodePtr FindElement(xmlNodePtr node, const char* name) {
    for (; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE &&
            xmlStrEqual(node->name, reinterpret_cast<const xmlChar*>(name)))
            return node;
        if (xmlNodePtr inner = FindElement(node->children, name)) return inner;
    }
    return nullptr;
}

// Parses a whole document strictly (no network, no recovery); on success
// appends the character data below the element named within, when given, to
// *text.
inline bool ReadWellFormed(const std::string& bytes, const char* within, std::string* text) {
    xmlDocPtr doc = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), "page.xml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!doc) return false;
    bool found = true;
    if (text) {
        xmlNodePtr scope = FindElement(xmlDocGetRootElement(doc), within);
        found = scope != nullptr;
        if (scope) CollectText(scope->children, *text);
    }
    xmlFreeDoc(doc);
    return found;
}

// The text a reader should find in the pages: the decoded source with the
// bytes XML forbids left out (a lead byte they cut off reads as "?", as
// a line break after it would make it read) and without line breaks, whose
// layout into paragraphs is the pages' own business.
inline std::string ExpectedReading(const std::string& text) {
    std::string marked = text;
    for (char& c : marked) {
        if (IsForbiddenXmlByte(static_cast<unsigned char>(c))) c = '\n';
    }
    std::string utf8 = AnsiToUtf8(marked);
    std::string out;
    for (char c : utf8) {
        if (c != '\r' && c != '\n') out += c;
    }
    return out;
}

// The first byte picks the number of parts, the second the slice size of
// loading and writing; the rest is the book. Returns "" when all is well,
// else what went wrong.
inline std::string ConvertAndCheck(const uint8_t* data, size_t size, const std::string& dir) {
    if (size < 2) return {};
    const int32_t parts = 1 + data[0] % 16;
    const size_t sliceSize = 1 + data[1] % 64;
    const std::string source = dir + "book.txt";
    {
        std::ofstream out(source, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data + 2), static_cast<std::streamsize>(size - 2));
    }
    const std::string text = LoadSourceText(source, {}, sliceSize);
    if (text != LoadSourceText(source)) return "the text depends on the slice size";
    // A UTF-16 book: every unit but U+0000 reaches the text.
    if (size >= 4 && data[2] == 0xFF && data[3] == 0xFE) {
        std::u16string units;
        for (size_t i = 4; i + 1 < size; i += 2) {
            const auto unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
            if (unit != 0) units.push_back(unit);
        }
        if (text != Utf16ToAnsi(units)) return "a UTF-16 book lost or changed text";
    }
    const std::vector<std::string_view> cut = CutText(text, parts);
    if (text.empty()) return cut.empty() ? std::string() : "an empty text gave parts";

    TConversionRequest request;
    request.sourcePath = source;
    request.labelName = "l<&>\x01";
    request.title = text.substr(0, 12);
    request.author = "a&b";
    request.parts = parts;
    QuietUi ui;
    CreateStagingTree(dir);
    WriteBookFiles(cut, request, ui, dir, TPageWriting{sliceSize, 0});

    const std::string oebps = OebpsDir(dir);
    std::string reading;
    for (size_t k = 0; k < cut.size(); ++k) {
        const std::string page = Format("%s/%d.html", oebps.c_str(), static_cast<int>(k));
        if (!ReadWellFormed(FileText(page), "body", &reading))
            return Format("page %d is not well-formed XML", static_cast<int>(k));
    }
    for (const char* document : {"content.opf", "toc.ncx"}) {
        if (!ReadWellFormed(FileText(oebps + "/" + document), nullptr, nullptr))
            return std::string(document) + " is not well-formed XML";
    }
    std::string readBack;
    for (char c : reading) {
        if (c != '\r' && c != '\n') readBack += c;
    }
    if (readBack != ExpectedReading(text)) return "the pages do not hold the source's text";
    DeleteDirectoryTree(StagingDir(dir));
    return {};
}

}  // namespace qm::fuzz
