// quillmark-cli run as a user runs it, with its books read back by
// independent tools (Python's zipfile and XML parser, unzip, epubcheck).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string>

#include "conversion/run/ConversionRun.h"
#include "platform/CodePage.h"
#include "support/IcuText.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using test::Quote;

// A book with Chinese and Latin text, empty lines, markup characters and a
// control byte that XML does not allow.
std::string BookUtf8() {
    std::string text = "第一章　开始\r\n\r\n";
    for (int i = 0; i < 40; ++i) {
        text += "　　第" + std::to_string(i) + "段：海风吹过灯塔，A&B <tag> x>y 的故事继续。\r\n";
    }
    text += "尾声\x01。最后一行没有换行";
    return text;
}

// A longer book for the readers: chapters, empty lines, markup characters and
// a control byte, its lines ended by lineEnd, or by CR LF, LF and CR in turn.
std::string ReaderBookUtf8(const char* lineEnd = nullptr) {
    const char* const ends[] = {"\r\n", "\n", "\r"};
    std::string text;
    for (int i = 0; i < 300; ++i) {
        const std::string end = lineEnd ? lineEnd : ends[i % 3];
        if (i % 60 == 0) text += "第" + std::to_string(i / 60 + 1) + "章　灯塔" + end + end;
        text += "　　第" + std::to_string(i) +
                "段：海风吹过灯塔，A&B <i> x>y，夜里的灯一圈一圈地照着海面。" + end;
    }
    return text + "尾声\x01。";
}

// A book in traditional characters: with rare, the characters code page 936
// lacks (CJK extension A and B, Hong Kong additions) that Big5-HKSCS holds.
std::string TraditionalBookUtf8(bool rare) {
    std::string text = "第一章　開始\r\n\r\n";
    for (int i = 0; i < 40; ++i) {
        text += "　　第" + std::to_string(i) + "段：海風吹過燈塔，A&B <tag> x>y 的故事繼續" +
                (rare ? "，䏰𧉧䰲" : "") + "。\r\n";
    }
    return text + "尾聲。";
}

class CliRun : public ::testing::Test {
  protected:
    // Runs the CLI in the work directory with its temporary files in tmp:
    // the classic layout, the messages in English.
    test::CommandResult Cli(const std::string& args) {
        return Run("LC_ALL=C.UTF-8", "--classic " + args);
    }
    // The same with env (the locale) and args as given.
    test::CommandResult Run(const std::string& env, const std::string& args) {
        return test::Run("cd " + Quote(work.Path()) + " && TMPDIR=" + Quote(tmp.Path()) + " " +
                         env + " " + runAs + Quote(test::BinPath("quillmark-cli")) + " " + args);
    }
    // Root reads and writes whatever the permission bits say: runs that need
    // them to count go through an ordinary user. False when that can't be done.
    bool RunAsOrdinaryUser() {
        if (::geteuid() != 0) return true;
        if (test::Run("command -v setpriv").exitCode != 0) return false;
        ::chmod(work.Path().c_str(), 0777);
        ::chmod(tmp.Path().c_str(), 0777);
        runAs = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        return true;
    }
    // What the CLI left in its temporary directory: must be nothing.
    std::string Leftovers() {
        std::string names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(tmp.Path())) {
            names += entry.path().string() + " ";
        }
        return names;
    }
    test::CommandResult Check(const std::string& book, const std::string& source,
                              const std::string& encoding, const std::string& extra = "") {
        return test::Run("python3 " +
                         Quote(std::string(QM_SOURCE_DIR) + "/tests/cli/check_epub.py") + " " +
                         Quote(book) + " " + Quote(source) + " " + encoding + " " + extra);
    }

    test::ScratchDir work, tmp;
    std::string runAs;  // a command prefix that changes the user
};

