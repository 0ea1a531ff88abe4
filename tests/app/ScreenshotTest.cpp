// The window as the user sees it: layout, captions that fit their controls,
// Chinese glyphs available, and a picture of it in build/screenshots.
#include <gtest/gtest.h>

#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTest>

#include "EventWait.h"
#include "RecordingDialogs.h"
#include "app/MainWindow.h"
#include "app/OutputMenu.h"
#include "app/Placement.h"
#include "app/SpinEdit.h"
#include "app/WebStrip.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

// The text's width in the widget's own font fits into the room it has.
bool Fits(const QWidget& widget, const QString& text, int margin) {
    const QFontMetrics metrics(widget.font());
    return metrics.horizontalAdvance(text) + margin <= widget.width();
}

TEST(Screenshot, WindowLayoutCaptionsAndPicture) {
    test::ScratchDir scratch{test::TPictured{}};
    const std::string book = scratch / "红楼梦（上卷）.txt";
    test::WriteFile(book, std::string(123456, 'a'));
    test::TRecordingDialogs dialogs;
    dialogs.answers.push_back(QString::fromStdString(book));
    MainWindow form(dialogs, QUrl());
    form.importButton->click();
    form.titleEdit->setText(QString::fromUtf8("红楼梦"));
    form.authorEdit->setText(QString::fromUtf8("曹雪芹"));
    form.partsSpin->SetValue(12);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    EXPECT_EQ(form.windowTitle(), "Quillmark V1.0 ");
    // The classic client area keeps its size; the menu bar sits above it.
    EXPECT_EQ(form.clientArea->size(), QSize(423, 117));
    EXPECT_EQ(form.clientArea->geometry().top(), form.menuBar->geometry().bottom() + 1);
    // Under it, the line that tells what Convert makes.
    EXPECT_EQ(form.choiceLine->geometry().top(), form.clientArea->geometry().bottom() + 1);
    EXPECT_EQ(form.choiceLine->text().toStdString(), "输出：经典版式");
    EXPECT_TRUE(Fits(*form.choiceLine, form.choiceLine->text(), 16));
    EXPECT_EQ(form.size(), QSize(423, 117 + form.menuBar->height() + form.choiceLine->height()));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    const std::vector<std::pair<QWidget*, QRect>> layout = {
        {form.titleEdit, {43, 8, 124, 21}},     {form.authorEdit, {208, 8, 85, 21}},
        {form.partsSpin, {360, 8, 55, 22}},     {form.fileList, {8, 35, 407, 45}},
        {form.webStrip, {8, -91, 261, 15}},     {form.importButton, {272, 85, 47, 26}},
        {form.deleteButton, {320, 85, 47, 26}}, {form.convertButton, {368, 85, 47, 26}},
        {form.titleLabel, {8, 11, 36, 13}},     {form.authorLabel, {173, 11, 36, 13}},
        {form.partsLabel, {301, 11, 60, 13}}};
    for (const auto& [widget, rect] : layout) EXPECT_EQ(widget->geometry(), rect);

    // Tab order: the tab stops met along the focus chain, from Convert on.
    const std::vector<QWidget*> stops = {form.convertButton, form.titleEdit,    form.authorEdit,
                                         form.deleteButton,  form.importButton, form.fileList,
                                         form.webStrip,      form.partsSpin};
    std::vector<QWidget*> met;
    QWidget* at = form.convertButton;
    do {
        for (QWidget* stop : stops) {
            if ((at == stop || stop->isAncestorOf(at)) && (met.empty() || met.back() != stop)) {
                met.push_back(stop);
            }
        }
        at = at->nextInFocusChain();
    } while (at != form.convertButton);
    EXPECT_EQ(met, stops);

    // Chinese captions need a font that has the glyphs, or they show as boxes.
    EXPECT_FALSE(QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty());
    for (QLabel* label : {form.titleLabel, form.authorLabel, form.partsLabel}) {
        EXPECT_TRUE(Fits(*label, label->text(), 0)) << label->text().toStdString();
    }
    for (QPushButton* button : {form.convertButton, form.importButton, form.deleteButton}) {
        EXPECT_TRUE(Fits(*button, button->text(), 8)) << button->text().toStdString();
    }
    EXPECT_TRUE(form.convertButton->font().bold());
    EXPECT_EQ(form.convertButton->palette().color(QPalette::ButtonText), QColor(Qt::red));
    EXPECT_TRUE(Fits(*form.partsSpin, QStringLiteral("1024"), 20));

    // One header and one 20-pixel row fit into the list's 45 pixels.
    QTableWidget& list = *form.fileList;
    EXPECT_EQ(list.rowHeight(0), 20);
    EXPECT_LE(list.horizontalHeader()->height() + list.rowHeight(0) + 2 * list.frameWidth(), 45);
    const int widths[] = {20, 93, 64, 226};
    for (int column = 0; column < 4; ++column) EXPECT_EQ(list.columnWidth(column), widths[column]);
    EXPECT_TRUE(Fits(*form.fileList, QString(), 20 + 93 + 64 + 226));

    // Centred and raised by 150 pixels, by the outer frame.
    QTest::qWait(50);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect frame = form.frameGeometry();
    const TFormPosition place =
        FormPosition(screen.width(), screen.height(), frame.width(), frame.height());
    EXPECT_EQ(frame.topLeft(), screen.topLeft() + QPoint(place.left, place.top));

    const QString dir = QStringLiteral(QM_BIN_DIR "/../screenshots");
    QDir().mkpath(dir);
    const QImage picture = form.grab().toImage();
    EXPECT_EQ(picture.size(), form.size() * form.devicePixelRatio());
    EXPECT_TRUE(picture.save(dir + QStringLiteral("/main-window.png")));
    // The output menu, opened, with its EPUB 3 options.
    form.outputMenu->Epub3Action->trigger();
    QMenu* menu = form.menuBar->actions().front()->menu();
    menu->popup(form.mapToGlobal(form.menuBar->geometry().bottomLeft()));
    QTest::qWait(50);
    EXPECT_TRUE(menu->grab().toImage().save(dir + QStringLiteral("/main-window-output-menu.png")));
    for (QAction* item : menu->actions()) {
        if (!item->menu()) continue;
        item->menu()->popup(menu->geometry().topRight());
        QTest::qWait(50);
        EXPECT_TRUE(
            item->menu()->grab().toImage().save(dir + QStringLiteral("/epub3-options.png")));
        item->menu()->hide();
    }
    menu->hide();
    form.outputMenu->ClassicAction->trigger();

    // During a run the progress bar stands where the strip would be.
    dialogs.answers.push_back(QString::fromStdString(scratch / "红楼梦.epub"));
    dialogs.onResult = [&] {
        EXPECT_EQ(form.progressBar->geometry(), QRect(8, 91, 261, 15));
        EXPECT_TRUE(form.progressBar->isVisible());
        EXPECT_TRUE(
            form.grab().toImage().save(dir + QStringLiteral("/main-window-converting.png")));
    };
    form.convertButton->click();
    ASSERT_TRUE(test::WaitUntil([&] { return !form.Converting(); }));
    EXPECT_EQ(dialogs.log.back(), "result:Quillmark:恭喜你，文件转换成功");

    // A failure, and its reason under the fixed text, as the box shows it.
    dialogs.answers.push_back(QStringLiteral("/proc/红楼梦.epub"));
    dialogs.onResult = [&] {
        const QString text = QString::fromStdString(dialogs.log.back()).section(':', 2);
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quillmark"), text, QMessageBox::Ok,
                        &form);
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        EXPECT_TRUE(box.grab().toImage().save(dir + QStringLiteral("/failure-box.png")));
    };
    form.convertButton->click();
    ASSERT_TRUE(test::WaitUntil([&] { return !form.Converting(); }));
    EXPECT_EQ(dialogs.log.back().rfind("result:Quillmark:灰常遗憾，未能转换成功\n", 0), 0u);
}

