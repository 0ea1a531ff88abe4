#pragma once
// Every option of a conversion, declared once: its names, its value, its
// help, the kind of book it applies to, whether the window remembers it and
// whether it enters the book's identifier. The command line's parser and
// help, the window's settings and the identifier's fingerprint all read
// this table, so a new option is one row (and its field) plus its behaviour.
#include <cstdint>
#include <span>
#include <string>

#include "conversion/run/Epub3Options.h"

namespace qm {

// What the options set. A default-constructed value holds every default.
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

// The kind of book an option applies to; the others need --epub3.
enum class TBookKind { Both, Epub3 };

struct TOptionRow {
    char shortName = 0;          // 0: long form only
    const char* longName = "";   // never empty
    const char* valueName = "";  // empty for a flag
    TOptionValue value = TOptionValue::Flag;
    const char* help = "";  // one or more lines; "\n" breaks them
    TBookKind kind = TBookKind::Both;
    // Where the value goes: the one matching `value` is set.
    bool& (*flag)(TOptionValues&) = nullptr;
    std::string& (*text)(TOptionValues&) = nullptr;
    int32_t& (*number)(TOptionValues&) = nullptr;
    bool flagValue = true;
    int32_t low = 0, high = 0;
    bool oneBook = false;               // applies when a single book is converted only
    const char* settingsKey = nullptr;  // the window remembers it under this key; null: not
    // Its place in the identifier's fingerprint, 0 when the book's bytes do
    // not depend on it. Places never move: books already made keep their
    // identifiers. A flag enters as marks[0] when its field is true, else marks[1].
    int fingerprintPlace = 0;
    const char* marks = "";

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

// The rows in the order --help lists them.
std::span<const TOptionRow> OptionTable();

// The row's value as text: a flag's field as "1" or "0", a number in decimal.
std::string OptionText(const TOptionRow& row, const TOptionValues& values);

// "--" and the long name of the first option given (its value not the
// default) that applies to EPUB 3 books only when --epub3 is not set; else
// an empty string.
std::string OptionNeedingEpub3(const TOptionValues& values);

// What the options make of a book, for its identifier: the value of every
// option with a place in the fingerprint, in place order, each followed by a
// zero byte. Files an option names enter the identifier by their bytes, at
// the option's behaviour.
std::string OptionsFingerprint(const TOptionValues& values);

}  // namespace qm
