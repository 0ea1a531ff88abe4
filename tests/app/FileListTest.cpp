// The file list: import by dialog and by drop, refusal of other extensions,
// replacement, deletion, and the size column.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <functional>

#include "EventWait.h"
#include "RecordingDialogs.h"
#include "app/MainWindow.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

class FileList : public ::testing::Test {
  protected:
    FileList() : form(dialogs, QUrl()) { QLocale::setDefault(QLocale::c()); }
    ~FileList() override { QLocale::setDefault(QLocale::system()); }

    std::string MakeFile(const std::string& name, size_t size) {
        const std::string path = scratch / name;
        test::WriteFile(path, std::string(size, 'a'));
        return path;
    }
    void Import(const std::string& path) {
        dialogs.answers.push_back(QString::fromStdString(path));
        form.importButton->click();
    }
    // Drags the files over `target` and drops them there, as a file manager does.
    void Drop(QWidget* target, const std::vector<std::string>& paths) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const std::string& path : paths)
            urls << QUrl::fromLocalFile(QString::fromStdString(path));
        mime.setUrls(urls);
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
    }
    int Rows() const { return form.fileList->rowCount(); }
    std::string Cell(int column) const {
        return form.fileList->item(0, column)->text().toStdString();
    }

    test::ScratchDir scratch;
    test::TRecordingDialogs dialogs;
    MainWindow form;
};

TEST_F(FileList, ImportByDialogFillsTheOneRow) {
    const std::string path = MakeFile("我的书.txt", 1536);
    Import(path);
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Cell(0), "*");
    EXPECT_EQ(Cell(1), "我的书");
    EXPECT_EQ(Cell(2), "1.54KB");
    EXPECT_EQ(Cell(3), path);
    EXPECT_EQ(form.ListedFileSize(), 1536);
    ASSERT_EQ(dialogs.log.size(), 1u);
    EXPECT_EQ(dialogs.log[0].rfind("file:导入TXT文件:", 0), 0u) << dialogs.log[0];
    EXPECT_EQ(form.fileList->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_FALSE(form.fileList->item(0, 1)->flags() & Qt::ItemIsEditable);
}

TEST_F(FileList, CancelledOrEmptyImportChangesNothing) {
    Import(MakeFile("a.txt", 10));
    dialogs.answers.push_back(std::nullopt);
    form.importButton->click();
    dialogs.answers.push_back(QString());
    form.importButton->click();
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Cell(1), "a");
    EXPECT_TRUE(dialogs.log.size() == 3u);
}

TEST_F(FileList, SecondImportReplacesAndOtherExtensionsAreRefused) {
    Import(MakeFile("first.txt", 125));
    Import(MakeFile("a.b.txt", 0));
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Cell(1), "a.b");
    EXPECT_EQ(Cell(2), "0.00KB");
    EXPECT_EQ(form.ListedFileSize(), 0);

    // Byte-wise and case-sensitive: all of these leave the row and the size.
    Import(MakeFile("BOOK.TXT", 7));
    Import(MakeFile("book.Txt", 7));
    Import(MakeFile("book.txt.bak", 7));
    Drop(&form, {MakeFile("DROP.TXT", 7)});
    EXPECT_TRUE(test::WaitUntil([this] {
        return std::count_if(dialogs.log.begin(), dialogs.log.end(), [](const std::string& line) {
                   return line.rfind("warning:", 0) == 0;
               }) == 4;
    }));
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Cell(1), "a.b");
    EXPECT_EQ(form.ListedFileSize(), 0);

    // A dot in a directory name is no extension; a file named ".txt" has an
    // empty name.
    test::MakeDirs(scratch / "dir.v2");
    Import(MakeFile("dir.v2/.txt", 125));
    EXPECT_EQ(Cell(1), "");
    EXPECT_EQ(Cell(2), "0.13KB");
}

