// Books are never torn, mixed or lost: a conversion builds a fresh book and
// puts it in place whole, whatever kills or races it, and a stop after that
// is a success. Judged by Python's zipfile.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "cli/CliConsole.h"
#include "cli/CliOptions.h"
#include "conversion/run/ConversionRun.h"
#include "conversion/run/PrepareConversion.h"
#include "platform/CodePage.h"
#include "platform/FaultPoint.h"
#include "platform/TempDir.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using test::Quote;

class CliDataSafety : public ::testing::Test {
  protected:
    std::string CliCommand(const std::string& args) {
        return "cd " + Quote(work.Path()) + " && TMPDIR=" + Quote(tmp.Path()) + " LC_ALL=C.UTF-8 " +
               Quote(test::BinPath("quillmark-cli")) + " --classic " + args;
    }
    test::CommandResult Cli(const std::string& args) { return test::Run(CliCommand(args)); }
    // The entries (name, method, content) of a book as one line, or "torn".
    std::string Entries(const std::string& book) {
        const std::string script =
            "import sys, zipfile, hashlib\n"
            "try:\n"
            "    z = zipfile.ZipFile(sys.argv[1])\n"
            "    assert z.testzip() is None\n"
            "    print([(i.filename, i.compress_type, hashlib.md5(z.read(i)).hexdigest())\n"
            "           for i in z.infolist()])\n"
            "except Exception as e:\n"
            "    print('torn', e)\n";
        return test::Run("python3 -c " + Quote(script) + " " + Quote(work / book)).out;
    }
    std::string Book(const std::string& word, int lines) {
        std::string text;
        for (int i = 0; i < lines; ++i) text += word + std::to_string(i) + "，海风吹过灯塔。\r\n";
        return Utf8ToAnsi(text);
    }
    // What the runs left beside the books and in the temporary directory.
    std::string Leftovers() {
        std::string names;
        for (const std::string& dir : {work.Path(), tmp.Path()}) {
            for (const auto& entry : std::filesystem::directory_iterator(dir)) {
                const std::string name = entry.path().filename().string();
                if (name[0] == '.' || name.rfind("quillmark-", 0) == 0) names += name + " ";
            }
        }
        return names;
    }
    test::ScratchDir work, tmp;
};

TEST_F(CliDataSafety, ConvertingIntoAnExistingBookGivesTheSameBookAsANewPath) {
    test::WriteFile(work / "one.txt", Book("一", 400));
    test::WriteFile(work / "two.txt", Book("二", 50));
    ASSERT_EQ(Cli("-n 20 -o same.epub one.txt").exitCode, 0);
    // A book made elsewhere: stored mimetype, a page of its own.
    ASSERT_EQ(
        test::Run("cd " + Quote(work.Path()) +
                  " && python3 -c 'import zipfile; z = zipfile.ZipFile(\"other.epub\", \"w\"); "
                  "z.writestr(\"mimetype\", \"application/epub+zip\"); "
                  "z.writestr(\"OEBPS/7.html\", \"<html/>\", zipfile.ZIP_DEFLATED)'")
            .exitCode,
        0);
    for (const char* target : {"same.epub", "other.epub", "fresh.epub"}) {
        const auto run = Cli(std::string("-n 3 -o ") + target + " two.txt");
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }
    const std::string fresh = Entries("fresh.epub");
    EXPECT_NE(fresh.find("OEBPS/2.html"), std::string::npos) << fresh;
    EXPECT_EQ(Entries("same.epub"), fresh);
    EXPECT_EQ(Entries("other.epub"), fresh);

    // A file there that is no archive is refused, plainly, and kept.
    test::WriteFile(work / "taken.epub", "my notes");
    const auto refused = Cli("-o taken.epub two.txt");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("taken.epub\" exists and is not a ZIP archive"), std::string::npos)
        << refused.err;
    EXPECT_EQ(test::ReadFile(work / "taken.epub"), "my notes");
    EXPECT_EQ(Leftovers(), "");
}

