// The batch window driven as a user drives it: a folder dropped and a file
// picked, the output folder and kind chosen, each book's row followed to its
// end, epubcheck judging a book, and a cancel that leaves the books it
// would have replaced as they were.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <cstdio>

#include "EventWait.h"
#include "RecordingDialogs.h"
#include "app/BatchWindow.h"
#include "app/MainWindow.h"
#include "app/ReasonText.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

const std::string kBook = "第一章 开始\r\n这是一本书。\r\n第二章 继续\r\n又是一段文字。\r\n";

void DropOn(QWidget& target, const std::vector<std::string>& paths) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const std::string& path : paths) urls << QUrl::fromLocalFile(QString::fromStdString(path));
    mime.setUrls(urls);
    const QPoint at = target.rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &drop);
}

// The state shown for the row whose file ends with `name`.
std::string StateOf(const TBatchWindow& window, const std::string& name) {
    for (int row = 0; row < window.bookList->rowCount(); ++row) {
        const std::string file = window.bookList->item(row, 0)->text().toStdString();
        if (file.size() >= name.size() &&
            file.compare(file.size() - name.size(), name.size(), name) == 0) {
            return window.bookList->item(row, 1)->text().toStdString();
        }
    }
    return "(no row)";
}

class Batch : public ::testing::Test {
  protected:
    Batch() : form(dialogs, QUrl()) {
        form.batchAction->trigger();
        window = form.batchWindow;
    }
    void Run() {
        window->startButton->click();
        ASSERT_TRUE(test::WaitUntil([this] { return !window->Running(); }));
    }

    test::ScratchDir scratch{test::TPictured{}};
    test::TRecordingDialogs dialogs;
    MainWindow form;
    TBatchWindow* window = nullptr;
};

TEST_F(Batch, ConvertsAShelfAndShowsEachBooksEnd) {
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    test::MakeDirs(scratch / "书架/sub");
    test::WriteFile(scratch / "书架/甲.txt", kBook);
    test::WriteFile(scratch / "书架/sub/乙.txt", kBook);
    test::WriteFile(scratch / "书架/readme.md", "not a book");
    test::WriteFile(scratch / "丙.txt", kBook);
    test::MakeDirs(scratch / "电子书");
    DropOn(*window, {scratch / "书架"});
    dialogs.answers.push_back(QString::fromStdString(scratch / "丙.txt"));
    window->addFilesButton->click();
    EXPECT_EQ(window->bookList->rowCount(), 3);
    EXPECT_EQ(StateOf(*window, "甲.txt"), "等待");

    // Without an output folder nothing starts.
    Run();
    ASSERT_FALSE(dialogs.log.empty());
    EXPECT_NE(dialogs.log.back().find("输出文件夹"), std::string::npos) << dialogs.log.back();

    std::remove((scratch / "丙.txt").c_str());
    dialogs.answers.push_back(QString::fromStdString(scratch / "电子书"));
    window->outputButton->click();
    window->kindBox->setCurrentIndex(1);
    Run();
    EXPECT_EQ(StateOf(*window, "甲.txt"), "完成 → 甲.epub");
    EXPECT_EQ(StateOf(*window, "乙.txt"), "完成 → 乙.epub");
    const std::string gone = StateOf(*window, "丙.txt");
    EXPECT_EQ(gone.rfind("失败：", 0), 0u) << gone;
    EXPECT_NE(gone.find("丙.txt"), std::string::npos) << gone;
    EXPECT_EQ(window->summaryLabel->text().toStdString(), "完成 2 本，失败 1 本");
    EXPECT_EQ(test::DirectoryNames(scratch / "电子书"),
              (std::vector<std::string>{"乙.epub", "甲.epub"}));
    const QString dir = QStringLiteral(QM_BIN_DIR "/../screenshots");
    QDir().mkpath(dir);
    EXPECT_TRUE(window->grab().toImage().save(dir + QStringLiteral("/batch-window.png")));
    // Java reads file names by the locale, which may not be installed.
    const test::CommandResult check =
        test::Run("LC_ALL=C.UTF-8 java -jar /usr/share/java/epubcheck.jar " +
                  test::Quote(scratch / "电子书/甲.epub"));
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    EXPECT_NE(check.out.find("No errors or warnings"), std::string::npos) << check.out;
}

TEST_F(Batch, WhatCannotBeReadFailsAsOnTheCommandLine) {
    test::MakeDirs(scratch / "shelf");
    test::MakeDirs(scratch / "out");
    test::WriteFile(scratch / "shelf/good.txt", kBook);
    ASSERT_EQ(::symlink("gone.txt", (scratch / "shelf/broken.txt").c_str()), 0);
    DropOn(*window, {scratch / "shelf"});
    ASSERT_EQ(window->bookList->rowCount(), 2);
    window->outputEdit->setText(QString::fromStdString(scratch / "out"));
    Run();
    EXPECT_EQ(StateOf(*window, "good.txt"), "完成 → good.epub");
    // The reason in the locale's language, as the command line gives it.
    EXPECT_EQ(
        StateOf(*window, "broken.txt"),
        "失败：" + ReasonText("is a link to nothing; there is no book to convert").toStdString());
    EXPECT_EQ(window->summaryLabel->text().toStdString(), "完成 1 本，失败 1 本");
}

TEST_F(Batch, CancelStopsTheShelfAndLeavesReplacedBooksAsTheyWere) {
    test::MakeDirs(scratch / "shelf");
    test::MakeDirs(scratch / "out");
    std::string big;
    while (big.size() < 6'000'000) big += kBook;
    for (const char* name : {"a", "b", "c", "d"}) {
        test::WriteFile(scratch / ("shelf/" + std::string(name) + ".txt"), big);
    }
    // An earlier book of the first one's name, to be replaced.
    test::WriteFile(scratch / "small.txt", kBook);
    DropOn(*window, {scratch / "small.txt"});
    window->outputEdit->setText(QString::fromStdString(scratch / "out"));
    window->kindBox->setCurrentIndex(1);
    Run();
    ASSERT_EQ(std::rename((scratch / "out/small.epub").c_str(), (scratch / "out/a.epub").c_str()),
              0);
    const std::string before = test::ReadFile(scratch / "out/a.epub");

    window->clearButton->click();
    DropOn(*window, {scratch / "shelf"});
    ASSERT_EQ(window->bookList->rowCount(), 4);
    bool cancelled = false;
    QObject::connect(window, &TBatchWindow::BookProgressed, window, [&] {
        if (cancelled) return;
        cancelled = true;
        window->cancelButton->click();
    });
    Run();
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(test::ReadFile(scratch / "out/a.epub") == before);
    EXPECT_EQ(test::DirectoryNames(scratch / "out"), std::vector<std::string>{"a.epub"});
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
        const std::string state = StateOf(*window, name);
        EXPECT_TRUE(state.rfind("失败：", 0) == 0 || state == "未开始（已取消）") << state;
    }
    EXPECT_TRUE(window->startButton->isEnabled());
    EXPECT_FALSE(window->cancelButton->isEnabled());
}

}  // namespace
}  // namespace qm
