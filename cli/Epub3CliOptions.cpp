#include "cli/Epub3CliOptions.h"

namespace qm {
namespace {

// An empty value would silently mean the default; it is a mistake instead.
std::function<bool(const std::string&, std::string&)> SetValue(std::string& field,
                                                               const char* name) {
    return [&field, name](const std::string& value, std::string& error) {
        if (value.empty()) {
            error = std::string("option --") + name + " needs a value";
            return false;
        }
        field = value;
        return true;
    };
}

}  // namespace

std::vector<TOption> Epub3OptionRows(TEpub3Options& o) {
    return {
        {0, "epub3", "",
         "write a standard EPUB 3 book: the text kept in\nUnicode, a valid package, typography "
         "for Chinese\nreading; an existing book is replaced whole.\nThe options below need "
         "--epub3",
         [&o](const std::string&, std::string&) { return o.epub3 = true; }},
        {0, "encoding", "NAME",
         "the source's encoding: GB18030, Big5, UTF-8,\nUTF-16LE ... (default: detected)",
         SetValue(o.encoding, "encoding")},
        {0, "language", "TAG",
         "the book's BCP 47 language: zh-Hans, zh-Hant, ja,\nen ... (default: from the text's "
         "script)",
         SetValue(o.language, "language")},
        {0, "convert", "NAME",
         "simplified/traditional conversion (OpenCC) of\ntext, title and author: s2t, t2s, "
         "s2tw, tw2s,\ns2hk, hk2s, s2twp, tw2sp, t2tw, tw2t, t2hk, hk2t,\nt2jp, jp2t",
         SetValue(o.convert, "convert")},
        {0, "vertical", "", "vertical writing, pages turned right to left",
         [&o](const std::string&, std::string&) { return o.vertical = true; }},
        {0, "cover", "IMAGE", "a JPEG or PNG cover (default: a generated one)",
         SetValue(o.coverPath, "cover")},
        {0, "font", "FILE", "embed a TrueType, OpenType or WOFF font",
         SetValue(o.fontPath, "font")},
        {0, "no-chapters", "",
         "cut the text into PARTS pages instead of one page\nper chapter found in the book's "
         "own headings\n(-n applies then, or when no heading is found)",
         [&o](const std::string&, std::string&) {
             o.chapters = false;
             return true;
         }},
        {0, "chapter-pattern", "REGEX",
         "an ICU regular expression found in a chapter's\nheading line (trimmed; anchor it with "
         "^ and $),\nin place of the built-in rules; a heading has at\nmost 40 characters",
         SetValue(o.chapterPattern, "chapter-pattern")},
        {0, "volume-pattern", "REGEX",
         "the same for the headings of volumes, under which\nchapters nest",
         SetValue(o.volumePattern, "volume-pattern")},
    };
}

std::string OptionNeedingEpub3(const TEpub3Options& options) {
    if (options.epub3) return {};
    if (!options.encoding.empty()) return "--encoding";
    if (!options.language.empty()) return "--language";
    if (!options.convert.empty()) return "--convert";
    if (options.vertical) return "--vertical";
    if (!options.coverPath.empty()) return "--cover";
    if (!options.fontPath.empty()) return "--font";
    if (!options.chapters) return "--no-chapters";
    if (!options.chapterPattern.empty()) return "--chapter-pattern";
    if (!options.volumePattern.empty()) return "--volume-pattern";
    return {};
}

}  // namespace qm
