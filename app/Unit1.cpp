#include "app/Unit1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
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

#include "app/ConversionJob.h"
#include "app/Dialogs.h"
#include "app/OutputMenu.h"
#include "app/Placement.h"
#include "app/QuitOnSignals.h"
#include "app/SizeText.h"
#include "app/SpinEdit.h"
#include "app/WebStrip.h"
#include "conversion/ConversionRun.h"
#include "conversion/FileNames.h"
#include "conversion/PrepareConversion.h"
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

TForm1::TForm1(TDialogs& dialogs, const QUrl& pageAddress, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      dialogs_(dialogs) {
    CreateControls();
    SetTabOrder();
    FormCreate(pageAddress);
}

TForm1::~TForm1() {
    // Before any control goes: the run's boxes are shown through them.
    job_.reset();
    qApp->removeEventFilter(this);
}

void TForm1::CreateControls() {
    setWindowTitle(QStringLiteral("Quillmark V1.0 "));
    QFont formFont(QStringLiteral("Sans Serif"));
    formFont.setStyleHint(QFont::SansSerif);
    formFont.setPointSize(8);
    setFont(formFont);

    // The classic controls keep a client area of their own; the menu bar
    // sits above it, outside, as a form's menu does.
    ClientArea = new QWidget(this);
    ClientArea->setFixedSize(kClientWidth, kClientHeight);
    QWidget* client = ClientArea;
    MainMenu1 = new QMenuBar(this);
    OutputMenu = new TOutputMenu(*MainMenu1, dialogs_, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(MainMenu1);
    layout->addWidget(ClientArea);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Button1 = MakeButton(client, "转换", 368);
    QFont boldFont = formFont;
    boldFont.setBold(true);
    Button1->setFont(boldFont);
    QPalette red = Button1->palette();
    red.setColor(QPalette::Active, QPalette::ButtonText, Qt::red);
    red.setColor(QPalette::Inactive, QPalette::ButtonText, Qt::red);
    Button1->setPalette(red);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    m_title = new QLineEdit(client);
    m_title->setGeometry(43, 8, 124, 21);
    m_zz = new QLineEdit(client);
    m_zz->setGeometry(208, 8, 85, 21);

    SaveDialog1 = new QFileDialog(this, QString::fromUtf8("保存EPUB"));
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1->setFileMode(QFileDialog::AnyFile);
    SaveDialog1->setNameFilters(
        {QStringLiteral("*.epub (*.epub)"), QStringLiteral("*.zip (*.zip)")});
    SaveDialog1->setOption(QFileDialog::HideNameFilterDetails);
    SaveDialog1->setDefaultSuffix(QStringLiteral("epub"));

    Label1 = MakeLabel(client, "书名：", 8, 11, 36, 13);
    Label2 = MakeLabel(client, "作者：", 173, 11, 36, 13);
    m_del = MakeButton(client, "删除", 320);
    connect(m_del, &QPushButton::clicked, this, [this] { m_delClick(); });
    Button6 = MakeButton(client, "导入", 272);
    connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });

    m_list = new QTableWidget(0, 4, client);
    m_list->setGeometry(8, 35, 407, 45);
    m_list->setHorizontalHeaderLabels({QStringLiteral("*"), QString::fromUtf8("文件名"),
                                       QString::fromUtf8("大小"), QString::fromUtf8("文件路径")});
    m_list->horizontalHeader()->setHighlightSections(false);
    m_list->horizontalHeader()->setMinimumSectionSize(0);
    const int widths[] = {20, 93, 64, 226};
    for (int column = 0; column < 4; ++column) m_list->setColumnWidth(column, widths[column]);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setMinimumSectionSize(20);
    m_list->verticalHeader()->setDefaultSectionSize(20);
    m_list->setShowGrid(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSortingEnabled(false);
    m_list->setWordWrap(false);
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The selection keeps its colour when the list loses the focus.
    QPalette listPalette = m_list->palette();
    listPalette.setColor(QPalette::Inactive, QPalette::Highlight,
                         listPalette.color(QPalette::Active, QPalette::Highlight));
    listPalette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                         listPalette.color(QPalette::Active, QPalette::HighlightedText));
    m_list->setPalette(listPalette);

    WebBrowser1 = new TWebStrip(client);
    WebBrowser1->setGeometry(8, kStripHiddenTop, 261, 15);
    connect(WebBrowser1, &TWebStrip::DocumentComplete, this,
            [this] { WebBrowser1DocumentComplete(); });

    ProgressBar1 = new QProgressBar(client);
    ProgressBar1->setGeometry(8, kStripShownTop, 261, 15);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->hide();

    OpenDialog1 = new QFileDialog(this, QString::fromUtf8("导入TXT文件"));
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    // One entry shown as "*.txt" that matches "*.txt*".
    OpenDialog1->setNameFilter(QStringLiteral("*.txt (*.txt*)"));
    OpenDialog1->setOption(QFileDialog::HideNameFilterDetails);

    SpinEdit2 = new TSpinEdit(client);
    SpinEdit2->setGeometry(360, 8, 55, 22);
    SpinEdit2->SetMinValue(1);
    SpinEdit2->SetMaxValue(1024);
    SpinEdit2->SetValue(1);

    Label3 = MakeLabel(client, "切割份数：", 301, 11, 60, 13);
}

