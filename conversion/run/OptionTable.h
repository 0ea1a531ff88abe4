#pragma once
// Every option of a conversion, declared once: its names, its value, its
// help, the kind of book it applies to, whether the window remembers it and
// whether it enters the book's identifier. The command line's parser and
// help, the window's settings and the identifier's fingerprint all read
// this table, so a new option is one row (and its field) plus its behaviour.
#include <cstdint>
#include <span>
#include <string>

namespace qm {

// What the user chose for the standard EPUB 3 output: these options change
// nothing unless epub3 is set. Each front end picks its own default kind
// (the command line EPUB 3, the window what was chosen last).
struct TEpub3Options {
    bool epub3 = false;     // write a standard EPUB 3 book instead of the classic layout
    std::string encoding;   // the source's encoding; empty: detected
    std::string language;   // BCP 47; empty: guessed from the text's script
    std::string convert;    // OpenCC conversion such as "s2t"; empty: none
    bool vertical = false;  // vertical-rl writing, pages turned right to left
    std::string coverPath;  // JPEG or PNG; empty: a generated typographic cover
    std::string fontPath;   // a font to embed (TrueType, OpenType, WOFF); empty: none
    bool chapters = true;   // divide at the book's headings (else into the request's parts)
    std::string chapterPattern, volumePattern;  // ICU regular expressions; empty: built-in rules
    bool unwrap = false;                        // join wrapped lines whatever their lengths show
    bool noUnwrap = false;  // keep every line a paragraph (else: joined when wrapped)
    bool clean = false;     // remove site boilerplate and a Gutenberg header and licence
};

// What the options set. A default-constructed value holds every default.
// An option that changes the book belongs in TEpub3Options, which the
// conversion's request carries whole, so its fingerprint place takes effect
// with no further step.
struct TOptionValues {
    std::string title, author;  // UTF-8, as typed
    int32_t parts = 1;
    std::string output;     // the book to write; empty: the default name
    std::string outputDir;  // where a batch's books go
    bool recursive = false;
    int32_t jobs = 0;           // books converted at a time; 0: one per core
    int32_t threads = 0;        // threads packing one book; 0: the default
    TEpub3Options epub3;        // the kind of book and its options
    bool listChapters = false;  // print the table of contents, write no book
    bool help = false, version = false;
};

// What follows an option's name.
enum class TOptionValue {
    Flag,    // nothing: giving the option sets its field to `flagValue`
    Text,    // any text, even an empty one
    Name,    // text that may not be empty (an empty one would silently mean the default)
    Number,  // a whole number from `low` to `high`
};

// The kind of book an option applies to: one for EPUB 3 books only needs
// --epub3.
enum class TAppliesTo { Both, Epub3 };

struct TOptionRow {
    char shortName = 0;          // 0: long form only
    const char* longName = "";   // never empty
    const char* valueName = "";  // empty for a flag
    TOptionValue value = TOptionValue::Flag;
    const char* help = "";  // one or more lines; "\n" breaks them
    TAppliesTo kind = TAppliesTo::Both;
    // Where the value goes: the one matching `value` is set.
    bool& (*flag)(TOptionValues&) = nullptr;
    std::string& (*text)(TOptionValues&) = nullptr;
    int32_t& (*number)(TOptionValues&) = nullptr;
    bool flagValue = true;
    int32_t low = 0, high = 0;
    bool oneBook = false;  // applies when a single book is converted only
    // The window remembers it across books under this key: preferences only,
    // never what belongs to one book (its cover, encoding, language, patterns).
    const char* settingsKey = nullptr;
    // Its place in the identifier's fingerprint, 0 when the book's bytes do
    // not depend on it. Places never move: books already made keep their
    // identifiers. A flag enters as marks[0] when its field is true, else
    // marks[1]; a flag with one mark enters only when set, so adding one
    // leaves the identifiers of books made without it as they were.
    int fingerprintPlace = 0;
    const char* marks = "";

    using TFlagField = bool& (*)(TOptionValues&);
    using TTextField = std::string& (*)(TOptionValues&);
    using TNumberField = int32_t& (*)(TOptionValues&);