TEST_F(CliRun, BooksInEveryEncodingComeBackWhole) {
    const std::string utf8 = BookUtf8();
    struct Case {
        const char* encoding;
        std::string bytes;
    } cases[] = {{"gbk", Utf8ToAnsi(utf8)},
                 {"utf-8", utf8},
                 {"utf-8", "\xEF\xBB\xBF" + utf8},
                 {"utf-16", test::Utf16LeWithMark(AnsiToUtf16(Utf8ToAnsi(utf8)))},
                 {"utf-8", ReaderBookUtf8("\n")},
                 {"gbk", Utf8ToAnsi(ReaderBookUtf8("\r"))},
                 {"utf-16", test::Utf16LeWithMark(AnsiToUtf16(Utf8ToAnsi(ReaderBookUtf8())))},
                 // Big5 is read as Big5, and traditional text in GBK stays GBK.
                 {"big5", test::Encode(TraditionalBookUtf8(true), "Big5-HKSCS")},
                 {"gbk", Utf8ToAnsi(TraditionalBookUtf8(false))}};
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoding + std::to_string(index));
        const std::string source = work / ("小说" + std::to_string(index) + ".txt");
        test::WriteFile(source, c.bytes);
        const std::string book = work / ("book" + std::to_string(index) + ".epub");
        const auto result =
            Cli("-t '标题 & <1>' -a 作者 -n 7 -o " + Quote(book) + " " + Quote(source));
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out, "The book was converted.\nSaved to " + book + "\n");
        const auto check = Check(book, source, c.encoding,
                                 "--title '标题 & <1>' --author 作者 --max-pages 7 --label 小说" +
                                     std::to_string(index));
        EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
        const auto unzip = test::Run("unzip -tq " + Quote(book));
        EXPECT_EQ(unzip.exitCode, 0) << unzip.out;
        EXPECT_EQ(Leftovers(), "");
        ++index;
    }
}

TEST_F(CliRun, BooksReadWholeInRealReaders) {
    // pandoc, ebooklib and epubcheck read every book: four line-end styles
    // and encodings in 1, 7 and 64 parts, and the sample book. A character
    // code page 936 lacks ends the Unicode books; it reads as itself.
    const struct {
        const char* name;
        const char* encoding;
        std::string bytes;
    } sources[] = {
        {"gbk-crlf", "gbk", Utf8ToAnsi(ReaderBookUtf8("\r\n"))},
        {"utf8-lf", "utf-8", ReaderBookUtf8("\n") + "\xF0\x9F\x98\x80"},
        {"utf16-mixed", "utf-16",
         test::Utf16LeWithMark(AnsiToUtf16(Utf8ToAnsi(ReaderBookUtf8())) + u"\U0001F600")},
        {"gbk-cr", "gbk", Utf8ToAnsi(ReaderBookUtf8("\r"))},
    };
    const std::string sample = std::string(QM_SOURCE_DIR) + "/samples/sample-gbk.txt";
    ASSERT_EQ(Cli("-t 海边的书信 -n 12 -o sample " + Quote(sample)).exitCode, 0);
    EXPECT_EQ(Check(work / "sample.epub", sample, "gbk", "--max-pages 12").exitCode, 0);
    std::string books = " " + Quote(work / "sample.epub") + " " + Quote(sample) + " gbk";
    for (const auto& source : sources) {
        const std::string text = work / (std::string(source.name) + ".txt");
        test::WriteFile(text, source.bytes);
        for (int parts : {1, 7, 64}) {
            const std::string book = work / (source.name + std::to_string(parts) + ".epub");
            const auto result = Cli("-t 灯塔 -a 作者 -n " + std::to_string(parts) + " -o " +
                                    Quote(book) + " " + Quote(text));
            ASSERT_EQ(result.exitCode, 0) << result.err;
            books += " " + Quote(book) + " " + Quote(text) + " " + source.encoding;
        }
    }
    // Debian's python3, which has ebooklib; the figures go to the log.
    const auto read =
        test::Run("/usr/bin/python3 " +
                  Quote(std::string(QM_SOURCE_DIR) + "/tests/cli/reader_harness.py") + books);
    EXPECT_EQ(read.exitCode, 0) << read.out << read.err;
    std::cout << read.out;
}