TEST_F(CliDataSafety, OnlyAnEarlierBookIsReplaced) {
    test::WriteFile(work / "two.txt", Book("二", 50));
    // Archives that are not books: a thesis, and a document with a
    // mimetype of its own.
    const std::string make =
        "import zipfile, sys\n"
        "with zipfile.ZipFile('report.zip', 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "    z.writestr('thesis.tex', 'chapter one ' * 400)\n"
        "with zipfile.ZipFile('notes.odt', 'w') as z:\n"
        "    z.writestr('mimetype', 'application/vnd.oasis.opendocument.text')\n"
        "    z.writestr('content.xml', '<office/>', zipfile.ZIP_DEFLATED)\n";
    ASSERT_EQ(test::Run("cd " + Quote(work.Path()) + " && python3 -c " + Quote(make)).exitCode, 0);
    const std::string report = test::ReadFile(work / "report.zip");
    const std::string notes = test::ReadFile(work / "notes.odt");
    ASSERT_EQ(::mkdir((work / "out").c_str(), 0755), 0);
    test::WriteFile(work / "out/two.epub", report);
    struct Case {
        std::string args, target, bytes;
    };
    for (const Case& c : std::vector<Case>{{"-o report.zip two.txt", "report.zip", report},
                                           {"--epub3 -o report.zip two.txt", "report.zip", report},
                                           {"-o notes.odt two.txt", "notes.odt", notes},
                                           {"--epub3 -O out two.txt", "out/two.epub", report},
                                           {"-O out two.txt", "out/two.epub", report}}) {
        const auto run = Cli(c.args);
        EXPECT_EQ(run.exitCode, 1) << c.args;
        EXPECT_NE(
            run.err.find(c.target + "\" exists and is not an EPUB book; it was left unchanged"),
            std::string::npos)
            << c.args << ": " << run.err;
        // Compared whole, not shown: archives print badly.
        EXPECT_TRUE(test::ReadFile(work / c.target) == c.bytes) << c.args << " changed it";
    }
    EXPECT_EQ(Leftovers(), "");
    // A book of either kind is one to replace, by either kind.
    ASSERT_EQ(Cli("--epub3 -o book.epub two.txt").exitCode, 0);
    ASSERT_EQ(Cli("-o book.epub two.txt").exitCode, 0);
    ASSERT_EQ(Cli("--epub3 -o book.epub two.txt").exitCode, 0);
    EXPECT_NE(Entries("book.epub").find("OEBPS/content.opf"), std::string::npos);
}

