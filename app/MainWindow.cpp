#include "app/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>

#include "app/BatchWindow.h"
#include "app/BookFields.h"
#include "app/ConversionJob.h"
#include "app/Dialogs.h"
#include "app/OutputMenu.h"
#include "app/Placement.h"
#include "app/QuitOnSignals.h"
#include "app/ReasonText.h"
#include "app/SizeText.h"
#include "app/SpinEdit.h"
#include "app/WebStrip.h"
#include "conversion/run/ConversionRun.h"
#include "conversion/run/FileNames.h"
#include "conversion/run/PrepareConversion.h"
#include "platform/TempDir.h"

namespace qm {
namespace {

constexpr int kClientWidth = 423;
constexpr int kClientHeight = 117;
constexpr int kStripHiddenTop = -91;
constexpr int kStripShownTop = 91;

// The list's columns: caption, name, size, path.
enum ListColumn { colCaption = 0, colName = 1, colSize = 2, colPath = 3 };

QLabel* MakeLabel(QWidget* parent, const char* caption, int left, int top, int width, int height) {
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setGeometry(left, top, width, height);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const char* caption, int left) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setGeometry(left, 85, 47, 26);
    button->setAutoDefault(false);
    return button;
}

QTableWidgetItem* MakeItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

// Native bytes of a path, as the file system takes them.
std::string NativePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// The first local file a drag carries, if any.
QString FirstLocalFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls()) return QString();
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) return url.toLocalFile();
    }
    return QString();
}

}  // namespace

