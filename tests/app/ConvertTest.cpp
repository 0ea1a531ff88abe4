// Convert from the window: the save dialog, the run through the real
// conversion and archive builder, and the boxes the user sees.
#include <gtest/gtest.h>

#include <QActionGroup>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cstdlib>

#include "EventWait.h"
#include "RecordingDialogs.h"
#include "app/MainWindow.h"
#include "app/OutputMenu.h"
#include "app/QuitOnSignals.h"
#include "app/SpinEdit.h"
#include "app/WebStrip.h"
#include "conversion/run/ConversionRun.h"
#include "platform/TempDir.h"
#include "support/IcuText.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

// Where the classic book's files were once laid out; nothing may appear there.
std::string Staging() {
    return TempDirPath() + "EPUB";
}

class Convert : public ::testing::Test {
  protected:
    Convert() : form(dialogs, QUrl()) {}
    ~Convert() override { RemoveTree(Staging()); }

    void List(const std::string& name, const std::string& bytes) {
        const std::string path = scratch / name;
        test::WriteFile(path, bytes);
        dialogs.answers.push_back(QString::fromStdString(path));
        form.importButton->click();
        dialogs.log.clear();
    }
    void SaveAs(const std::string& path) {
        dialogs.answers.push_back(QString::fromStdString(path));
    }
    // Clicks Convert and handles the window's events until the run (if one
    // started) has ended.
    void RunConvert() {
        form.convertButton->click();
        ASSERT_TRUE(test::WaitUntil([this] { return !form.Converting(); }));
    }

    // Each test starts from the defaults, whatever an earlier one chose.
    const bool settingsCleared = (QSettings().clear(), true);
    test::ScratchDir scratch;
    test::TRecordingDialogs dialogs;
    MainWindow form;
};

const std::string kBook =
    "第一章 开始\r\n这是一本书。\r\n第二章 继续\r\n又是一段文字，里面有 <标记> & 符号。\r\n";

TEST_F(Convert, DoesNothingWithoutAFileOrWhenTheSaveDialogIsCancelled) {
    RunConvert();
    EXPECT_TRUE(dialogs.log.empty());

    List("book.txt", kBook);
    form.titleEdit->setText(QString::fromUtf8("我的书"));
    dialogs.answers.push_back(std::nullopt);
    RunConvert();
    form.titleEdit->clear();
    dialogs.answers.push_back(std::nullopt);
    RunConvert();
    // Whatever the title, the proposal is a visible name in the folder shown.
    for (const char* title : {"../../escape", ".", ".."}) {
        form.titleEdit->setText(QString::fromUtf8(title));
        dialogs.answers.push_back(std::nullopt);
        RunConvert();
    }
    EXPECT_EQ(dialogs.log,
              (std::vector<std::string>{"file:保存EPUB:我的书.epub", "file:保存EPUB:myepub.epub",
                                        "file:保存EPUB:_.._escape.epub",
                                        "file:保存EPUB:myepub.epub", "file:保存EPUB:myepub.epub"}));
    EXPECT_TRUE(test::DirectoryNames(TempDirPath()).empty());
    EXPECT_EQ(test::DirectoryNames(scratch.Path()), std::vector<std::string>{"book.txt"});
}