    static constexpr TOptionRow Flag(char shortName, const char* longName, TFlagField field,
                                     const char* help, TAppliesTo kind = TAppliesTo::Both,
                                     bool flagValue = true) {
        TOptionRow row;
        row.shortName = shortName;
        row.longName = longName;
        row.help = help;
        row.kind = kind;
        row.flag = field;
        row.flagValue = flagValue;
        return row;
    }
    static constexpr TOptionRow Text(char shortName, const char* longName, const char* valueName,
                                     TTextField field, const char* help,
                                     TAppliesTo kind = TAppliesTo::Both,
                                     TOptionValue value = TOptionValue::Text) {
        TOptionRow row = Flag(shortName, longName, nullptr, help, kind);
        row.valueName = valueName;
        row.value = value;
        row.text = field;
        return row;
    }
    // Text for EPUB 3 books that may not be empty.
    static constexpr TOptionRow Epub3Name(const char* longName, const char* valueName,
                                          TTextField field, const char* help) {
        return Text(0, longName, valueName, field, help, TAppliesTo::Epub3, TOptionValue::Name);
    }
    static constexpr TOptionRow Number(char shortName, const char* longName, const char* valueName,
                                       int32_t low, int32_t high, TNumberField field,
                                       const char* help) {
        TOptionRow row = Flag(shortName, longName, nullptr, help);
        row.valueName = valueName;
        row.value = TOptionValue::Number;
        row.number = field;
        row.low = low;
        row.high = high;
        return row;
    }