TEST_F(CliRun, OutputNameDefaultsLikeTheSaveDialog) {
    test::WriteFile(work / "b.txt", "hello, world\r\n");
    EXPECT_EQ(Cli("b.txt").exitCode, 0);
    EXPECT_TRUE(test::Exists(work / "b.epub"));
    EXPECT_EQ(Cli("-t 我的书 b.txt").exitCode, 0);
    EXPECT_TRUE(test::Exists(work / "我的书.epub"));
    EXPECT_EQ(Cli("-o plain b.txt").exitCode, 0);
    EXPECT_TRUE(test::Exists(work / "plain.epub"));
    EXPECT_EQ(Leftovers(), "");
}

TEST_F(CliRun, ConvertingAgainReplacesTheBooksFilesEvenWithinOneSecond) {
    test::WriteFile(work / "b.txt", "some text for the book\r\nsecond line\r\n");
    ASSERT_EQ(Cli("-t First -n 4 -o same.epub b.txt").exitCode, 0);
    ASSERT_EQ(Cli("-t Second -n 4 -o same.epub b.txt").exitCode, 0);
    const auto check = Check(work / "same.epub", work / "b.txt", "gbk", "--title Second");
    EXPECT_EQ(check.exitCode, 0) << check.out;
}

TEST_F(CliRun, UsageMistakesExitWithStatusTwo) {
    test::WriteFile(work / "b.txt", "hello, world");
    for (const char* args :
         {"", "-n 0 b.txt", "-n 1025 b.txt", "-n many b.txt", "-q b.txt", "-t T b.txt c.txt"}) {
        const auto result = Cli(args);
        EXPECT_EQ(result.exitCode, 2) << args;
        // One line, and where to look.
        EXPECT_TRUE(result.err.ends_with("\nTry 'quillmark-cli --help'.\n")) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 2) << result.err;
    }
    for (const char* name : {"b.text", "b"}) {
        test::WriteFile(work / name, "hello, world");
        const auto result = Cli(name);
        EXPECT_EQ(result.exitCode, 2) << name;
        EXPECT_NE(result.err.find(".txt"), std::string::npos) << result.err;
    }
    EXPECT_EQ(Cli("--version").out, "quillmark-cli 1.0\n");
    const auto help = Cli("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("-n, --parts=PARTS"), std::string::npos);
    EXPECT_EQ(Leftovers(), "");
}

TEST_F(CliRun, BadInputFailsWithItsReasonAndLeavesNothingBehind) {
    const std::string failed = "The conversion failed.";
    auto expectFailure = [&](const std::string& args, const std::string& why) {
        const auto result = Cli(args);
        EXPECT_EQ(result.exitCode, 1) << args << "\n" << result.err;
        EXPECT_NE(result.err.find(failed), std::string::npos) << args;
        EXPECT_NE(result.err.find(why), std::string::npos) << args << "\n" << result.err;
        EXPECT_EQ(result.out, "") << args;
        EXPECT_EQ(Leftovers(), "") << args;
    };
    expectFailure("missing.txt", "Cannot open file");
    ASSERT_EQ(::mkfifo((work / "pipe.txt").c_str(), 0600), 0);
    expectFailure("pipe.txt", "named pipe");

    // An empty file, and more parts than bytes: the warning comes first.
    test::WriteFile(work / "empty.txt", "");
    expectFailure("empty.txt", "The file is not bigger than the number of parts.");
    test::WriteFile(work / "small.txt", "12345");
    const auto small = Cli("-n 5 small.txt");
    EXPECT_EQ(small.exitCode, 1);
    EXPECT_LT(small.err.find("Quillmark: The file is not bigger"), small.err.find(failed));

    test::WriteFile(work / "ok.txt", "hello, world");
    expectFailure("-o nowhere/book.epub ok.txt", "nowhere/book.epub");
    EXPECT_FALSE(test::Exists(work / "nowhere"));

    // A file in the way of the archive that is not a zip stays as it was.
    const std::string notZip = "this is not an archive, and must survive";
    test::WriteFile(work / "taken.epub", notZip);
    expectFailure("-o taken.epub ok.txt", "");
    EXPECT_EQ(test::ReadFile(work / "taken.epub"), notZip);

    // No private temporary directory.
    const auto noTemp =
        test::Run("cd " + Quote(work.Path()) + " && TMPDIR=" + Quote(work / "no-such-dir") + " " +
                  Quote(test::BinPath("quillmark-cli")) + " --classic ok.txt");
    EXPECT_EQ(noTemp.exitCode, 1);
    EXPECT_NE(noTemp.err.find("temporary directory"), std::string::npos) << noTemp.err;

    if (!RunAsOrdinaryUser()) GTEST_SKIP() << "no way to run as an ordinary user";
    test::WriteFile(work / "secret.txt", "hello, world");
    ::chmod((work / "secret.txt").c_str(), 0);
    expectFailure("secret.txt", "Permission denied");
    test::MakeDirs(work / "locked");
    ::chmod((work / "locked").c_str(), 0555);
    expectFailure("-o locked/book.epub ok.txt", "locked/book.epub");
}