TEST_F(Convert, SuccessWritesAnArchiveAndShowsTheResult) {
    List("小说.txt", kBook);
    form.titleEdit->setText(QString::fromUtf8("我的书"));
    form.authorEdit->setText(QString::fromUtf8("作者甲"));
    form.partsSpin->SetValue(2);
    const std::string archive = scratch / "我的书.epub";
    SaveAs(archive);
    // Posted before the click: it runs only if the window handles its events
    // while the conversion works.
    bool eventsHandled = false;
    QTimer::singleShot(0, &form, [&] { eventsHandled = true; });
    dialogs.onResult = [&] {
        EXPECT_TRUE(eventsHandled);
        // Busy: Convert is refused and the bar stands in for the strip.
        EXPECT_FALSE(form.convertButton->isEnabled());
        EXPECT_TRUE(form.Converting());
        EXPECT_FALSE(form.progressBar->isHidden());
        EXPECT_TRUE(form.webStrip->isHidden());
        EXPECT_EQ(form.progressBar->value(), 100);  // pages and packing done
        const size_t before = dialogs.log.size();
        form.onConvert();
        EXPECT_EQ(dialogs.log.size(), before);
    };
    RunConvert();

    EXPECT_EQ(dialogs.log, (std::vector<std::string>{"file:保存EPUB:我的书.epub",
                                                     "result:Quillmark:恭喜你，文件转换成功"}));
    EXPECT_FALSE(test::Exists(Staging()));
    EXPECT_TRUE(form.convertButton->isEnabled());
    EXPECT_TRUE(form.progressBar->isHidden());
    EXPECT_FALSE(form.webStrip->isHidden());
    // The list stays for another run.
    EXPECT_EQ(form.fileList->rowCount(), 1);

    // An independent reader accepts the archive and finds the book in it.
    const test::CommandResult check = test::Run(
        "python3 -c 'import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "assert z.testzip() is None\n"
        "print(sorted(z.namelist()))\n"
        "print(z.read(\"OEBPS/content.opf\").decode(\"utf-8\"))' " +
        test::Quote(archive));
    ASSERT_EQ(check.exitCode, 0) << check.err;
    for (const char* name :
         {"'mimetype'", "'META-INF/container.xml'", "'OEBPS/toc.ncx'", "'OEBPS/css/main.css'",
          "'OEBPS/0.html'", "'OEBPS/1.html'", "我的书", "作者甲"}) {
        EXPECT_NE(check.out.find(name), std::string::npos) << name << "\n" << check.out;
    }
}

// The title and author follow the listed book: each book listed brings its
// own (its front matter, in its own encoding, else its file name), so what
// was typed for one book is never written into the next; what was typed
// while no book was listed, or for the book listed now, stays.
TEST_F(Convert, TitleAndAuthorFollowTheListedBook) {
    const std::string a = "a.txt", b = "《山中》作者：乙.txt";
    const std::string aText =
        test::Encode("书名：海边的灯塔 作者：林某\r\n\r\n" + kBook, "GB18030");
    auto fields = [this] {
        return form.titleEdit->text().toStdString() + "/" + form.authorEdit->text().toStdString();
    };
    auto convert = [this](const std::string& name) {
        SaveAs(scratch / name);
        RunConvert();
        return test::Run("unzip -p " + test::Quote(scratch / name) + " OEBPS/content.opf").out;
    };
    List(a, aText);
    EXPECT_EQ(fields(), "海边的灯塔/林某");
    QTest::keyClicks(form.titleEdit, "A");
    QTest::keyClicks(form.authorEdit, "B");
    EXPECT_NE(convert("a.epub").find("<dc:title>海边的灯塔A</dc:title>"), std::string::npos);

    List(b, kBook);
    EXPECT_EQ(fields(), "山中/乙");
    const std::string opf = convert("b.epub");
    EXPECT_EQ(dialogs.log.front(), "file:保存EPUB:山中.epub");
    EXPECT_NE(opf.find("<dc:title>山中</dc:title>"), std::string::npos) << opf;
    EXPECT_NE(opf.find("<dc:creator>乙</dc:creator>"), std::string::npos) << opf;

    // Typed with the list empty: kept for the book listed next, and then
    // that book's; typed for the listed book: kept while it stays listed.
    form.deleteButton->click();
    form.titleEdit->clear();
    QTest::keyClicks(form.titleEdit, "T");
    List(a, aText);
    EXPECT_EQ(fields(), "T/林某");
    QTest::keyClicks(form.authorEdit, "C");
    List(a, aText);
    EXPECT_EQ(fields(), "T/林某C");
    List(b, kBook);
    EXPECT_EQ(fields(), "山中/乙");
}

TEST_F(Convert, TooManyPartsWarnsFirstThenReportsFailure) {
    List("tiny.txt", "abc");
    form.partsSpin->SetValue(3);  // not smaller than the 3 bytes
    const std::string archive = scratch / "tiny.epub";
    SaveAs(archive);
    RunConvert();
    EXPECT_EQ(dialogs.log, (std::vector<std::string>{"file:保存EPUB:tiny.epub",
                                                     "warning:Quillmark:文件大小小于或等于分割数",
                                                     "result:Quillmark:灰常遗憾，未能转换成功\n"
                                                     "文件大小小于或等于分割数"}));
    EXPECT_FALSE(test::Exists(archive));
    EXPECT_FALSE(test::Exists(Staging()));
}

