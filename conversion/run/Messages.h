#pragma once
// The command line's messages in the user's language, and the reasons a run
// gives (the conversion's, the system's, ICU's) in words of that language:
// one catalogue of English texts and their Chinese, one function for each
// direction. The window's fixed texts are not here; it keeps its own, and
// shows the reasons of a run through WindowText.
#include <initializer_list>
#include <string>

namespace qm {

enum class TLanguage { English, Chinese };

// The language a run speaks: that of LC_ALL, else LC_MESSAGES, else LANG
// (the first one set and not empty); Chinese for "zh…", else English.
// Null stands for unset.
TLanguage MessageLanguage(const char* lcAll, const char* lcMessages, const char* lang);
// The same, read from this process's environment.
TLanguage MessageLanguageFromEnvironment();

// The catalogue's message `english` in language, each "%s" replaced by the
// next of args. A text the catalogue lacks is used as it is.
std::string Say(TLanguage language, const char* english,
                std::initializer_list<std::string> args = {});

// A text a run shows, in language: a catalogue text (of either language,
// "%s" standing for any part) is rebuilt in language with its parts
// translated in turn; ICU's error names (U_REGEX_MISMATCHED_PAREN) become
// words. Other text is given back unchanged.
std::string LocalText(const std::string& text, TLanguage language);

// A text the window shows, in language, line by line: as LocalText, except
// that a line already in Chinese stays as it is, for the window's own texts
// are Chinese whatever the locale.
std::string WindowText(const std::string& text, TLanguage language);

}  // namespace qm