TEST_F(CliRun, BooksOfTwoGibibytesOrMoreAreRefusedClearly) {
    // Sparse files: the size is what matters, not the content. The recorded
    // size keeps only the low 32 bits, so one looks negative and one small.
    for (off_t size : {off_t{1} << 31, (off_t{1} << 32) + 100}) {
        const std::string path = work / "huge.txt";
        test::WriteFile(path, "");
        ASSERT_EQ(::truncate(path.c_str(), size), 0);
        const auto result = Cli("huge.txt");
        EXPECT_EQ(result.exitCode, 1) << size;
        EXPECT_NE(result.err.find("2 GiB"), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find("not bigger than"), std::string::npos) << result.err;
        EXPECT_EQ(Leftovers(), "");
    }
}

TEST_F(CliRun, InterruptedRunsCleanUpAndSayItWasInterrupted) {
    // Big enough that the run is still going when the signal comes: while
    // pages are rendered (just after the start) and while the book is packed
    // (once the archive's work file exists beside it).
    std::string big;
    for (int i = 0; big.size() < 48u << 20; ++i) {
        big += "　　第" + std::to_string(i) + "段，海风吹过灯塔，夜里的灯一圈一圈地照着海面。\r\n";
    }
    test::WriteFile(work / "big.txt", Utf8ToAnsi(big));
    // A job started with "&" by a script ignores SIGINT, as Ctrl+C at the
    // terminal is not meant for it; this launcher gives it the default back.
    const std::string withInterrupts =
        "python3 -c 'import os, signal, sys; signal.signal(signal.SIGINT, signal.SIG_DFL); "
        "os.execv(sys.argv[1], sys.argv[1:])' ";
    const std::string packing = "[ -n \"$(ls -A " + Quote(work.Path()) + " | grep qmwork)\" ]";
    // Started: the run has made its temporary directory (and set its
    // handlers a moment later).
    const std::string started = "[ -n \"$(ls -A " + Quote(tmp.Path()) + ")\" ] && sleep 0.1";
    const struct {
        const char* signal;
        std::string marker;
        int status;
    } cases[] = {{"INT", started, 130}, {"TERM", packing, 143}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signal);
        const std::string script =
            "cd " + Quote(work.Path()) + " && TMPDIR=" + Quote(tmp.Path()) + " LC_ALL=C " +
            withInterrupts + Quote(test::BinPath("quillmark-cli")) +
            " --classic -n 1024 -o big.epub big.txt & pid=$!; " + "for i in $(seq 2000); do " +
            c.marker + " && break; sleep 0.01; done; kill -" + c.signal +
            " $pid; wait $pid; echo $?";
        const auto result = test::Run(script);
        EXPECT_EQ(result.out, std::to_string(c.status) + "\n") << result.err;
        EXPECT_NE(result.err.find("Interrupted"), std::string::npos) << result.err;
        EXPECT_EQ(Leftovers(), "");
        EXPECT_FALSE(test::Exists(work / "big.epub"));
    }

    // Under nohup a hang-up stays ignored and the book is made.
    const auto nohup = test::Run(
        "cd " + Quote(work.Path()) + " && (trap '' HUP; TMPDIR=" + Quote(tmp.Path()) +
        " LC_ALL=zh_CN.UTF-8 exec " + Quote(test::BinPath("quillmark-cli")) +
        " --classic -n 1024 -o big.epub big.txt) & pid=$!; " + "for i in $(seq 2000); do " +
        packing + " && break; sleep 0.01; done; kill -HUP $pid; " + "wait $pid; echo $?");
    EXPECT_EQ(nohup.out,
              std::string(kConversionSucceededText) + "\n已保存到 " + (work / "big.epub") + "\n0\n")
        << nohup.err;
    EXPECT_EQ(Leftovers(), "");
    EXPECT_TRUE(test::Exists(work / "big.epub"));
}