TEST_F(CliDataSafety, TitlesNameBooksInTheChosenFolderOnly) {
    test::WriteFile(work / "two.txt", Book("二", 20));
    ASSERT_EQ(::mkdir((work / "in").c_str(), 0755), 0);
    const std::string chosen = work / "in/";
    std::string fits;  // 250 bytes: with ".epub" the longest name there is
    for (int i = 0; i < 83; ++i) fits += "书";
    fits += "x";
    struct Case {
        std::string title, name;
    };
    for (const Case& c : std::vector<Case>{{"../../escape", "_.._escape.epub"},
                                           {".", "myepub.epub"},
                                           {"..", "myepub.epub"},
                                           {fits, fits + ".epub"},
                                           {fits + "yz", fits + ".epub"},
                                           // Shows nothing: no title, so named after the file.
                                           {"   ", "two.epub"},
                                           {"\u200b", "two.epub"},
                                           {" \u2060\t", "two.epub"}}) {
        for (const char* kind : {"--classic ", "--epub3 "}) {
            const auto run = test::Run("cd " + Quote(chosen) + " && TMPDIR=" + Quote(tmp.Path()) +
                                       " " + Quote(test::BinPath("quillmark-cli")) + " " + kind +
                                       "-t " + Quote(c.title) + " ../two.txt");
            EXPECT_EQ(run.exitCode, 0) << kind << c.title << ": " << run.err;
            EXPECT_TRUE(test::Exists(chosen + c.name)) << kind << c.title;
            EXPECT_TRUE(std::filesystem::remove(chosen + c.name)) << kind << c.title;
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(chosen));
    EXPECT_EQ(Leftovers(), "");
    EXPECT_FALSE(test::Exists(work / "../escape.epub"));
}

TEST_F(CliDataSafety, AnExistingNameIsTakenAloneAsInABatch) {
    std::error_code unused;
    test::WriteFile(work / "two.txt", Book("二", 20));
    struct Case {
        std::string what;  // at out/two.epub: a named pipe, a link to a book, a link to a device
        int exitCode;
        std::string said;
    };
    for (const Case& c : std::vector<Case>{{"pipe", 1, "is a named pipe, not a file"},
                                           {"book", 0, ""},
                                           {"null", 1, "is a device, not a file"}}) {
        for (const char* args : {"-o out/two.epub two.txt", "-O out two.txt"}) {
            test::Run("rm -rf " + Quote(work / "out") + " " + Quote(work / "lib"));
            test::MakeDirs(work / "out");
            test::MakeDirs(work / "lib");
            const std::string name = work / "out/two.epub";
            if (c.what == "pipe") {
                ASSERT_EQ(::mkfifo(name.c_str(), 0644), 0);
            } else if (c.what == "book") {
                ASSERT_EQ(Cli("-o lib/earlier.epub two.txt -t Earlier").exitCode, 0);
                ASSERT_EQ(::symlink("../lib/earlier.epub", name.c_str()), 0);
            } else {
                ASSERT_EQ(::symlink("/dev/null", name.c_str()), 0);
            }
            const auto run = Cli(args);
            EXPECT_EQ(run.exitCode, c.exitCode) << c.what << ", " << args << ": " << run.err;
            if (!c.said.empty()) {
                EXPECT_NE(run.err.find("\"" + name.substr(work.Path().size()) + "\" " + c.said),
                          std::string::npos)
                    << c.what << ", " << args << ": " << run.err;
            }
            struct stat st {};
            ASSERT_EQ(::lstat(name.c_str(), &st), 0) << c.what << ", " << args;
            EXPECT_EQ(S_ISFIFO(st.st_mode), c.what == "pipe") << args;
            EXPECT_EQ(S_ISLNK(st.st_mode), c.what != "pipe") << args;
            if (c.what == "book") {
                // The link's book is the new one, whole.
                const auto opf = test::Run("unzip -p " + Quote(work / "lib/earlier.epub") +
                                           " OEBPS/content.opf");
                EXPECT_EQ(opf.out.find("<dc:title>Earlier<"), std::string::npos) << args;
                EXPECT_EQ(Entries("lib/earlier.epub").find("torn"), std::string::npos) << args;
            }
            EXPECT_EQ(test::Run("ls -A " + Quote(work / "out")).out, "two.epub\n") << args;
        }
    }
    // A device named alone is refused as it is, not taken for "/dev/null.epub";
    // standard output is no place for a book. (A faulty run's file goes first.)
    std::filesystem::remove("/dev/null.epub", unused);
    for (const auto& [output, wrong] :
         {std::pair<std::string, std::string>{"/dev/null", "/dev/null.epub"},
          {"-", work / "-.epub"}}) {
        EXPECT_NE(Cli("-o " + output + " two.txt").exitCode, 0) << output;
        EXPECT_FALSE(test::Exists(wrong)) << output;
        std::filesystem::remove(wrong, unused);
    }
    struct stat null {};
    EXPECT_TRUE(::stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode));
    EXPECT_EQ(Leftovers(), "");
}

TEST_F(CliDataSafety, ABatchRemovesTheWorkFoldersOfKilledBatches) {
    test::WriteFile(work / "big.txt", Book("长", 30000));
    test::WriteFile(work / "two.txt", Book("二", 20));
    const auto killed = test::Run(
        "cd " + Quote(work.Path()) + "; TMPDIR=" + Quote(tmp.Path()) + " " +
        Quote(test::BinPath("quillmark-cli")) + " --classic -n 1024 -O . big.txt & pid=$!; " +
        "for i in $(seq 5000); do ls -d .quillmark-batch-?????? >/dev/null 2>&1 && break; " +
        "sleep 0.002; done; kill -KILL $pid; wait $pid; ls -d .quillmark-batch-* | wc -l");
    ASSERT_EQ(killed.out, "1\n") << killed.err;
    const auto run = Cli("-O . two.txt");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(test::Exists(work / "two.epub"));
    EXPECT_FALSE(test::Exists(work / "big.epub"));
    // The killed run's private temporary directory is the next start's to
    // judge (by its age); beside the books nothing is left.
    EXPECT_EQ(test::Run("ls -A " + Quote(work.Path())).out, "big.txt\ntwo.epub\ntwo.txt\n");
}