MainWindow::MainWindow(TDialogs& dialogs, const QUrl& pageAddress, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      dialogs_(dialogs) {
    CreateControls();
    SetTabOrder();
    StartUp(pageAddress);
}

MainWindow::~MainWindow() {
    // Before any control goes: the run's boxes are shown through them.
    job_.reset();
    qApp->removeEventFilter(this);
}

void MainWindow::CreateControls() {
    setWindowTitle(QStringLiteral("Quillmark V1.0 "));
    QFont formFont(QStringLiteral("Sans Serif"));
    formFont.setStyleHint(QFont::SansSerif);
    formFont.setPointSize(8);
    setFont(formFont);

    // The classic controls keep a client area of their own; the menu bar
    // sits above it, outside, as a form's menu does.
    clientArea = new QWidget(this);
    clientArea->setFixedSize(kClientWidth, kClientHeight);
    QWidget* client = clientArea;
    menuBar = new QMenuBar(this);
    outputMenu = new TOutputMenu(*menuBar, dialogs_, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menuBar);
    layout->addWidget(clientArea);
    choiceLine = new QLabel(this);
    choiceLine->setContentsMargins(8, 0, 8, 4);
    choiceLine->setFixedWidth(kClientWidth);
    choiceLine->setTextFormat(Qt::PlainText);
    layout->addWidget(choiceLine);
    connect(outputMenu, &TOutputMenu::ChoiceChanged, this,
            [this] { choiceLine->setText(outputMenu->Summary()); });
    choiceLine->setText(outputMenu->Summary());
    QMenu* runMenu = menuBar->addMenu(QString::fromUtf8("转换(&C)"));
    batchAction = runMenu->addAction(QString::fromUtf8("批量转换…"));
    connect(batchAction, &QAction::triggered, this, [this] { onBatch(); });
    runMenu->addSeparator();
    cancelAction = runMenu->addAction(QString::fromUtf8("取消转换"));
    cancelAction->setShortcut(QKeySequence(Qt::Key_Escape));
    cancelAction->setEnabled(false);
    addAction(cancelAction);  // Esc works wherever the focus is in the window
    connect(cancelAction, &QAction::triggered, this, [this] { onCancel(); });
    layout->setSizeConstraint(QLayout::SetFixedSize);

    convertButton = MakeButton(client, "转换", 368);
    QFont boldFont = formFont;
    boldFont.setBold(true);
    convertButton->setFont(boldFont);
    QPalette red = convertButton->palette();
    red.setColor(QPalette::Active, QPalette::ButtonText, Qt::red);
    red.setColor(QPalette::Inactive, QPalette::ButtonText, Qt::red);
    convertButton->setPalette(red);
    connect(convertButton, &QPushButton::clicked, this, [this] { onConvert(); });

    titleEdit = new QLineEdit(client);
    titleEdit->setGeometry(43, 8, 124, 21);
    authorEdit = new QLineEdit(client);
    authorEdit->setGeometry(208, 8, 85, 21);

    saveDialog = new QFileDialog(this, QString::fromUtf8("保存EPUB"));
    saveDialog->setAcceptMode(QFileDialog::AcceptSave);
    saveDialog->setFileMode(QFileDialog::AnyFile);
    saveDialog->setNameFilters(
        {QStringLiteral("*.epub (*.epub)"), QStringLiteral("*.zip (*.zip)")});
    saveDialog->setOption(QFileDialog::HideNameFilterDetails);
    saveDialog->setDefaultSuffix(QStringLiteral("epub"));

    titleLabel = MakeLabel(client, "书名：", 8, 11, 36, 13);
    authorLabel = MakeLabel(client, "作者：", 173, 11, 36, 13);
    deleteButton = MakeButton(client, "删除", 320);
    connect(deleteButton, &QPushButton::clicked, this, [this] { onDelete(); });
    importButton = MakeButton(client, "导入", 272);
    connect(importButton, &QPushButton::clicked, this, [this] { onImport(); });

    fileList = new QTableWidget(0, 4, client);
    fileList->setGeometry(8, 35, 407, 45);
    fileList->setHorizontalHeaderLabels({QStringLiteral("*"), QString::fromUtf8("文件名"),
                                         QString::fromUtf8("大小"), QString::fromUtf8("文件路径")});
    fileList->horizontalHeader()->setHighlightSections(false);
    fileList->horizontalHeader()->setMinimumSectionSize(0);
    const int widths[] = {20, 93, 64, 226};
    for (int column = 0; column < 4; ++column) fileList->setColumnWidth(column, widths[column]);
    fileList->verticalHeader()->hide();
    fileList->verticalHeader()->setMinimumSectionSize(20);
    fileList->verticalHeader()->setDefaultSectionSize(20);
    fileList->setShowGrid(true);
    fileList->setSelectionBehavior(QAbstractItemView::SelectRows);
    fileList->setSelectionMode(QAbstractItemView::SingleSelection);
    fileList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fileList->setSortingEnabled(false);
    fileList->setWordWrap(false);
    fileList->setTextElideMode(Qt::ElideRight);
    fileList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fileList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The selection keeps its colour when the list loses the focus.
    QPalette listPalette = fileList->palette();
    listPalette.setColor(QPalette::Inactive, QPalette::Highlight,
                         listPalette.color(QPalette::Active, QPalette::Highlight));
    listPalette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                         listPalette.color(QPalette::Active, QPalette::HighlightedText));
    fileList->setPalette(listPalette);

    bookFields_ = new TBookFields(
        *titleEdit, *authorEdit, [this] { return fileList->rowCount() > 0; }, this);

    webStrip = new TWebStrip(client);
    webStrip->setGeometry(8, kStripHiddenTop, 261, 15);
    connect(webStrip, &TWebStrip::DocumentComplete, this, [this] { onStripLoaded(); });

    progressBar = new QProgressBar(client);
    progressBar->setGeometry(8, kStripShownTop, 261, 15);
    progressBar->setRange(0, 100);
    progressBar->setTextVisible(false);
    progressBar->hide();

    openDialog = new QFileDialog(this, QString::fromUtf8("导入TXT文件"));
    openDialog->setAcceptMode(QFileDialog::AcceptOpen);
    openDialog->setFileMode(QFileDialog::ExistingFile);
    // One entry shown as "*.txt" that matches "*.txt*".
    openDialog->setNameFilter(QStringLiteral("*.txt (*.txt*)"));
    openDialog->setOption(QFileDialog::HideNameFilterDetails);

    partsSpin = new TSpinEdit(client);
    partsSpin->setGeometry(360, 8, 55, 22);
    partsSpin->SetMinValue(1);
    partsSpin->SetMaxValue(1024);
    partsSpin->SetValue(1);

    partsLabel = MakeLabel(client, "切割份数：", 301, 11, 60, 13);
}

void MainWindow::SetTabOrder() {
    QWidget* order[] = {convertButton, titleEdit, authorEdit, deleteButton,
                        importButton,  fileList,  webStrip,   partsSpin};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
    convertButton->setFocus();
}

void MainWindow::StartUp(const QUrl& pageAddress) {
    PlaceOnScreen();
    if (pageAddress.isValid() && !pageAddress.isEmpty()) webStrip->Navigate(pageAddress);
    setAcceptDrops(true);
    qApp->installEventFilter(this);
}

void MainWindow::PlaceOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect screenRect = screen->geometry();
    const QSize frame = frameGeometry().size();
    const TFormPosition position =
        FormPosition(screenRect.width(), screenRect.height(), frame.width(), frame.height());
    // On a desktop of several screens the primary one need not start at the
    // desktop's origin.
    move(screenRect.x() + position.left, screenRect.y() + position.top);
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (placedAfterShow_) return;
    placedAfterShow_ = true;
    // The frame's size is known only once the window system has framed the
    // window; place it again with the outer size then.
    QTimer::singleShot(0, this, [this] { PlaceOnScreen(); });
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A run still going is stopped; the window goes once its thread has.
    if (converting_) {
        job_->CancelAndJoin();
        SetBusy(false);
    }
    QWidget::closeEvent(event);
}