    constexpr TOptionRow OneBook() const {
        TOptionRow row = *this;
        row.oneBook = true;
        return row;
    }
    constexpr TOptionRow Remembered(const char* key) const {
        TOptionRow row = *this;
        row.settingsKey = key;
        return row;
    }
    constexpr TOptionRow Fingerprint(int place, const char* flagMarks = "") const {
        TOptionRow row = *this;
        row.fingerprintPlace = place;
        row.marks = flagMarks;
        return row;
    }
};

inline constexpr int32_t kMaxParts = 1024;
inline constexpr int32_t kMaxJobs = 1024;  // books, or threads for one book, at a time

// The rows in the order --help lists them. A new option is a row here, its
// field above, and its behaviour.
inline constexpr TOptionRow kOptionTable[] = {
    TOptionRow::Text(
        't', "title", "TITLE", [](TOptionValues& v) -> auto& { return v.title; },
        "the book's title (default: none; in a batch, the\nfile's name)")
        .OneBook()
        .Fingerprint(1),
    TOptionRow::Text(
        'a', "author", "AUTHOR", [](TOptionValues& v) -> auto& { return v.author; },
        "the book's author (default: none)")
        .OneBook()
        .Fingerprint(2),
    TOptionRow::Number(
        'n', "parts", "PARTS", 1, kMaxParts, [](TOptionValues& v) -> auto& { return v.parts; },
        "into how many pages the text is cut, 1 to 1024\n(default: 1)")
        .Fingerprint(6),
    TOptionRow::Text(
        'o', "output", "OUTPUT", [](TOptionValues& v) -> auto& { return v.output; },
        "the .epub to write (default: TITLE.epub, or myepub.epub\nwithout a title, in the "
        "current directory); an\nexisting book is replaced, any other file kept")
        .OneBook(),
    TOptionRow::Text(
        'O', "output-dir", "DIR", [](TOptionValues& v) -> auto& { return v.outputDir; },
        "convert every FILE into DIR (made if missing), each\nbook named after its title; a "
        "book left there by\nan earlier run is replaced, any other file kept"),
    TOptionRow::Flag(
        'r', "recursive", [](TOptionValues& v) -> auto& { return v.recursive; },
        "convert the .txt files found below each directory\ngiven"),
    TOptionRow::Number(
        'j', "jobs", "N", 1, kMaxJobs, [](TOptionValues& v) -> auto& { return v.jobs; },
        "convert N books at a time (default: one per core)"),
    TOptionRow::Number(
        0, "threads", "N", 1, kMaxJobs, [](TOptionValues& v) -> auto& { return v.threads; },
        "convert and pack each book with N threads\n(default: one per core; one when several "
        "books\nconvert at a time)"),
    TOptionRow::Flag(
        0, "epub3", [](TOptionValues& v) -> auto& { return v.epub3.epub3; },
        "write a standard EPUB 3 book (the default): the\ntext kept in Unicode, a valid "
        "package, typography\nfor Chinese reading; an existing book is replaced\nwhole. "
        "The options below apply to it only")
        .Remembered("output/epub3"),
    TOptionRow::Flag(
        0, "classic", [](TOptionValues& v) -> auto& { return v.epub3.epub3; },
        "write the classic layout instead: GBK text cut\ninto PARTS pages", TAppliesTo::Both,
        false),
    // The encoding enters the identifier as the one the text was read in.
    TOptionRow::Epub3Name(
        "encoding", "NAME", [](TOptionValues& v) -> auto& { return v.epub3.encoding; },
        "the source's encoding: GB18030, Big5, UTF-8,\nUTF-16LE ... (default: detected)")
        .Fingerprint(3),
    TOptionRow::Epub3Name(
        "language", "TAG", [](TOptionValues& v) -> auto& { return v.epub3.language; },
        "the book's BCP 47 language: zh-Hans, zh-Hant, ja,\nen ... (default: from the "
        "text's script)")
        .Fingerprint(4),
    TOptionRow::Epub3Name(
        "convert", "NAME", [](TOptionValues& v) -> auto& { return v.epub3.convert; },
        "simplified/traditional conversion (OpenCC) of\ntext, title and author: s2t, t2s, "
        "s2tw, tw2s,\ns2hk, hk2s, s2twp, tw2sp, t2tw, tw2t, t2hk, hk2t,\nt2jp, jp2t")
        .Remembered("epub3/convert")
        .Fingerprint(5),
    TOptionRow::Flag(
        0, "vertical", [](TOptionValues& v) -> auto& { return v.epub3.vertical; },
        "vertical writing, pages turned right to left", TAppliesTo::Epub3)
        .Remembered("epub3/vertical")
        .Fingerprint(7, "vh"),
    // Cover and font enter the identifier by their bytes.
    TOptionRow::Epub3Name(
        "cover", "IMAGE", [](TOptionValues& v) -> auto& { return v.epub3.coverPath; },
        "a JPEG or PNG cover (default: a generated one)"),
    TOptionRow::Epub3Name(
        "font", "FILE", [](TOptionValues& v) -> auto& { return v.epub3.fontPath; },
        "embed a TrueType, OpenType or WOFF font")
        .Remembered("epub3/font"),
    TOptionRow::Flag(
        0, "no-chapters", [](TOptionValues& v) -> auto& { return v.epub3.chapters; },
        "cut the text into PARTS pages instead of one page\nper chapter found in the book's "
        "own headings\n(-n applies then, or when no heading is found)",
        TAppliesTo::Epub3, false)
        .Remembered("epub3/chapters")
        .Fingerprint(8, "c-"),
    TOptionRow::Epub3Name(
        "chapter-pattern", "REGEX",
        [](TOptionValues& v) -> auto& { return v.epub3.chapterPattern; },
        "an ICU regular expression found in a chapter's\nheading line (trimmed; anchor it "
        "with ^ and $),\nin place of the built-in rules; a heading has at\nmost 40 "
        "characters")
        .Fingerprint(9),
    TOptionRow::Epub3Name(
        "volume-pattern", "REGEX", [](TOptionValues& v) -> auto& { return v.epub3.volumePattern; },
        "the same for the headings of volumes, under which\nchapters nest")
        .Fingerprint(10),
    TOptionRow::Flag(
        0, "unwrap", [](TOptionValues& v) -> auto& { return v.epub3.unwrap; },
        "join lines wrapped at a fixed width into paragraphs\n(default: when the line "
        "lengths show a width)",
        TAppliesTo::Epub3)
        .Remembered("epub3/unwrap")
        .Fingerprint(11, "u"),
    TOptionRow::Flag(
        0, "no-unwrap", [](TOptionValues& v) -> auto& { return v.epub3.noUnwrap; },
        "keep every line of the text a paragraph", TAppliesTo::Epub3)
        .Remembered("epub3/noUnwrap")
        .Fingerprint(12, "k"),
    TOptionRow::Flag(
        0, "clean", [](TOptionValues& v) -> auto& { return v.epub3.clean; },
        "remove download sites' notices and stamps, word\ncount lines and a Project "
        "Gutenberg header and\nlicence; says how many lines went",
        TAppliesTo::Epub3)
        .Remembered("epub3/clean")
        .Fingerprint(13, "x"),
    TOptionRow::Flag(
        0, "list-chapters", [](TOptionValues& v) -> auto& { return v.listChapters; },
        "print the volumes and chapters the EPUB 3 book\nwould have and write no book (implies "
        "--epub3)",
        TAppliesTo::Epub3)
        .OneBook(),
    TOptionRow::Flag(
        'h', "help", [](TOptionValues& v) -> auto& { return v.help; }, "show this help"),
    TOptionRow::Flag(
        'V', "version", [](TOptionValues& v) -> auto& { return v.version; }, "show the version"),
};

// The rows, in the order --help lists them.
std::span<const TOptionRow> OptionTable();

// The row's value as text: a flag's field as "1" or "0", a number in decimal.
std::string OptionText(const TOptionRow& row, const TOptionValues& values);

// "--" and the long name of the first option given (its value not the
// default) that applies to EPUB 3 books only when the classic layout is
// chosen; else an empty string.
std::string OptionNeedingEpub3(const TOptionValues& values);

// What the options make of a book, for its identifier: the value of every
// option with a place in the fingerprint, in place order, each followed by a
// zero byte. Files an option names enter the identifier by their bytes, at
// the option's behaviour.
std::string OptionsFingerprint(const TOptionValues& values);

}  // namespace qm
