#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "support/TestSupport.h"
#include "zip/DirSearch.h"

namespace qm {
namespace {

using test::ScratchDir;
using test::WriteFile;

constexpr uint32_t kDefaultMask = 0x39;

std::vector<std::string> Walk(const std::string& start, bool recurse, const std::string& pattern,
                              uint32_t mask = kDefaultMask) {
    TDirSearch search(start, mask, recurse, pattern);
    std::vector<std::string> items;
    TSearchRec rec;
    for (std::string item = search.NextFile(rec); !item.empty(); item = search.NextFile(rec)) {
        items.push_back(item);
    }
    return items;
}

std::vector<std::string> Relative(const std::vector<std::string>& items, const std::string& base) {
    std::vector<std::string> result;
    for (const std::string& item : items) result.push_back(item.substr(base.size()));
    return result;
}

// The layout the conversion stages, plus names that test the rules.
void MakeStagingTree(const std::string& root) {
    test::MakeDirs(root + "META-INF");
    test::MakeDirs(root + "OEBPS/css");
    WriteFile(root + "mimetype", "application/epub+zip");
    WriteFile(root + "META-INF/container.xml", "<c/>");
    WriteFile(root + "OEBPS/content.opf", "opf");
    WriteFile(root + "OEBPS/toc.ncx", "ncx");
    WriteFile(root + "OEBPS/css/main.css", "css");
    WriteFile(root + "OEBPS/0.html", "page");
}

TEST(DirSearch, WalksDepthFirstInCaseInsensitiveOrder) {
    ScratchDir dir;
    MakeStagingTree(dir.Path());
    const std::vector<std::string> expected = {
        "META-INF/",  "META-INF/container.xml", "mimetype",
        "OEBPS/",     "OEBPS/0.html",           "OEBPS/content.opf",
        "OEBPS/css/", "OEBPS/css/main.css",     "OEBPS/toc.ncx"};
    EXPECT_EQ(Relative(Walk(dir.Path(), true, "*"), dir.Path()), expected);
    // "*.*" fits names without a dot; the start directory may lack its "/".
    std::string start = dir.Path();
    start.pop_back();
    EXPECT_EQ(Relative(Walk(start, true, "*.*"), dir.Path()), expected);
    // Without recursion only the start directory's files come back.
    EXPECT_EQ(Relative(Walk(dir.Path(), false, "*.*"), dir.Path()),
              std::vector<std::string>{"mimetype"});
}

TEST(DirSearch, ExtensionRuleAndPatternCase) {
    ScratchDir dir;
    WriteFile(dir / "readme", "");
    WriteFile(dir / "README.TXT", "");
    WriteFile(dir / "notes.md", "");
    EXPECT_EQ(Relative(Walk(dir.Path(), false, "*.txt"), dir.Path()),
              std::vector<std::string>{"README.TXT"});
    EXPECT_EQ(Relative(Walk(dir.Path(), false, "*."), dir.Path()),
              std::vector<std::string>{"readme"});
    EXPECT_EQ(Walk(dir.Path(), false, "*.*").size(), 3u);
}

TEST(DirSearch, SearchMaskLeavesOutHiddenAndSystemEntries) {
    ScratchDir dir;
    test::MakeDirs(dir / ".hidden");
    WriteFile(dir / ".hidden/inside.txt", "x");
    WriteFile(dir / ".profile", "x");
    test::MakeDirs(dir / "real");
    WriteFile(dir / "real/file.txt", "x");
    ASSERT_EQ(::symlink((dir / "real").c_str(), (dir / "link").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "real/file.txt").c_str(), (dir / "filelink.txt").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);

    EXPECT_EQ(Relative(Walk(dir.Path(), true, "*"), dir.Path()),
              (std::vector<std::string>{"filelink.txt", "real/", "real/file.txt"}));
    // With hidden entries allowed, the hidden directory is entered; a link to
    // a directory is still never followed.
    EXPECT_EQ(Relative(Walk(dir.Path(), true, "*", kDefaultMask | faHidden), dir.Path()),
              (std::vector<std::string>{".hidden/", ".hidden/inside.txt", ".profile",
                                        "filelink.txt", "real/", "real/file.txt"}));
    const auto withSystem =
        Relative(Walk(dir.Path(), true, "*", kDefaultMask | faSysFile), dir.Path());
    EXPECT_EQ(withSystem,
              (std::vector<std::string>{"filelink.txt", "link", "pipe", "real/", "real/file.txt"}));
}

TEST(DirSearch, DeepTreeStopsAtTwentyLevelsWithoutOverrun) {
    ScratchDir dir;
    std::string path = dir.Path();
    for (int depth = 1; depth <= 25; ++depth) {
        path += std::string(1, 'd');
        path += std::to_string(depth);
        path += '/';
        test::MakeDirs(path);
        WriteFile(path + "f.txt", std::to_string(depth));
    }
    WriteFile(dir / "top.txt", "");
    const auto items = Walk(dir.Path(), true, "*.txt");
    // Directories d1..d20 and their files plus the top file; nothing deeper.
    ASSERT_EQ(items.size(), 41u);
    const std::string deepest = path.substr(0, path.find("d21/")) + "f.txt";
    EXPECT_NE(std::find(items.begin(), items.end(), deepest), items.end());
    for (const std::string& item : items) EXPECT_EQ(item.find("d21"), std::string::npos);
    EXPECT_EQ(items.back(), dir / "top.txt");

    // What is left out is said, not dropped in silence, and fails the run.
    const auto packed = test::Run(test::Quote(test::BinPath("qm-zipdir")) + " " +
                                  test::Quote(dir / "deep.zip") + " " + test::Quote(dir.Path()));
    EXPECT_EQ(packed.exitCode, 1);
    EXPECT_NE(packed.err.find("skipped: " + path.substr(0, path.find("d21/") + 4) +
                              " (cannot be read)"),
              std::string::npos)
        << packed.err;
}

TEST(DirSearch, WildcardStartDirectory) {
    ScratchDir dir;
    test::MakeDirs(dir / "data/a1/sub");
    test::MakeDirs(dir / "data/ab");
    test::MakeDirs(dir / "data/b1");
    WriteFile(dir / "data/a1/one.txt", "");
    WriteFile(dir / "data/a1/sub/deep.txt", "");
    WriteFile(dir / "data/ab/two.txt", "");
    WriteFile(dir / "data/b1/three.txt", "");
    WriteFile(dir / "data/axe.txt", "");  // a file, not a directory: not entered
    EXPECT_EQ(Relative(Walk(dir / "data/a*/", false, "*.txt"), dir.Path()),
              (std::vector<std::string>{"data/a1/one.txt", "data/ab/two.txt"}));
    EXPECT_EQ(Relative(Walk(dir / "data/a*", true, "*"), dir.Path()),
              (std::vector<std::string>{"data/a1/one.txt", "data/a1/sub/", "data/a1/sub/deep.txt",
                                        "data/ab/two.txt"}));
    EXPECT_EQ(Relative(Walk(dir / "*/a?", false, "*"), dir.Path()),
              (std::vector<std::string>{"data/a1/one.txt", "data/ab/two.txt"}));
}

TEST(DirSearch, MissingStartDirectoryEndsAtOnce) {
    ScratchDir dir;
    EXPECT_TRUE(Walk(dir / "absent", true, "*").empty());
    EXPECT_TRUE(Walk(dir / "absent/x*/", true, "*").empty());
}

}  // namespace
}  // namespace qm