void TForm1::SetTabOrder() {
    QWidget* order[] = {Button1, m_title, m_zz, m_del, Button6, m_list, WebBrowser1, SpinEdit2};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
    Button1->setFocus();
}

void TForm1::FormCreate(const QUrl& pageAddress) {
    PlaceOnScreen();
    if (pageAddress.isValid() && !pageAddress.isEmpty()) WebBrowser1->Navigate(pageAddress);
    // Made now, so the first conversion finds it; a failure here shows up as
    // that conversion's error instead.
    try {
        TempDirPath();
    } catch (const std::exception&) {
    }
    setAcceptDrops(true);
    qApp->installEventFilter(this);
}

void TForm1::PlaceOnScreen() {
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

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (placedAfterShow_) return;
    placedAfterShow_ = true;
    // The frame's size is known only once the window system has framed the
    // window; place it again with the outer size then.
    QTimer::singleShot(0, this, [this] { PlaceOnScreen(); });
}

void TForm1::closeEvent(QCloseEvent* event) {
    // A run still going is stopped; the window goes once its thread has.
    if (converting_) {
        job_->CancelAndJoin();
        SetBusy(false);
    }
    QWidget::closeEvent(event);
}

void TForm1::WebBrowser1DocumentComplete() {
    if (WebBrowser1->ReadyState() == TWebStrip::READYSTATE_COMPLETE) {
        WebBrowser1->move(WebBrowser1->x(), kStripShownTop);
    }
}

double TForm1::GetFileSizeKB(const QString& path) {
    // A named pipe counts as a file that cannot be opened.
    const TSourceProbe probe = ProbeSource(NativePath(path));
    if (probe.state != TSourceState::Readable) return 0;
    m_filesize = RecordedFileSize(probe.size);
    return static_cast<double>(probe.size) / 1000.0;
}

void TForm1::AddFileToList(const QString& path) {
    const std::string native = NativePath(path);
    if (ExtractFileExt(native) != ".txt") return;
    const QString name = QFile::decodeName(QByteArray::fromStdString(ExtractBaseName(native)));
    if (m_list->rowCount() > 0) m_list->removeRow(0);
    m_list->insertRow(0);
    m_list->setItem(0, colCaption, MakeItem(QStringLiteral("*")));
    m_list->setItem(0, colName, MakeItem(name));
    const double kiloBytes = GetFileSizeKB(path);
    const std::string separator = QLocale().decimalPoint().toStdString();
    m_list->setItem(0, colSize,
                    MakeItem(QString::fromStdString(FormatSizeText(kiloBytes, separator))));
    m_list->setItem(0, colPath, MakeItem(path));
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
            return QString::fromUtf8("无法读取“%1”：%2")
                .arg(path, QString::fromStdString(probe.error));
        case TSourceState::Readable:
            break;
    }
    return QString();
}

}  // namespace

void TForm1::OpenFiles(const QStringList& paths) {
    if (paths.isEmpty()) return;
    const QString refusal = RefusalOf(paths.front());
    if (refusal.isEmpty()) {
        AddFileToList(paths.front());
    } else {
        dialogs_.Warning(QString::fromUtf8(kApplicationTitle), refusal);
    }
    if (paths.size() > 1) {
        dialogs_.Warning(QString::fromUtf8(kApplicationTitle),
                         QString::fromUtf8("窗口一次转换一本书，只导入了第一个文件；"
                                           "多本书请用 quillmark-cli 一次转换。"));
    }
}