void MainWindow::onStripLoaded() {
    if (webStrip->ReadyState() == TWebStrip::READYSTATE_COMPLETE) {
        webStrip->move(webStrip->x(), kStripShownTop);
    }
}

double MainWindow::ListedSizeKB(const QString& path) {
    // A named pipe counts as a file that cannot be opened.
    const TSourceProbe probe = ProbeSource(NativePath(path));
    if (probe.state != TSourceState::Readable) return 0;
    listedFileSize_ = RecordedFileSize(probe.size);
    return static_cast<double>(probe.size) / 1000.0;
}

void MainWindow::AddFileToList(const QString& path) {
    const std::string native = NativePath(path);
    if (ExtractFileExt(native) != ".txt") return;
    const QString name = QFile::decodeName(QByteArray::fromStdString(ExtractBaseName(native)));
    if (fileList->rowCount() > 0) fileList->removeRow(0);
    fileList->insertRow(0);
    fileList->setItem(0, colCaption, MakeItem(QStringLiteral("*")));
    fileList->setItem(0, colName, MakeItem(name));
    const double kiloBytes = ListedSizeKB(path);
    const std::string separator = QLocale().decimalPoint().toStdString();
    fileList->setItem(0, colSize,
                      MakeItem(QString::fromStdString(FormatSizeText(kiloBytes, separator))));
    fileList->setItem(0, colPath, MakeItem(path));
}

namespace {

// Why the list cannot take the file at path; empty when it can.
QString RefusalOf(const QString& path) {
    const std::string native = NativePath(path);
    const QFileInfo info(path);
    if (!info.exists()) return QString::fromUtf8("找不到文件“%1”。").arg(path);
    if (info.isDir()) return QString::fromUtf8("“%1”是一个文件夹，不是文本文件。").arg(path);
    const TSourceProbe probe = ProbeSource(native);
    switch (probe.state) {
        case TSourceState::NotTxt:
            return QString::fromUtf8("只能导入以 .txt 结尾的文本文件，“%1”不是。").arg(path);
        case TSourceState::NamedPipe:
            return QString::fromUtf8("“%1”是一个命名管道，不是文件。").arg(path);
        case TSourceState::Unreadable:
            return QString::fromUtf8("无法读取“%1”：%2").arg(path, ReasonText(probe.error));
        case TSourceState::Readable:
            break;
    }
    return QString();
}

}  // namespace

void MainWindow::OpenFiles(const QStringList& paths) {
    if (paths.isEmpty()) return;
    ListOrRefuse(paths.front());
    if (paths.size() > 1) {
        dialogs_.Warning(QString::fromUtf8(kApplicationTitle),
                         QString::fromUtf8("窗口一次转换一本书，只导入了第一个文件；"
                                           "多本书请用 quillmark-cli 一次转换。"));
    }
}

void MainWindow::ListOrRefuse(const QString& path, bool fromDrop) {
    const QString refusal = RefusalOf(path);
    if (refusal.isEmpty()) {
        AddFileToList(path);
        outputMenu->ClearBookChoices();
        bookFields_->BookListed(NativePath(path));
    } else if (fromDrop) {
        QTimer::singleShot(0, this, [this, refusal] {
            dialogs_.Warning(QString::fromUtf8(kApplicationTitle), refusal);
        });
    } else {
        dialogs_.Warning(QString::fromUtf8(kApplicationTitle), refusal);
    }
}

void MainWindow::onImport() {
    QString fileName;
    if (dialogs_.RunFileDialog(*openDialog, fileName) && !fileName.isEmpty()) {
        ListOrRefuse(fileName);
    }
}

void MainWindow::onBatch() {
    if (!batchWindow) {
        // What every book of a batch shares: the parts and the preferences;
        // what the menu holds for the one listed book stays with it.
        auto common = [this] {
            TConversionInput input;
            input.parts = partsSpin->CheckValue(partsSpin->Value());
            input.options = outputMenu->Options();
            input.options.coverPath.clear();
            input.options.encoding.clear();
            input.options.language.clear();
            input.options.chapterPattern.clear();
            input.options.volumePattern.clear();
            return input;
        };
        batchWindow = new TBatchWindow(dialogs_, common, this);
        batchWindow->kindBox->setCurrentIndex(outputMenu->Options().epub3 ? 1 : 0);
    }
    batchWindow->show();
    batchWindow->raise();
    batchWindow->activateWindow();
}

void MainWindow::onCancel() {
    if (!converting_) return;
    job_->CancelAndJoin();
    SetBusy(false);
}

