// Batches: several books at a time into a directory, read back by Python.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using test::Quote;

class CliBatch : public ::testing::Test {
  protected:
    // Classic batches, with the messages in English.
    test::CommandResult Cli(const std::string& args) {
        return test::Run("cd " + Quote(work.Path()) + " && TMPDIR=" + Quote(tmp.Path()) +
                         " LC_ALL=C.UTF-8 " + Quote(test::BinPath("quillmark-cli")) +
                         " --classic " + args);
    }
    test::CommandResult Check(const std::string& book, const std::string& source,
                              const std::string& encoding, const std::string& title) {
        return test::Run("python3 " +
                         Quote(std::string(QM_SOURCE_DIR) + "/tests/cli/check_epub.py") + " " +
                         Quote(book) + " " + Quote(source) + " " + encoding + " --title " +
                         Quote(title) + " --max-pages 5");
    }
    // The names in a directory, hidden ones included, sorted, one a line.
    std::string Listing(const std::string& directory) {
        return test::Run("LC_ALL=C ls -A " + Quote(directory)).out;
    }

    test::ScratchDir work, tmp;
};

std::string Text(int book) {
    std::string text;
    for (int i = 0; i < 30; ++i) {
        text += "　　第" + std::to_string(book) + "本书，第" + std::to_string(i) +
                "段：灯塔照着海面。\r\n";
    }
    return text;
}

TEST_F(CliBatch, ShelfOfMixedEncodingsWithOneBrokenBook) {
    // Eleven good books in four encodings over two folders, and an empty one.
    struct Book {
        std::string path, encoding, bytes;
    };
    std::vector<Book> books;
    for (int i = 0; i < 11; ++i) {
        const std::string utf8 = Text(i);
        const std::string path =
            std::string(i < 6 ? "shelf/" : "shelf/more/") + "小说" + std::to_string(i) + ".txt";
        switch (i % 4) {
            case 0:
                books.push_back({path, "gbk", Utf8ToAnsi(utf8)});
                break;
            case 1:
                books.push_back({path, "utf-8", utf8});
                break;
            case 2:
                books.push_back({path, "utf-8", "\xEF\xBB\xBF" + utf8});
                break;
            default:
                books.push_back(
                    {path, "utf-16", test::Utf16LeWithMark(AnsiToUtf16(Utf8ToAnsi(utf8)))});
        }
    }
    test::MakeDirs(work / "shelf/more");
    for (const Book& book : books) test::WriteFile(work / book.path, book.bytes);
    test::WriteFile(work / "shelf/broken.txt", "");
    test::WriteFile(work / "shelf/notes.md", "not a book, not counted");

    const auto result = Cli("-r -j 2 -n 5 -O out shelf");
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(result.out, "Converted 11 of 12 books.\n");
    EXPECT_NE(result.err.find("shelf/broken.txt: The file is not bigger than the number of parts."),
              std::string::npos)
        << result.err;
    for (const Book& book : books) {
        const std::string title = std::filesystem::path(book.path).stem().string();
        const auto check =
            Check(work / ("out/" + title + ".epub"), work / book.path, book.encoding, title);
        EXPECT_EQ(check.exitCode, 0) << book.path << ": " << check.out << check.err;
    }
    const std::string made = Listing(work / "out");
    EXPECT_EQ(std::count(made.begin(), made.end(), '\n'), 11) << made;
    EXPECT_EQ(Listing(tmp.Path()), "");

    // One book at a time gives the same entries, byte for byte.
    ASSERT_EQ(Cli("-r -j 1 -n 5 -O one shelf").exitCode, 1);
    const auto same = test::Run(
        "cd " + Quote(work.Path()) +
        " && python3 -c 'import os, sys, zipfile\n"
        "def entries(p):\n"
        "    with zipfile.ZipFile(p) as z: return [(i.filename, z.read(i)) for i in z.infolist()]\n"
        "names = sorted(os.listdir(\"out\"))\n"
        "assert names == sorted(os.listdir(\"one\")), names\n"
        "for n in names: assert entries(\"out/\" + n) == entries(\"one/\" + n), n\n"
        "print(len(names))'");
    EXPECT_EQ(same.out, "11\n") << same.err;
}