TEST_F(Convert, AnArchiveThatIsNoBookIsLeftAsItWas) {
    List("book.txt", kBook);
    const std::string report = scratch / "report.zip";
    ASSERT_EQ(test::Run("python3 -c 'import sys, zipfile\n"
                        "zipfile.ZipFile(sys.argv[1], \"w\").writestr(\"thesis.tex\", \"x\")' " +
                        test::Quote(report))
                  .exitCode,
              0);
    const std::string bytes = test::ReadFile(report);
    for (bool epub3 : {true, false}) {  // the classic kind, remembered, last
        (epub3 ? form.outputMenu->Epub3Action : form.outputMenu->ClassicAction)->trigger();
        SaveAs(report);
        RunConvert();
        // Either kind gives its reason under the fixed text.
        EXPECT_EQ(dialogs.log.back(), "result:Quillmark:灰常遗憾，未能转换成功\n\"" + report +
                                          "\" exists and is not an EPUB book; it was left "
                                          "unchanged.");
        EXPECT_TRUE(test::ReadFile(report) == bytes) << epub3;
    }
}

TEST_F(Convert, VanishedSourceFailsQuietlyAndUnwritableTreeShowsTheError) {
    List("gone.txt", kBook);
    std::remove((scratch / "gone.txt").c_str());
    SaveAs(scratch / "gone.epub");
    RunConvert();
    ASSERT_EQ(dialogs.log.size(), 2u);
    EXPECT_EQ(dialogs.log[1].rfind("result:Quillmark:灰常遗憾，未能转换成功\n", 0), 0u);
    EXPECT_NE(dialogs.log[1].find("gone.txt"), std::string::npos) << dialogs.log[1];
    EXPECT_FALSE(test::Exists(Staging()));

    // A plain file where the book's files were once laid out: nothing is
    // written there any more, and the book is made.
    List("book.txt", kBook);
    test::WriteFile(Staging(), "in the way");
    SaveAs(scratch / "book.epub");
    RunConvert();
    ASSERT_EQ(dialogs.log.size(), 2u);
    EXPECT_EQ(dialogs.log[1], "result:Quillmark:恭喜你，文件转换成功");
    EXPECT_EQ(test::ReadFile(Staging()), "in the way");
    EXPECT_TRUE(form.convertButton->isEnabled());

    // The result says where the book is, and opens its folder when asked.
    dialogs.openFolder = true;
    SaveAs(scratch / "again.epub");
    RunConvert();
    const std::vector<std::string> places = {
        "saved:已保存到：" + scratch / "book.epub", "saved:已保存到：" + scratch / "again.epub",
        "open:" + scratch.Path().substr(0, scratch.Path().size() - 1)};
    EXPECT_EQ(dialogs.places, places);
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

// The output menu: its choice reaches the conversion, a later window finds it
// again, and a cover that is no image stops Convert before the save dialog.
TEST_F(Convert, OutputMenuChoosesAnEpub3BookAndIsRemembered) {
    EXPECT_TRUE(form.outputMenu->ClassicAction->isChecked());
    EXPECT_FALSE(form.outputMenu->Options().epub3);
    form.outputMenu->Epub3Action->trigger();
    form.outputMenu->VerticalAction->trigger();
    for (QActionGroup* group : {form.outputMenu->ConvertGroup, form.outputMenu->UnwrapGroup}) {
        for (QAction* action : group->actions()) {
            if (action->data() == "s2t" || action->data() == "keep") action->trigger();
        }
    }
    form.outputMenu->CleanAction->trigger();
    List("book.txt", "第一章\r\n　　这是一个关于信的故事。😀\r\n");
    form.titleEdit->setText(QString::fromUtf8("海边的书信"));
    SaveAs(scratch / "book.epub");
    RunConvert();
    ASSERT_EQ(
        dialogs.log.back(),
        "result:Quillmark:恭喜你，文件转换成功\n共 1 章\nClean-up found no site boilerplate to "
        "remove.");
    const std::string opf =
        test::Run("unzip -p " + test::Quote(scratch / "book.epub") + " OEBPS/content.opf").out;
    EXPECT_NE(opf.find("<dc:title>海邊的書信</dc:title>"), std::string::npos) << opf;
    EXPECT_NE(opf.find("page-progression-direction=\"rtl\""), std::string::npos);

    // Per-book choices, shown under the controls while set.
    test::WriteFile(scratch / "cover.png", "no image");
    dialogs.answers.push_back(QString::fromStdString(scratch / "cover.png"));
    form.outputMenu->CoverAction->trigger();
    form.outputMenu->EncodingGroup->actions().at(2)->trigger();  // Big5
    dialogs.texts = {QString("^Scene \\d+$")};
    form.outputMenu->ChapterPatternAction->trigger();
    const std::string line = form.choiceLine->text().toStdString();
    for (const char* shown : {"标准 EPUB 3", "竖排", "Big5", "封面 cover.png", "^Scene"}) {
        EXPECT_NE(line.find(shown), std::string::npos) << shown << " in " << line;
    }

    // The next session, and the next book in this one: the preferences are
    // kept, the last book's choices are not.
    test::TRecordingDialogs otherDialogs;
    MainWindow again(otherDialogs, QUrl());
    List("other.txt", kBook);
    for (const TEpub3Options& next : {again.outputMenu->Options(), form.outputMenu->Options()}) {
        EXPECT_TRUE(next.epub3);
        EXPECT_TRUE(next.vertical);
        EXPECT_EQ(next.convert, "s2t");
        EXPECT_TRUE(next.noUnwrap && !next.unwrap && next.clean);
        EXPECT_EQ(next.coverPath, "");
        EXPECT_EQ(next.encoding, "");
        EXPECT_EQ(next.chapterPattern, "");
    }
    EXPECT_EQ(form.choiceLine->text().toStdString(),
              "输出：标准 EPUB 3 · 竖排 · 每行一段 · 去广告");
    EXPECT_EQ(again.choiceLine->text(), form.choiceLine->text());
    // What an older version stored for one book is dropped, not used.
    QSettings().setValue("epub3/cover", QString::fromStdString(scratch / "cover.png"));
    MainWindow third(otherDialogs, QUrl());
    EXPECT_EQ(third.outputMenu->Options().coverPath, "");
    EXPECT_FALSE(QSettings().contains("epub3/cover"));

    test::WriteFile(scratch / "fake.png", "no image");
    dialogs.answers.push_back(QString::fromStdString(scratch / "fake.png"));
    form.outputMenu->CoverAction->trigger();
    dialogs.log.clear();
    RunConvert();
    ASSERT_EQ(dialogs.log.size(), 1u);
    EXPECT_EQ(dialogs.log[0].rfind("error:Quillmark:The cover image", 0), 0u) << dialogs.log[0];
    form.outputMenu->NoCoverAction->trigger();
    form.outputMenu->ClassicAction->trigger();
    form.outputMenu->VerticalAction->trigger();
    form.outputMenu->ConvertGroup->actions().front()->trigger();
}

// Chapters from the window: the count in the result, the parts box set
// aside, a pattern typed in (a bad one refused), and the switch that turns
// detection off.
TEST_F(Convert, Epub3BookIsDividedAtItsHeadings) {
    form.outputMenu->Epub3Action->trigger();
    List("book.txt", "第一卷 上\r\n第一章 一\r\n一\r\nScene 9\r\n九\r\n第二章 二\r\n二\r\n");
    form.partsSpin->SetValue(5);
    SaveAs(scratch / "a.epub");
    RunConvert();
    EXPECT_EQ(dialogs.log.back(),
              "result:Quillmark:恭喜你，文件转换成功\n共 1 卷、2 章（已按章节分页，未用分段数 5）");

    dialogs.texts = {QString("^Scene \\d+$"), QString("(")};
    form.outputMenu->ChapterPatternAction->trigger();
    form.outputMenu->VolumePatternAction->trigger();
    EXPECT_EQ(dialogs.log.back().rfind("error:Quillmark:The volume pattern \"(\"", 0), 0u)
        << dialogs.log.back();
    EXPECT_EQ(form.outputMenu->Options().chapterPattern, "^Scene \\d+$");
    EXPECT_EQ(form.outputMenu->Options().volumePattern, "");
    SaveAs(scratch / "b.epub");
    RunConvert();
    EXPECT_EQ(dialogs.log.back(),
              "result:Quillmark:恭喜你，文件转换成功\n共 1 卷、1 章（已按章节分页，未用分段数 5）");

    form.outputMenu->ChaptersAction->trigger();
    EXPECT_FALSE(form.outputMenu->Options().chapters);
    EXPECT_FALSE(form.outputMenu->ChapterPatternAction->isEnabled());
    SaveAs(scratch / "c.epub");
    RunConvert();
    EXPECT_EQ(dialogs.log.back(), "result:Quillmark:恭喜你，文件转换成功");
    const std::string listing = test::Run("unzip -l " + test::Quote(scratch / "c.epub")).out;
    EXPECT_NE(listing.find("OEBPS/text/p00005.xhtml"), std::string::npos) << listing;

    form.outputMenu->ChaptersAction->trigger();
    dialogs.texts = {QString()};
    form.outputMenu->ChapterPatternAction->trigger();

    // An unmarked GBK book: the guessed encoding is named under the result,
    // not in a box of its own before it.
    List("gbk.txt", test::Encode("第一章 一\r\n这是一个关于信的故事。\r\n", "GB18030"));
    SaveAs(scratch / "d.epub");
    dialogs.log.clear();
    RunConvert();
    ASSERT_EQ(dialogs.log.size(), 2u);  // the save dialog and the result
    EXPECT_EQ(dialogs.log[1].rfind(
                  "result:Quillmark:恭喜你，文件转换成功\n共 1 章（已按章节分页，未用分段数 5）\n"
                  "The source's encoding is not marked; it was read as GB18030.",
                  0),
              0u)
        << dialogs.log[1];
    form.outputMenu->ClassicAction->trigger();
}

// A heading pattern that backtracks without end: the window handles its
// events while it runs, and a signal stops the run and ends the window's
// event loop without waiting for the pattern.
TEST_F(Convert, ARunawayPatternKeepsTheWindowAliveAndASignalEndsIt) {
    TQuitOnSignals quitOnSignals;
    form.outputMenu->Epub3Action->trigger();
    // The pattern belongs to the book: set once it is listed.
    List("book.txt", "第一章\n" + std::string(39, 'a') + "!\n");
    dialogs.texts = {QString("(a+)+$")};
    form.outputMenu->ChapterPatternAction->trigger();
    SaveAs(scratch / "a.epub");
    // Counts the window's turns while the run is on the headings: the button
    // off, the bar where decoding left it (half of 30 %).
    int turns = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (form.convertButton->isEnabled() || form.progressBar->value() != 15) return;
        if (++turns == 20) ::raise(SIGTERM);
    });
    ticker.start(0);
    QTimer::singleShot(0, &form, [&] { form.convertButton->click(); });
    // No signal sent by then is a failure, not a hang.
    QTimer::singleShot(60000, &form, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QCoreApplication::exec(), 128 + SIGTERM);
    ticker.stop();
    EXPECT_GE(turns, 20);
    // The stopped run still shows its result while the window is there.
    ASSERT_TRUE(test::WaitUntil([this] { return !form.Converting(); }));
    EXPECT_EQ(dialogs.log.back(),
              std::string("result:Quillmark:灰常遗憾，未能转换成功\n") + kRunInterruptedText);
    EXPECT_FALSE(test::Exists(scratch / "a.epub"));

    dialogs.texts = {QString()};
    form.outputMenu->ChapterPatternAction->trigger();
    form.outputMenu->ClassicAction->trigger();
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