TEST_F(CliDataSafety, Utf16TextAfterAZeroCharacterIsKept) {
    test::WriteFile(work / "z.txt",
                    test::Utf16LeWithMark(std::u16string(u"before") + u'\0' + u"after, 之后"));
    ASSERT_EQ(Cli("-o z.epub z.txt").exitCode, 0);
    const auto page = test::Run("unzip -p " + Quote(work / "z.epub") + " OEBPS/0.html");
    EXPECT_NE(page.out.find("beforeafter, 之后"), std::string::npos) << page.out;
}

TEST_F(CliDataSafety, StopAfterTheBookIsInPlaceIsASuccess) {
    test::WriteFile(work / "big.txt", Book("长", 30000));
    // A job started with "&" ignores SIGINT; the launcher gives it back.
    const auto result =
        test::Run("cd " + Quote(work.Path()) + "; TMPDIR=" + Quote(tmp.Path()) +
                  " LC_ALL=C.UTF-8 python3 -c 'import os, signal, sys; "
                  "signal.signal(signal.SIGINT, signal.SIG_DFL); "
                  "os.execv(sys.argv[1], sys.argv[1:])' " +
                  Quote(test::BinPath("quillmark-cli")) +
                  " --classic -n 1024 -o big.epub big.txt & pid=$!; " +
                  "for i in $(seq 20000); do [ -e big.epub ] && break; sleep 0.001; done; " +
                  "kill -INT $pid; wait $pid; echo $?");
    EXPECT_TRUE(result.out.starts_with("The book was converted.\n")) << result.out << result.err;
    EXPECT_TRUE(result.out.ends_with("\n0\n")) << result.out;
    EXPECT_EQ(Entries("big.epub").find("torn"), std::string::npos);
    EXPECT_EQ(Leftovers(), "");
}

