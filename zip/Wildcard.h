#pragma once
// The wildcard matcher: "?" one character, "*" any run, "<...>" a set of one
// character ("!" or "^" first negates it, "a-z" is a range). No escapes.
#include <cstdint>
#include <string>

namespace qm {

// Result codes of MatchPattern; only wmMatch counts as a match.
enum : int32_t {
    wmMatch = 1,
    wmPatternEnded = 2,    // the pattern ended before the text
    wmTextEnded = 3,       // the text ended before the pattern
    wmSetRejected = 4,     // a set did not accept the character
    wmLiteralDiffers = 5,  // a literal character differed
    wmMalformed = 6,       // an empty or unclosed set, a dangling range
};

// Matches text against pattern, ignoring the case of ASCII letters only.
int32_t MatchPattern(const std::string& pattern, const std::string& text);
// True when MatchPattern returns wmMatch.
bool WildcardMatch(const std::string& pattern, const std::string& text);
// True when the text holds any of the wildcard characters * ? < > |.
bool IsWildcard(const std::string& text);

}  // namespace qm