TEST_F(FileList, DropListsOnlyTheFirstFileAndNeverTypesIntoTheEditBoxes) {
    const std::string first = MakeFile("one.txt", 125);
    Drop(form.titleEdit, {first, MakeFile("two.txt", 1), MakeFile("three.txt", 2)});
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Cell(1), "one");
    EXPECT_EQ(Cell(3), first);
    EXPECT_EQ(form.ListedFileSize(), 125);
    EXPECT_EQ(form.titleEdit->text(), "one");  // the book's own, not the dropped path

    // The list itself and the buttons take drops as well.
    Drop(form.fileList->viewport(), {MakeFile("four.txt", 3)});
    EXPECT_EQ(Cell(1), "four");
    Drop(form.convertButton, {MakeFile("five.txt", 4)});
    EXPECT_EQ(Cell(1), "five");
    EXPECT_TRUE(dialogs.log.empty());
}

TEST_F(FileList, DeleteEmptiesTheListAndNextImportMeasuresAnew) {
    form.deleteButton->click();  // nothing to delete
    EXPECT_EQ(Rows(), 0);
    Import(MakeFile("a.txt", 1234567));
    EXPECT_EQ(Cell(2), "1234.57KB");
    form.deleteButton->click();
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(form.ListedFileSize(), 1234567);  // Delete doesn't reset the size
    form.deleteButton->click();
    EXPECT_EQ(Rows(), 0);
    Import(MakeFile("b.txt", 125));
    EXPECT_EQ(form.ListedFileSize(), 125);
    EXPECT_TRUE(dialogs.log.size() == 2u);
}

// Whichever way a file comes in (导入, a drop, "Open with"), one the window
// cannot take is refused with the reason, and the listed book stays.
TEST_F(FileList, FileThatCannotBeTakenIsRefusedWithTheReasonWhicheverWayItComes) {
    const std::string book = MakeFile("书.txt", 1536);
    form.OpenFiles({QString::fromStdString(book)});
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Cell(1), "书");
    EXPECT_EQ(Cell(3), book);
    EXPECT_TRUE(dialogs.log.empty());

    test::MakeDirs(scratch / "folder.txt");
    // Opening a named pipe would wait for a writer and hang the window.
    const std::string pipe = scratch / "pipe.txt";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const struct {
        std::string path, why;
    } refused[] = {{scratch / "missing.txt", "找不到文件"},
                   {scratch / "folder.txt", "文件夹"},
                   {MakeFile("notes.md", 10), ".txt"},
                   {MakeFile("BOOK.TXT", 7), ".txt"},
                   {pipe, "命名管道"}};
    const std::function<void(const std::string&)> ways[] = {
        [&](const std::string& path) { form.OpenFiles({QString::fromStdString(path)}); },
        [&](const std::string& path) { Import(path); },
        [&](const std::string& path) { Drop(form.fileList->viewport(), {path}); }};
    for (const auto& way : ways) {
        for (const auto& c : refused) {
            dialogs.log.clear();
            way(c.path);
            // A drop's refusal is shown once the drop is over.
            ASSERT_TRUE(test::WaitUntil([&] { return !dialogs.log.empty(); })) << c.path;
            const std::string& box = dialogs.log.back();
            EXPECT_EQ(box.rfind("warning:Quillmark:", 0), 0u) << box;
            EXPECT_NE(box.find(c.why), std::string::npos) << box;
            EXPECT_NE(box.find(c.path), std::string::npos) << box;
            EXPECT_EQ(Cell(3), book);
            EXPECT_EQ(form.ListedFileSize(), 1536);
        }
    }

    // Several files: the first is listed, and the user learns the rest were not.
    dialogs.log.clear();
    const std::string other = MakeFile("other.txt", 10);
    form.OpenFiles({QString::fromStdString(other), QString::fromStdString(book)});
    EXPECT_EQ(Cell(3), other);
    ASSERT_EQ(dialogs.log.size(), 1u);
    EXPECT_NE(dialogs.log[0].find("quillmark-cli"), std::string::npos);
}

TEST_F(FileList, SizeUsesTheLocaleDecimalSeparator) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    Import(MakeFile("a.txt", 125));
    EXPECT_EQ(Cell(2), "0,13KB");
}

}  // namespace
}  // namespace qm