void MainWindow::onDelete() {
    if (fileList->rowCount() == 1) fileList->removeRow(0);
}

bool MainWindow::onApplicationEvent(QObject* receiver, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) {
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(receiver);
    if (!widget || widget->window() != this) return false;
    auto* drop = static_cast<QDropEvent*>(event);
    const QString first = FirstLocalFile(drop->mimeData());
    if (first.isEmpty()) return false;
    // Dropped files are the window's, not the text of an edit box under the
    // cursor, so the event stops here.
    drop->acceptProposedAction();
    if (type == QEvent::Drop) ListOrRefuse(first, true);
    return true;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (onApplicationEvent(watched, event)) return true;
    return QWidget::eventFilter(watched, event);
}

void MainWindow::onConvert() {
    if (fileList->rowCount() == 0 || converting_) return;
    TEpub3Options options = outputMenu->Options();
    if (const std::string problem = CheckEpub3Options(options); options.epub3 && !problem.empty()) {
        dialogs_.Error(QString::fromUtf8(kApplicationTitle), ReasonText(problem));
        return;
    }
    // The proposal stays in the folder the dialog shows, whatever the title;
    // the ending is given, as a title with a dot would seem to have one.
    saveDialog->selectFile(
        QString::fromStdString(BookFileStem(titleEdit->text().toStdString()) + ".epub"));
    QString archiveName;
    if (!dialogs_.RunFileDialog(*saveDialog, archiveName)) return;

    TConversionInput input;
    input.sourcePath = NativePath(fileList->item(0, colPath)->text());
    input.listedSize = listedFileSize_;
    input.title = titleEdit->text().toStdString();
    input.author = authorEdit->text().toStdString();
    // Leaving the field brings the count into bounds; this covers a click
    // that took no focus.
    input.parts = partsSpin->CheckValue(partsSpin->Value());
    input.archiveName = NativePath(archiveName);
    input.options = options;
    const TRunResult<TConversionRequest> request = PrepareConversion(input);
    if (!request) {
        // As a run that could not read its book would end: the fixed text,
        // and under it why, as the command line prints it.
        dialogs_.Result(QString::fromUtf8(kApplicationTitle),
                        ReasonText(FailedBoxText(request.Error().message)));
        return;
    }

    StartRun(*request);
}

void MainWindow::SetBusy(bool busy) {
    converting_ = busy;
    convertButton->setEnabled(!busy);
    cancelAction->setEnabled(busy);
    webStrip->setVisible(!busy);
    if (busy) progressBar->setValue(0);
    progressBar->setVisible(busy);
}

void MainWindow::StartRun(const TConversionRequest& request) {
    SetBusy(true);
    bookPath_ = QFile::decodeName(QByteArray::fromStdString(request.archiveName));
    job_ = std::make_unique<TConversionJob>(request, TQuitOnSignals::StopRequests());
    TConversionJob* job = job_.get();
    // Queued news of a run that the closing window stopped, or that a later
    // run replaced, is dropped.
    auto current = [this, run = QPointer<TConversionJob>(job)] {
        return converting_ && run && run == job_.get();
    };
    connect(
        job, &TConversionJob::Progressed, this,
        [this, current](int value) {
            if (current() && value > progressBar->value()) progressBar->setValue(value);
        },
        Qt::QueuedConnection);
    // Emitted on this thread while the run waits for the box to close.
    connect(
        job, &TConversionJob::WarningShown, this,
        [this](const QString& caption, const QString& text) { dialogs_.Warning(caption, text); });
    connect(job, &TConversionJob::ResultShown, this,
            [this](const QString& text, bool bookMade) { ShowResult(text, bookMade); });
    connect(
        job, &TConversionJob::Finished, this,
        [this, current] {
            if (current()) RunFinished();
        },
        Qt::QueuedConnection);
    job->Start();
}

void MainWindow::ShowResult(const QString& text, bool bookMade) {
    const QString caption = QString::fromUtf8(kApplicationTitle);
    if (!bookMade) {
        dialogs_.Result(caption, text);
        return;
    }
    const QFileInfo book(bookPath_);
    if (dialogs_.Saved(caption, text,
                       QString::fromUtf8("已保存到：%1").arg(book.absoluteFilePath()))) {
        dialogs_.OpenFolder(book.absolutePath());
    }
}

void MainWindow::RunFinished() {
    job_->CancelAndJoin();  // its thread is at its end
    const TConversionResult& result = job_->Result();
    if (!result && result.Error().kind == TRunError::Kind::NotStarted) {
        dialogs_.Error(QString::fromUtf8(kApplicationTitle), ReasonText(result.Error().message));
    }
    SetBusy(false);
}

}  // namespace qm
