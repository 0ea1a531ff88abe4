// The man page and the bash completion cannot fall behind the option table:
// the page names every option, and bash, running the completion as a shell
// does, offers every one of them.
#include <gtest/gtest.h>

#include <string>

#include "conversion/run/OptionTable.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

// How roff writes a name: every "-" escaped.
std::string Roff(const std::string& name) {
    std::string out;
    for (char c : name) out += c == '-' ? std::string("\\-") : std::string(1, c);
    return out;
}

// The forms of the row's option ("-t", "--title").
std::vector<std::string> NamesOf(const TOptionRow& row) {
    std::vector<std::string> names = {std::string("--") + row.longName};
    if (row.shortName) names.push_back(std::string("-") + row.shortName);
    return names;
}

// True when an item's tag (the line after ".TP") names the option, whole.
bool TagNames(const std::string& page, const std::string& name) {
    const std::string roff = Roff(name);
    for (size_t tp = page.find(".TP\n"); tp != std::string::npos; tp = page.find(".TP\n", tp + 1)) {
        const size_t start = tp + 4;
        const std::string tag = page.substr(start, page.find('\n', start) - start);
        for (size_t at = tag.find(roff); at != std::string::npos; at = tag.find(roff, at + 1)) {
            const bool startsName = at == 0 || tag[at - 1] == ' ';
            const size_t end = at + roff.size();
            const bool endsName =
                end == tag.size() || std::string(" =\"").find(tag[end]) != std::string::npos;
            if (startsName && endsName) return true;
        }
    }
    return false;
}

TEST(OptionDocs, ManPageNamesEveryOption) {
    const std::string page = test::ReadFile(QM_SOURCE_DIR "/data/man/quillmark-cli.1");
    for (const TOptionRow& row : OptionTable()) {
        for (const std::string& name : NamesOf(row))
            EXPECT_TRUE(TagNames(page, name)) << name << " has no item in the man page";
    }
    EXPECT_FALSE(TagNames(page, "--no-such-option"));
}

TEST(OptionDocs, CompletionOffersEveryOption) {
    const std::string script =
        "source " + test::Quote(QM_SOURCE_DIR "/data/completion/quillmark-cli") +
        " && COMP_WORDS=(" + test::Quote(test::BinPath("quillmark-cli")) +
        " -) && COMP_CWORD=1 && _quillmark_cli && printf '%s\\n' \"${COMPREPLY[@]}\"";
    const test::CommandResult offered = test::Run("bash -c " + test::Quote(script));
    ASSERT_EQ(offered.exitCode, 0) << offered.err;
    for (const TOptionRow& row : OptionTable()) {
        for (const std::string& name : NamesOf(row)) {
            EXPECT_NE(offered.out.find(name + "\n"), std::string::npos)
                << name << " is not offered by the completion:\n"
                << offered.out;
        }
    }
}

// "--opt=VALUE" completes its value, whether bash split the word at "=" or
// left it whole.
TEST(OptionDocs, CompletionTakesValuesAfterAnEqualsSign) {
    const struct {
        const char *words, *expected;
    } cases[] = {
        {"--convert = s2tw", "s2tw s2twp"},
        {"--convert =", "s2t t2s s2tw tw2s s2hk hk2s s2twp tw2sp t2tw tw2t t2hk hk2t t2jp jp2t"},
        {"--convert=tw2", "--convert=tw2s --convert=tw2sp --convert=tw2t"},
        {"--out", "--output --output-dir"},
    };
    for (const auto& c : cases) {
        const std::string script =
            "source " + test::Quote(QM_SOURCE_DIR "/data/completion/quillmark-cli") +
            " && COMP_WORDS=(" + test::Quote(test::BinPath("quillmark-cli")) + " " + c.words +
            ") && COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) && _quillmark_cli && echo " +
            "\"${COMPREPLY[*]}\"";
        const test::CommandResult offered = test::Run("bash -c " + test::Quote(script));
        EXPECT_EQ(offered.out, std::string(c.expected) + "\n") << c.words << offered.err;
    }
}

}  // namespace
}  // namespace qm