// Closing the window while a run goes on stops the run and waits for its
// thread: no book, no file in the temporary directory and no box are left
// behind.
TEST_F(Convert, ClosingTheWindowStopsTheRunAndWaitsForIt) {
    std::string book;
    while (book.size() < 8'000'000) book += kBook;
    List("long.txt", book);
    form.partsSpin->SetValue(1024);
    SaveAs(scratch / "long.epub");
    bool closed = false;
    QObject::connect(form.progressBar, &QProgressBar::valueChanged, &form, [&](int value) {
        if (value > 0 && !closed) closed = form.close();
    });
    form.show();
    form.convertButton->click();
    ASSERT_TRUE(test::WaitUntil([&] { return closed; }));
    EXPECT_FALSE(form.Converting());
    EXPECT_TRUE(form.convertButton->isEnabled());
    EXPECT_FALSE(test::Exists(scratch / "long.epub"));
    EXPECT_FALSE(test::Exists(Staging()));
    EXPECT_EQ(dialogs.log, std::vector<std::string>{"file:保存EPUB:long.epub"});
}

// Cancel (Esc, or the menu item) while a book is replaced: the old book
// stays as it was, no work file remains, and the window is ready again.
TEST_F(Convert, CancelLeavesTheReplacedBookAsItWasAndNoWorkFile) {
    List("short.txt", kBook);
    SaveAs(scratch / "long.epub");
    RunConvert();
    const std::string before = test::ReadFile(scratch / "long.epub");
    ASSERT_FALSE(before.empty());
    EXPECT_FALSE(form.cancelAction->isEnabled());

    std::string book;
    while (book.size() < 8'000'000) book += kBook;
    List("long.txt", book);
    form.partsSpin->SetValue(1024);
    SaveAs(scratch / "long.epub");
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    bool pressed = false;
    QObject::connect(form.progressBar, &QProgressBar::valueChanged, &form, [&](int value) {
        if (value == 0 || pressed) return;
        pressed = true;
        EXPECT_TRUE(form.cancelAction->isEnabled());
        QTest::keyClick(&form, Qt::Key_Escape);
    });
    RunConvert();
    EXPECT_TRUE(pressed);
    EXPECT_FALSE(form.cancelAction->isEnabled());
    EXPECT_TRUE(form.convertButton->isEnabled());
    EXPECT_TRUE(test::ReadFile(scratch / "long.epub") == before);
    const std::vector<std::string> left = test::DirectoryNames(scratch.Path());
    EXPECT_EQ(left, (std::vector<std::string>{"long.epub", "long.txt", "short.txt"}));
    EXPECT_FALSE(test::Exists(Staging()));
    // Only the save dialog: a run the user stopped needs no box.
    EXPECT_EQ(dialogs.log, std::vector<std::string>{"file:保存EPUB:long.epub"});
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

// A folder that no one may write in, root included: under the fixed failure
// text the window gives the reason the command line prints in the same
// locale, for both kinds. A second run of this test speaks Chinese.
TEST_F(Convert, AFailureShowsTheReasonTheCommandLinePrints) {
    const bool chinese = std::getenv("QM_CHINESE_RUN") != nullptr;
    List("book.txt", kBook);
    const std::string target = "/proc/quillmark-test.epub";
    for (bool epub3 : {true, false}) {  // the classic kind, remembered, last
        SCOPED_TRACE(epub3);
        (epub3 ? form.outputMenu->Epub3Action : form.outputMenu->ClassicAction)->trigger();
        SaveAs(target);
        RunConvert();
        const test::CommandResult cli = test::Run(
            std::string(chinese ? "LC_ALL=zh_CN.UTF-8 " : "LC_ALL=C.UTF-8 ") +
            test::Quote(test::BinPath("quillmark-cli")) + (epub3 ? " --epub3" : " --classic") +
            " -o " + target + " " + test::Quote(scratch / "book.txt"));
        ASSERT_EQ(cli.exitCode, 1) << cli.err;
        EXPECT_NE(cli.err.find(chinese ? "无法创建" : "Cannot create"), std::string::npos)
            << cli.err;
        // The same reason, each under its own fixed line (the window's stays
        // Chinese; the command line's follows the locale).
        const std::string shown = dialogs.log.back() + "\n";
        EXPECT_EQ(shown.substr(0, shown.find('\n')),
                  "result:Quillmark:" + std::string(kConversionFailedText));
        EXPECT_EQ(shown.substr(shown.find('\n')), cli.err.substr(cli.err.find('\n')));
        EXPECT_TRUE(form.convertButton->isEnabled());
    }
    if (chinese) return;
    const test::CommandResult run =
        test::Run("QM_CHINESE_RUN=1 LC_ALL=zh_CN.UTF-8 " + test::Quote(test::BinPath("test_app")) +
                  " --gtest_filter=Convert.AFailureShowsTheReasonTheCommandLinePrints");
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
}

}  // namespace
}  // namespace qm
