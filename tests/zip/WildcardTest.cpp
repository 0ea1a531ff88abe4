#include <gtest/gtest.h>

#include "zip/Wildcard.h"

namespace qm {
namespace {

struct Case {
    const char* pattern;
    const char* text;
    int32_t code;
};

void ExpectCodes(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        EXPECT_EQ(MatchPattern(c.pattern, c.text), c.code)
            << "pattern \"" << c.pattern << "\" text \"" << c.text << "\"";
    }
}

TEST(Wildcard, StarsQuestionMarksAndLiterals) {
    ExpectCodes({
        {"*.txt", "a.txt", wmMatch},
        {"*.txt", ".txt", wmMatch},
        {"*.txt", "a.txt.bak", wmLiteralDiffers},
        {"*a*b", "xaxb", wmMatch},
        {"*a*b", "ab", wmMatch},
        {"a?c", "abc", wmMatch},
        {"a?c", "ac", wmTextEnded},
        {"*", "", wmMatch},
        {"a*", "a", wmMatch},
        {"a**", "a", wmTextEnded},
        {"abc*", "abc", wmMatch},
        {"abc?", "abc", wmTextEnded},
        {"abc", "abcd", wmPatternEnded},
        {"abd", "abc", wmLiteralDiffers},
        {"*.*", "readme.", wmMatch},
        {"*.", "readme.", wmMatch},
        {"*.", "readme.txt", wmPatternEnded},
        {"*.TXT", "README.txt", wmMatch},
        {"[a]", "[a]", wmMatch},
        {"a\\b", "a\\b", wmMatch},
    });
    // Only ASCII letters fold: bytes of code page 936 compare as they are.
    EXPECT_TRUE(WildcardMatch("\xD6\xD0*", "\xD6\xD0\xCE\xC4.txt"));
    EXPECT_FALSE(WildcardMatch("\xF6", "\xD6"));
}

TEST(Wildcard, Sets) {
    ExpectCodes({
        {"<a-c>x", "bx", wmMatch},
        {"<!a-c>x", "dx", wmMatch},
        {"<!a-c>x", "bx", wmSetRejected},
        {"<^a-c>x", "bx", wmSetRejected},
        {"<c-a>x", "bx", wmSetRejected},
        {"<c-a>x", "ax", wmSetRejected},
        {"<>x", "ax", wmMalformed},
        {"<ab", "a", wmMalformed},
        {"<a-", "a", wmMalformed},
        {"<a->", "a", wmMalformed},
        {"<!", "a", wmMalformed},
        {"<", "a", wmMalformed},
        {"<xyz>1", "y1", wmMatch},
        {"<A-C>", "b", wmMatch},
        // The set is passed over up to ">" once an item accepted; a later
        // malformed item is not looked at, but the missing ">" is.
        {"<ab-", "a", wmMalformed},
    });
}

// Two forms the walk's own patterns never use, pinned to the chosen meaning:
// "*?" means "at least one character", and a star before a set may take any
// run, the set being tried at every position.
TEST(Wildcard, StarBeforeQuestionMarksAndSets) {
    ExpectCodes({
        {"a*?", "ab", wmMatch},
        {"a*?", "abc", wmMatch},
        {"a*??", "ab", wmTextEnded},
        {"a*?*", "ab", wmMatch},
        {"a*?", "a", wmTextEnded},
        {"*<0-9>.log", "run7.log", wmMatch},
        {"*<0-9>.log", "7.log", wmMatch},
        {"*<0-9>.log", "run.log", wmSetRejected},
        {"*<>.log", "run7.log", wmMalformed},
        {"*<0-9.log", "run7.log", wmMalformed},
    });
}

TEST(Wildcard, WildcardTextTest) {
    for (const char* text : {"*", "a?", "<a>", "x>", "|y"}) EXPECT_TRUE(IsWildcard(text)) << text;
    for (const char* text : {"", "plain.txt", "[a]", "a\\b"}) EXPECT_FALSE(IsWildcard(text)) << text;
}

}  // namespace
}  // namespace qm