TEST_F(CliBatch, BooksOfOneNameAreNumberedAndAnEarlierRunsBookIsReplaced) {
    for (const char* folder : {"a", "b", "c", "earlier"}) {
        test::MakeDirs(work / folder);
        test::WriteFile(work / (std::string(folder) + "/书.txt"),
                        "book " + std::string(folder) + "\r\n");
    }
    test::MakeDirs(work / "out");
    ASSERT_EQ(Cli("-O out earlier/书.txt").exitCode, 0);
    test::WriteFile(work / "out/其他.epub", "someone else's");

    const auto result = Cli("-O out a/书.txt b/书.txt c/书.txt");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "Converted 3 of 3 books.\n");
    EXPECT_EQ(Listing(work / "out"), "书 (2).epub\n书 (3).epub\n书.epub\n其他.epub\n");
    const char* named[][2] = {{"书.epub", "a"}, {"书 (2).epub", "b"}, {"书 (3).epub", "c"}};
    for (const auto& [book, folder] : named) {
        const auto check = Check(work / ("out/" + std::string(book)),
                                 work / (std::string(folder) + "/书.txt"), "gbk", "书");
        EXPECT_EQ(check.exitCode, 0) << book << ": " << check.out;
    }
    EXPECT_EQ(test::ReadFile(work / "out/其他.epub"), "someone else's");

    // Options for one book are refused when a folder holds several.
    const auto refused = Cli("-t Title -r -O out .");
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("-t applies to a single book only"), std::string::npos);
}

TEST_F(CliBatch, WhatABatchCannotReadIsNamedAndCountedAsFailed) {
    test::MakeDirs(work / "shelf/locked");
    test::WriteFile(work / "shelf/good.txt", Text(1));
    test::WriteFile(work / "shelf/locked/inside.txt", Text(2));
    ASSERT_EQ(::symlink("gone.txt", (work / "shelf/broken.txt").c_str()), 0);
    ASSERT_EQ(::mkfifo((work / "shelf/pipe.txt").c_str(), 0644), 0);
    ASSERT_EQ(::chmod((work / "shelf/locked").c_str(), 0), 0);
    // Root reads any folder: the batch runs as nobody then, in folders open to it.
    std::string as;
    if (::geteuid() == 0) {
        for (const std::string& dir : {work.Path(), tmp.Path(), work / "shelf"})
            ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
        as = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    struct Case {
        std::string language, out;
        std::vector<std::string> named;
    };
    for (const Case& c : std::vector<Case>{
             {"C.UTF-8",
              "Converted 1 of 4 books.\n",
              {"shelf/broken.txt: is a link to nothing", "shelf/pipe.txt: is a named pipe",
               "shelf/locked: is a folder that cannot be read (Permission denied)"}},
             {"zh_CN.UTF-8",
              "已转换 1 本书（共 4 本）。\n",
              {"shelf/broken.txt: 是指向不存在文件的链接", "shelf/pipe.txt: 是命名管道",
               "shelf/locked: 是无法读取的文件夹（权限不够）"}}}) {
        const auto run = test::Run("cd " + Quote(work.Path()) + " && TMPDIR=" + Quote(tmp.Path()) +
                                   " LC_ALL=" + c.language + " " + as +
                                   Quote(test::BinPath("quillmark-cli")) + " -r -O out shelf");
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_EQ(run.out, c.out);
        for (const std::string& named : c.named)
            EXPECT_NE(run.err.find(named), std::string::npos) << named << " in " << run.err;
    }
    EXPECT_EQ(Listing(work / "out"), "good.epub\n");
    ::chmod((work / "shelf/locked").c_str(), 0755);
}

}  // namespace
}  // namespace qm
