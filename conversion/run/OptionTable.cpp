#include "conversion/run/OptionTable.h"

#include <algorithm>
#include <vector>

namespace qm {
namespace {

using TFlagField = bool& (*)(TOptionValues&);
using TTextField = std::string& (*)(TOptionValues&);
using TNumberField = int32_t& (*)(TOptionValues&);

constexpr TOptionRow Flag(char shortName, const char* longName, TFlagField field, const char* help,
                          TBookKind kind = TBookKind::Both, bool flagValue = true) {
    TOptionRow row;
    row.shortName = shortName;
    row.longName = longName;
    row.help = help;
    row.kind = kind;
    row.flag = field;
    row.flagValue = flagValue;
    return row;
}

constexpr TOptionRow Text(char shortName, const char* longName, const char* valueName,
                          TTextField field, const char* help, TBookKind kind = TBookKind::Both,
                          TOptionValue value = TOptionValue::Text) {
    TOptionRow row = Flag(shortName, longName, nullptr, help, kind);
    row.valueName = valueName;
    row.value = value;
    row.text = field;
    return row;
}

// Text for EPUB 3 books that may not be empty.
constexpr TOptionRow Epub3Name(const char* longName, const char* valueName, TTextField field,
                               const char* help) {
    return Text(0, longName, valueName, field, help, TBookKind::Epub3, TOptionValue::Name);
}

constexpr TOptionRow Number(char shortName, const char* longName, const char* valueName,
                            int32_t low, int32_t high, TNumberField field, const char* help) {
    TOptionRow row = Flag(shortName, longName, nullptr, help);
    row.valueName = valueName;
    row.value = TOptionValue::Number;
    row.number = field;
    row.low = low;
    row.high = high;
    return row;
}

constexpr int32_t kMaxParts = 1024;
constexpr int32_t kMaxThreads = 1024;

const TOptionRow kOptionTable[] = {
    Text(
        't', "title", "TITLE", [](TOptionValues& v) -> auto& { return v.title; },
        "the book's title (default: none; in a batch, the\nfile's name)")
        .OneBook()
        .Fingerprint(1),
    Text(
        'a', "author", "AUTHOR", [](TOptionValues& v) -> auto& { return v.author; },
        "the book's author (default: none)")
        .OneBook()
        .Fingerprint(2),
    Number(
        'n', "parts", "PARTS", 1, kMaxParts, [](TOptionValues& v) -> auto& { return v.parts; },
        "into how many pages the text is cut, 1 to 1024\n(default: 1)")
        .Fingerprint(6),
    Text(
        'o', "output", "OUTPUT", [](TOptionValues& v) -> auto& { return v.output; },
        "the .epub to write (default: TITLE.epub, or myepub.epub\nwithout a title, in the "
        "current directory); an\nexisting book is replaced, any other file kept")
        .OneBook(),
    Text(
        'O', "output-dir", "DIR", [](TOptionValues& v) -> auto& { return v.outputDir; },
        "convert every FILE into DIR (made if missing), each\nbook named after its title; a "
        "book left there by\nan earlier run is replaced, any other file kept"),
    Flag(
        'r', "recursive", [](TOptionValues& v) -> auto& { return v.recursive; },
        "convert the .txt files found below each directory\ngiven"),
    Number(
        'j', "jobs", "N", 1, kMaxThreads, [](TOptionValues& v) -> auto& { return v.jobs; },
        "convert N books at a time (default: one per core)"),
    Number(
        0, "threads", "N", 1, kMaxThreads, [](TOptionValues& v) -> auto& { return v.threads; },
        "convert and pack each book with N threads\n(default: one per core; one when several "
        "books\nconvert at a time)"),
    Flag(
        0, "epub3", [](TOptionValues& v) -> auto& { return v.epub3.epub3; },
        "write a standard EPUB 3 book: the text kept in\nUnicode, a valid package, typography "
        "for Chinese\nreading; an existing book is replaced whole.\nThe options below need "
        "--epub3")
        .Remembered("output/epub3"),
    // The encoding enters the identifier as the one the text was read in.
    Epub3Name(
        "encoding", "NAME", [](TOptionValues& v) -> auto& { return v.epub3.encoding; },
        "the source's encoding: GB18030, Big5, UTF-8,\nUTF-16LE ... (default: detected)")
        .Remembered("epub3/encoding")
        .Fingerprint(3),
    Epub3Name(
        "language", "TAG", [](TOptionValues& v) -> auto& { return v.epub3.language; },
        "the book's BCP 47 language: zh-Hans, zh-Hant, ja,\nen ... (default: from the "
        "text's script)")
        .Remembered("epub3/language")
        .Fingerprint(4),
    Epub3Name(
        "convert", "NAME", [](TOptionValues& v) -> auto& { return v.epub3.convert; },
        "simplified/traditional conversion (OpenCC) of\ntext, title and author: s2t, t2s, "
        "s2tw, tw2s,\ns2hk, hk2s, s2twp, tw2sp, t2tw, tw2t, t2hk, hk2t,\nt2jp, jp2t")
        .Remembered("epub3/convert")
        .Fingerprint(5),
    Flag(
        0, "vertical", [](TOptionValues& v) -> auto& { return v.epub3.vertical; },
        "vertical writing, pages turned right to left", TBookKind::Epub3)
        .Remembered("epub3/vertical")
        .Fingerprint(7, "vh"),
    // Cover and font enter the identifier by their bytes.
    Epub3Name(
        "cover", "IMAGE", [](TOptionValues& v) -> auto& { return v.epub3.coverPath; },
        "a JPEG or PNG cover (default: a generated one)")
        .Remembered("epub3/cover"),
    Epub3Name(
        "font", "FILE", [](TOptionValues& v) -> auto& { return v.epub3.fontPath; },
        "embed a TrueType, OpenType or WOFF font")
        .Remembered("epub3/font"),
    Flag(
        0, "no-chapters", [](TOptionValues& v) -> auto& { return v.epub3.chapters; },
        "cut the text into PARTS pages instead of one page\nper chapter found in the book's "
        "own headings\n(-n applies then, or when no heading is found)",
        TBookKind::Epub3, false)
        .Remembered("epub3/chapters")
        .Fingerprint(8, "c-"),
    Epub3Name(
        "chapter-pattern", "REGEX",
        [](TOptionValues& v) -> auto& { return v.epub3.chapterPattern; },
        "an ICU regular expression found in a chapter's\nheading line (trimmed; anchor it "
        "with ^ and $),\nin place of the built-in rules; a heading has at\nmost 40 "
        "characters")
        .Remembered("epub3/chapterPattern")
        .Fingerprint(9),
    Epub3Name(
        "volume-pattern", "REGEX", [](TOptionValues& v) -> auto& { return v.epub3.volumePattern; },
        "the same for the headings of volumes, under which\nchapters nest")
        .Remembered("epub3/volumePattern")
        .Fingerprint(10),
    Flag(
        0, "list-chapters", [](TOptionValues& v) -> auto& { return v.listChapters; },
        "print the volumes and chapters the EPUB 3 book\nwould have and write no book (implies "
        "--epub3)",
        TBookKind::Epub3)
        .OneBook(),
    Flag(
        0, "help", [](TOptionValues& v) -> auto& { return v.help; }, "show this help"),
    Flag(
        0, "version", [](TOptionValues& v) -> auto& { return v.version; }, "show the version"),
};

}  // namespace

std::span<const TOptionRow> OptionTable() {
    return kOptionTable;
}

std::string OptionText(const TOptionRow& row, const TOptionValues& values) {
    TOptionValues& v = const_cast<TOptionValues&>(values);  // the fields are only read
    if (row.text) return row.text(v);
    if (row.number) return std::to_string(row.number(v));
    return row.flag(v) ? "1" : "0";
}

std::string OptionNeedingEpub3(const TOptionValues& values) {
    if (values.epub3.epub3) return {};
    const TOptionValues defaults;
    for (const TOptionRow& row : OptionTable()) {
        if (row.kind == TBookKind::Epub3 && OptionText(row, values) != OptionText(row, defaults))
            return std::string("--") + row.longName;
    }
    return {};
}

std::string OptionsFingerprint(const TOptionValues& values) {
    std::vector<const TOptionRow*> placed;
    for (const TOptionRow& row : OptionTable()) {
        if (row.fingerprintPlace > 0) placed.push_back(&row);
    }
    std::ranges::sort(placed, {}, &TOptionRow::fingerprintPlace);
    std::string f;
    for (const TOptionRow* row : placed) {
        if (row->flag) {
            f += row->marks[OptionText(*row, values) == "1" ? 0 : 1];
        } else {
            f += OptionText(*row, values);
        }
        f += '\0';
    }
    return f;
}

}  // namespace qm