TEST(Placement, FollowsAPrimaryScreenAwayFromTheDesktopsOrigin) {
    // A primary screen right of another starts away from the origin. The
    // offscreen platform takes its screens from a file given at start-up, so
    // the window is placed in a run of its own, on a screen at 300, 100.
    if (qEnvironmentVariableIsSet("QM_PLACEMENT_RUN")) {
        test::TRecordingDialogs dialogs;
        MainWindow form(dialogs, QUrl());
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        QTest::qWait(50);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        ASSERT_EQ(screen, QRect(300, 100, 1024, 768));
        const QRect frame = form.frameGeometry();
        const TFormPosition place = FormPosition(1024, 768, frame.width(), frame.height());
        EXPECT_EQ(frame.topLeft(), QPoint(300 + place.left, 100 + place.top));
        return;
    }
    test::ScratchDir scratch;
    const std::string screens = scratch / "screens.json";
    test::WriteFile(screens, R"({"screens": [{"name": "right", "x": 300, "y": 100, )"
                             R"("width": 1024, "height": 768, "logicalDpi": 96}]})");
    const test::CommandResult run = test::Run(
        "QM_PLACEMENT_RUN=1 QT_QPA_PLATFORM=" + test::Quote("offscreen:configfile=" + screens) +
        " " + test::Quote(test::BinPath("test_app")) +
        " --gtest_filter=Placement.FollowsAPrimaryScreenAwayFromTheDesktopsOrigin");
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
}

}  // namespace
}  // namespace qm