void TForm1::Button6Click() {
    QString fileName;
    if (dialogs_.RunFileDialog(*OpenDialog1, fileName) && !fileName.isEmpty()) {
        AddFileToList(fileName);
    }
}

void TForm1::m_delClick() {
    if (m_list->rowCount() == 1) m_list->removeRow(0);
}

bool TForm1::ApplicationEvents1Message(QObject* receiver, QEvent* event) {
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
    if (type == QEvent::Drop) AddFileToList(first);
    return true;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (ApplicationEvents1Message(watched, event)) return true;
    return QWidget::eventFilter(watched, event);
}

void TForm1::Button1Click() {
    if (m_list->rowCount() == 0 || converting_) return;
    TEpub3Options options = OutputMenu->Options();
    if (const std::string problem = CheckEpub3Options(options); options.epub3 && !problem.empty()) {
        dialogs_.Error(QString::fromUtf8(kApplicationTitle), QString::fromStdString(problem));
        return;
    }
    // The proposal stays in the folder the dialog shows, whatever the title;
    // the ending is given, as a title with a dot would seem to have one.
    SaveDialog1->selectFile(
        QString::fromStdString(BookFileStem(m_title->text().toStdString()) + ".epub"));
    QString archiveName;
    if (!dialogs_.RunFileDialog(*SaveDialog1, archiveName)) return;

    TConversionInput input;
    input.sourcePath = NativePath(m_list->item(0, colPath)->text());
    input.listedSize = m_filesize;
    input.title = m_title->text().toStdString();
    input.author = m_zz->text().toStdString();
    // Leaving the field brings the count into bounds; this covers a click
    // that took no focus.
    input.parts = SpinEdit2->CheckValue(SpinEdit2->Value());
    input.archiveName = NativePath(archiveName);
    input.options = options;
    TConversionRequest request;
    std::string reason;
    if (PrepareConversion(input, request, reason) != TSourceState::Readable) {
        // As a run that could not read its book would end.
        dialogs_.Result(QString::fromUtf8(kApplicationTitle),
                        QString::fromUtf8(kConversionFailedText));
        return;
    }

    std::string tempDirPath;
    try {
        tempDirPath = TempDirPath();
    } catch (const std::exception& error) {
        dialogs_.Error(QString::fromUtf8(kApplicationTitle), QString::fromStdString(error.what()));
        return;
    }
    StartRun(request, tempDirPath);
}

void TForm1::SetBusy(bool busy) {
    converting_ = busy;
    Button1->setEnabled(!busy);
    WebBrowser1->setVisible(!busy);
    if (busy) ProgressBar1->setValue(0);
    ProgressBar1->setVisible(busy);
}

void TForm1::StartRun(const TConversionRequest& request, const std::string& tempDirPath) {
    SetBusy(true);
    job_ = std::make_unique<TConversionJob>(request, tempDirPath, TQuitOnSignals::StopRequests());
    TConversionJob* job = job_.get();
    // Queued news of a run that the closing window stopped, or that a later
    // run replaced, is dropped.
    auto current = [this, run = QPointer<TConversionJob>(job)] {
        return converting_ && run && run == job_.get();
    };
    connect(
        job, &TConversionJob::Progressed, this,
        [this, current](int value) {
            if (current() && value > ProgressBar1->value()) ProgressBar1->setValue(value);
        },
        Qt::QueuedConnection);
    // Emitted on this thread while the run waits for the box to close.
    connect(
        job, &TConversionJob::WarningShown, this,
        [this](const QString& caption, const QString& text) { dialogs_.Warning(caption, text); });
    connect(job, &TConversionJob::ResultShown, this, [this](const QString& text) {
        dialogs_.Result(QString::fromUtf8(kApplicationTitle), text);
    });
    connect(
        job, &TConversionJob::Finished, this,
        [this, current] {
            if (current()) RunFinished();
        },
        Qt::QueuedConnection);
    job->Start();
}

void TForm1::RunFinished() {
    job_->CancelAndJoin();  // its thread is at its end
    const TConversionResult& result = job_->Result();
    if (result.resultText.empty()) {
        dialogs_.Error(QString::fromUtf8(kApplicationTitle), QString::fromStdString(result.reason));
    }
    SetBusy(false);
}

}  // namespace qm