TEST_F(CliDataSafety, RacingOrKilledConversionsLeaveAWholeBook) {
    test::WriteFile(work / "old.txt", Book("旧", 200));
    test::WriteFile(work / "new.txt", Book("新", 20000));
    ASSERT_EQ(Cli("-n 3 -o old.epub old.txt").exitCode, 0);
    ASSERT_EQ(Cli("-n 200 -o ref.epub new.txt").exitCode, 0);
    const std::string oldBytes = test::ReadFile(work / "old.epub");
    const std::string newEntries = Entries("ref.epub");

    // Two conversions to one new path: one of the two books, whole.
    for (int round = 0; round < 3; ++round) {
        test::Run("rm -f " + Quote(work / "race.epub"));
        const auto race =
            test::Run("(" + CliCommand("-t A -n 200 -o race.epub new.txt") +
                      ") >/dev/null & a=$!; (" + CliCommand("-t B -n 200 -o race.epub new.txt") +
                      ") >/dev/null & b=$!; wait $a; s=$?; wait $b; echo $s $?");
        EXPECT_EQ(race.out, "0 0\n") << race.err;
        const auto title =
            test::Run("unzip -p " + Quote(work / "race.epub") + " OEBPS/content.opf");
        EXPECT_TRUE(title.out.find("<dc:title>A<") != std::string::npos ||
                    title.out.find("<dc:title>B<") != std::string::npos);
        EXPECT_EQ(Entries("race.epub").find("torn"), std::string::npos);
    }

    // SIGKILL at each step of putting the book in place, with and without
    // unnamed work files: the old book until it is renamed, then the new.
    struct Kill {
        const char* at;
        bool refuseUnnamed, made;
    };
    for (const Kill& kill :
         {Kill{"work file: locked", false, false}, Kill{"work file: locked", true, false},
          Kill{"work file: named", true, false}, Kill{"work file: complete", false, false},
          Kill{"work file: in place", false, true}}) {
        test::WriteFile(work / "book.epub", oldBytes);
        const auto run = test::Run("cd " + Quote(work.Path()) + " && TMPDIR=" + Quote(tmp.Path()) +
                                   " QM_KILL_AT=" + Quote(kill.at) +
                                   (kill.refuseUnnamed ? " QM_REFUSE_UNNAMED=1 " : " ") +
                                   Quote(std::filesystem::read_symlink("/proc/self/exe")) +
                                   " --gtest_filter=CliDataSafetyChild.DISABLED_ConversionKilledAt"
                                   " --gtest_also_run_disabled_tests >/dev/null; echo $?");
        EXPECT_EQ(run.out, "137\n") << kill.at << " never reached: " << run.err;
        if (kill.made) {
            EXPECT_EQ(Entries("book.epub"), newEntries) << kill.at;
        } else {
            EXPECT_TRUE(test::ReadFile(work / "book.epub") == oldBytes) << kill.at;
        }
    }

    // SIGKILL at moments spread over a run: the old book or the new one.
    int oldSeen = 0, newSeen = 0;
    for (int k = 0; k < 8; ++k) {
        test::WriteFile(work / "book.epub", oldBytes);
        const std::string delay = "0." + std::to_string(100 + 25 * k).substr(1);
        test::Run(CliCommand("-n 200 -o book.epub new.txt") + " & pid=$!; sleep " + delay +
                  "; kill -KILL $pid; wait $pid");
        if (test::ReadFile(work / "book.epub") == oldBytes) {
            ++oldSeen;
        } else {
            EXPECT_EQ(Entries("book.epub"), newEntries) << "killed after " << delay << " s";
            ++newSeen;
        }
    }
    std::printf("killed runs: %d left the old book, %d the new one\n", oldSeen, newSeen);

    // The next run clears what the killed ones left, once it is not new (a
    // young temporary directory or ".new" work file may be a run starting).
    test::Run("find " + Quote(tmp.Path()) +
              " -maxdepth 1 -name 'quillmark-*' -exec touch -d '1 minute ago' {} +");
    test::Run("find " + Quote(work.Path()) +
              " -maxdepth 1 -name '.*.new' -exec touch -d '1 hour ago' {} +");
    ASSERT_EQ(Cli("-n 3 -o book.epub old.txt").exitCode, 0);
    EXPECT_EQ(Leftovers(), "");
}

// The conversion "--classic -n 200 -o book.epub new.txt" as the command line
// runs it, killed at the fault point QM_KILL_AT (QM_REFUSE_UNNAMED: as on a
// file system without unnamed files); a fresh process the test above starts.
TEST(CliDataSafetyChild, DISABLED_ConversionKilledAt) {
    static const char* killAt = std::getenv("QM_KILL_AT");
    static const bool refuseUnnamed = std::getenv("QM_REFUSE_UNNAMED") != nullptr;
    if (!killAt) GTEST_SKIP();
    SetFaultHook([](const char* point) {
        if (refuseUnnamed && std::string(point) == "work file: unnamed") return EOPNOTSUPP;
        if (std::string(point) == killAt) ::raise(SIGKILL);
        return 0;
    });
    TCliOptions options;
    std::string error;
    ASSERT_TRUE(
        ParseCliOptions({"--classic", "-n", "200", "-o", "book.epub", "new.txt"}, options, error))
        << error;
    TConversionInput input = InputOf(options);
    input.sourcePath = options.files.front();
    input.archiveName = ArchiveNameOf(options, input.sourcePath);
    const auto request = PrepareConversion(input);
    ASSERT_TRUE(request) << request.Error().message;
    TInterruptWatch watch(TempDirPath());
    TConsoleUi ui(watch, false);
    EXPECT_TRUE(RunConversion(*request, ui));
}

}  // namespace
}  // namespace qm