// What a user meets first: the kind made by default, where the book goes and
// the line that says so, one-line usage errors, and the language of the
// messages following the locale (LC_ALL > LC_MESSAGES > LANG).
TEST_F(CliRun, DefaultsAndMessagesFollowTheConventions) {
    test::WriteFile(work / "《海边》作者：某.txt", "第一章 起\n海风。\n第二章 落\n灯塔。\n");
    test::WriteFile(work / "b.TXT", "hello, world\r\n");
    test::MakeDirs(work / "shelf");
    const std::string en = "LC_ALL= LC_MESSAGES= LANG=en_US.UTF-8";
    const std::string zh = "LC_ALL= LC_MESSAGES=zh_CN.UTF-8 LANG=C";
    const struct {
        std::string env, args;
        int exitCode;
        std::string out, err;
        bool errWhole;  // err is the whole of stderr, else a part of it
    } cases[] = {
        {en, "'《海边》作者：某.txt'", 0,
         "The book was converted.\nFound 2 chapters.\nSaved to " + (work / "海边.epub") + "\n", "",
         false},
        {zh, "-t 标题 b.TXT", 0, "恭喜你，文件转换成功\n已保存到 " + (work / "标题.epub") + "\n",
         "", false},
        {en, "--classic -t T -o shelf b.TXT", 0, "Saved to " + (work / "shelf/T.epub"), "", false},
        {"LC_ALL=C LANG=zh_CN.UTF-8", "-q b.TXT", 2, "",
         "quillmark-cli: unknown option -q\nTry 'quillmark-cli --help'.\n", true},
        {zh, "-q b.TXT", 2, "",
         "quillmark-cli: 未知选项 -q\n请用“quillmark-cli --help”查看用法。\n", true},
        {en, "shelf", 2, "", "use -r to convert the .txt files below it", false},
        {zh, "missing.txt", 1, "",
         "灰常遗憾，未能转换成功\n无法打开文件“missing.txt”：没有那个文件或目录\n", true},
        {en, "-V", 0, "quillmark-cli 1.0\n", "", true},
    };
    for (const auto& c : cases) {
        const auto result = Run(c.env, c.args);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.args << "\n" << result.err;
        EXPECT_NE(result.out.find(c.out), std::string::npos) << c.args << "\n" << result.out;
        if (c.errWhole) {
            EXPECT_EQ(result.err, c.err) << c.args;
        } else {
            EXPECT_NE(result.err.find(c.err), std::string::npos) << c.args << "\n" << result.err;
        }
    }
    // The default is the standard EPUB 3 book, which epubcheck accepts.
    const auto check =
        test::Run("java -jar /usr/share/java/epubcheck.jar " + Quote(work / "海边.epub") + " 2>&1");
    EXPECT_EQ(check.exitCode, 0) << check.out;
    EXPECT_NE(check.out.find("No errors or warnings detected"), std::string::npos) << check.out;
    EXPECT_EQ(Leftovers(), "");
}

}  // namespace
}  // namespace qm
