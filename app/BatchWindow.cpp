#include "app/BatchWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <initializer_list>
#include <mutex>
#include <utility>

#include "app/Dialogs.h"
#include "app/ReasonText.h"
#include "conversion/run/BatchPlan.h"
#include "conversion/run/BatchRun.h"
#include "zip/RunControl.h"

namespace qm {
namespace {

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

std::string Native(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString Shown(const std::string& native) {
    return QFile::decodeName(QByteArray::fromStdString(native));
}

QTableWidgetItem* Cell(const QString& text, const QString& tip = QString()) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    item->setToolTip(tip.isEmpty() ? text : tip);
    return item;
}

QTableWidgetItem* FileCell(const std::string& path) {
    const QString shown = Shown(path);
    return Cell(QFileInfo(shown).fileName(), shown);
}

enum BookColumn { colFile = 0, colState = 1 };

}  // namespace

// The batch's side of the window: called on the batch's threads, it sends
// each change over as a queued signal, a book's progress only when its
// whole percent grows.
class TBatchWindow::TListener : public TBatchListener {
  public:
    TListener(TBatchWindow& window, size_t books) : window_(window), shown_(books, -1) {}

    void BookProgress(size_t index, TConversionPhase phase, int percent) override {
        const int clamped = percent < 0 ? 0 : percent > 100 ? 100 : percent;
        const int value = phase == TConversionPhase::Pages ? clamped / 2 : 50 + clamped / 2;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (index >= shown_.size() || value <= shown_[index]) return;
            shown_[index] = value;
        }
        emit window_.BookProgressed(static_cast<int>(index), value);
    }
    void BookDone(size_t index, const TBatchBookDone& done) override {
        emit window_.BookFinished(static_cast<int>(index), done.made, ReasonText(done.reason));
    }

  private:
    TBatchWindow& window_;
    std::mutex mutex_;
    std::vector<int> shown_;
};

TBatchWindow::TBatchWindow(TDialogs& dialogs, std::function<TConversionInput()> common,
                           QWidget* parent)
    : QWidget(parent, Qt::Window), dialogs_(dialogs), common_(std::move(common)) {
    CreateControls();
    // Queued: the batch's threads emit them.
    connect(this, &TBatchWindow::BookProgressed, this, &TBatchWindow::OnBookProgressed,
            Qt::QueuedConnection);
    connect(this, &TBatchWindow::BookFinished, this, &TBatchWindow::OnBookFinished,
            Qt::QueuedConnection);
    connect(this, &TBatchWindow::BatchFinished, this, &TBatchWindow::OnBatchFinished,
            Qt::QueuedConnection);
}

TBatchWindow::~TBatchWindow() {
    Join();
}

void TBatchWindow::CreateControls() {
    setWindowTitle(Text("批量转换"));
    setAcceptDrops(true);
    resize(640, 420);

    auto* hint = new QLabel(Text("把 .txt 文件或文件夹拖到这里，或者："), this);
    addFilesButton = new QPushButton(Text("添加文件…"), this);
    addFolderButton = new QPushButton(Text("添加文件夹…"), this);
    clearButton = new QPushButton(Text("清空列表"), this);
    auto* adds = new QHBoxLayout;
    adds->addWidget(hint, 1);
    for (QPushButton* button : {addFilesButton, addFolderButton, clearButton}) {
        adds->addWidget(button);
    }

    bookList = new QTableWidget(0, 2, this);
    bookList->setHorizontalHeaderLabels({Text("文件"), Text("状态")});
    // The file by its name (the path in its tip); the rest of the width for
    // the state, where a failure's reason needs the room.
    bookList->horizontalHeader()->setSectionResizeMode(colFile, QHeaderView::Interactive);
    bookList->setColumnWidth(colFile, 180);
    bookList->horizontalHeader()->setSectionResizeMode(colState, QHeaderView::Stretch);
    bookList->verticalHeader()->hide();
    bookList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    bookList->setSelectionBehavior(QAbstractItemView::SelectRows);
    bookList->setWordWrap(false);

    outputEdit = new QLineEdit(this);
    outputEdit->setPlaceholderText(Text("书保存到这个文件夹"));
    outputButton = new QPushButton(Text("选择…"), this);
    kindBox = new QComboBox(this);
    kindBox->addItems({Text("经典版式"), Text("标准 EPUB 3")});
    auto* choices = new QGridLayout;
    choices->addWidget(new QLabel(Text("输出文件夹："), this), 0, 0);
    choices->addWidget(outputEdit, 0, 1);
    choices->addWidget(outputButton, 0, 2);
    choices->addWidget(new QLabel(Text("输出格式："), this), 1, 0);
    choices->addWidget(kindBox, 1, 1, 1, 2, Qt::AlignLeft);

    summaryLabel = new QLabel(this);
    startButton = new QPushButton(Text("开始转换"), this);
    cancelButton = new QPushButton(Text("取消"), this);
    cancelButton->setEnabled(false);
    auto* runs = new QHBoxLayout;
    runs->addWidget(summaryLabel, 1);
    runs->addWidget(startButton);
    runs->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(adds);
    layout->addWidget(bookList, 1);
    layout->addLayout(choices);
    layout->addLayout(runs);

    filesDialog = new QFileDialog(this, Text("添加TXT文件"));
    filesDialog->setFileMode(QFileDialog::ExistingFiles);
    filesDialog->setNameFilter(Text("*.txt (*.txt)"));
    folderDialog = new QFileDialog(this, Text("添加文件夹"));
    folderDialog->setFileMode(QFileDialog::Directory);
    folderDialog->setOption(QFileDialog::ShowDirsOnly);
    outputDialog = new QFileDialog(this, Text("选择输出文件夹"));
    outputDialog->setFileMode(QFileDialog::Directory);
    outputDialog->setOption(QFileDialog::ShowDirsOnly);

    connect(addFilesButton, &QPushButton::clicked, this, [this] {
        QStringList chosen;
        if (dialogs_.RunFilesDialog(*filesDialog, chosen)) AddSources(chosen);
    });
    connect(addFolderButton, &QPushButton::clicked, this, [this] {
        QString chosen;
        if (dialogs_.RunFileDialog(*folderDialog, chosen)) AddSources({chosen});
    });
    connect(clearButton, &QPushButton::clicked, this, [this] {
        operands_.clear();
        ListSources();
    });
    connect(outputButton, &QPushButton::clicked, this, [this] {
        QString chosen;
        if (dialogs_.RunFileDialog(*outputDialog, chosen)) outputEdit->setText(chosen);
    });
    connect(startButton, &QPushButton::clicked, this, [this] { onStart(); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { onCancel(); });
}

void TBatchWindow::AddSources(const QStringList& paths) {
    if (running_) return;
    for (const QString& path : paths) {
        const QString absolute = QFileInfo(path).absoluteFilePath();
        if (!operands_.contains(absolute)) operands_ << absolute;
    }
    ListSources();
}

// Rows: the files to convert, in order, then what cannot become a book
// (a file not ending in ".txt", a folder that cannot be read, a link to
// nothing), failed with the reason.
void TBatchWindow::ListSources() {
    std::vector<std::string> operands;
    for (const QString& operand : operands_) operands.push_back(Native(operand));
    std::vector<TRefusedSource> refused;
    sources_.clear();
    CollectSources(operands, true, false, sources_, refused);  // the window takes .txt only
    bookList->setRowCount(0);
    for (const std::string& source : sources_) {
        const int row = bookList->rowCount();
        bookList->insertRow(row);
        bookList->setItem(row, colFile, FileCell(source));
        bookList->setItem(row, colState, Cell(Text("等待")));
    }
    for (const TRefusedSource& refusal : refused) {
        const int row = bookList->rowCount();
        bookList->insertRow(row);
        bookList->setItem(row, colFile, FileCell(refusal.path));
        // Failed, as the command line counts it: nothing of it becomes a book.
        bookList->setItem(row, colState, Cell(Text("失败：") + ReasonText(refusal.reason)));
    }
    refused_ = static_cast<int>(refused.size());
    summaryLabel->setText(Text("%1 本书").arg(sources_.size()));
}

void TBatchWindow::onStart() {
    if (running_) return;
    if (sources_.empty()) {
        dialogs_.Warning(windowTitle(), Text("列表里没有可以转换的 .txt 文件。"));
        return;
    }
    const QString folder = outputEdit->text().trimmed();
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        dialogs_.Warning(windowTitle(), folder.isEmpty()
                                            ? Text("请先选择输出文件夹。")
                                            : Text("输出文件夹“%1”不存在。").arg(folder));
        return;
    }
    TBatchSettings settings;
    settings.common = common_();
    settings.common.options.epub3 = kindBox->currentIndex() == 1;
    settings.jobs = DefaultJobCount();
    control_ = std::make_unique<TRunControl>();
    settings.control = control_.get();
    const std::string outputDir = Native(QDir(folder).absolutePath()) + "/";
    const std::vector<TBatchBook> books = PlanBatch(
        sources_, outputDir, BatchTitleRule(std::string(), settings.common.options.epub3));
    bookNames_.clear();
    for (int row = 0; row < static_cast<int>(books.size()); ++row) {
        SetState(row, Text("等待"));
        bookNames_ << QFileInfo(Shown(books[static_cast<size_t>(row)].bookPath)).fileName();
    }
    listener_ = std::make_unique<TListener>(*this, books.size());
    SetRunning(true);
    thread_ = std::thread([this, books, settings, outputDir] {
        const TBatchOutcome outcome = RunBatch(books, settings, outputDir, *listener_);
        emit BatchFinished(static_cast<int>(outcome.converted),
                           static_cast<int>(outcome.failures.size()),
                           static_cast<int>(outcome.notStarted));
    });
}

void TBatchWindow::onCancel() {
    if (running_ && control_) control_->RequestCancel();
}

void TBatchWindow::SetRunning(bool running) {
    running_ = running;
    startButton->setEnabled(!running);
    cancelButton->setEnabled(running);
    for (QWidget* input : std::initializer_list<QWidget*>{
             addFilesButton, addFolderButton, clearButton, outputEdit, outputButton, kindBox}) {
        input->setEnabled(!running);
    }
    if (running) summaryLabel->setText(Text("正在转换…"));
}

void TBatchWindow::SetState(int row, const QString& text) {
    if (row < 0 || row >= bookList->rowCount()) return;
    bookList->setItem(row, colState, Cell(text));
}

void TBatchWindow::OnBookProgressed(int index, int percent) {
    SetState(index, Text("转换中 %1%").arg(percent));
}

void TBatchWindow::OnBookFinished(int index, bool made, const QString& text) {
    if (made) {
        SetState(index, Text("完成 → ") + bookNames_.value(index));
    } else {
        SetState(index, Text("失败：") + text);
    }
}

void TBatchWindow::OnBatchFinished(int converted, int failed, int notStarted) {
    Join();
    // The books a cancel kept from starting.
    for (int row = 0; row < static_cast<int>(sources_.size()); ++row) {
        const QTableWidgetItem* state = bookList->item(row, colState);
        if (state && state->text() == Text("等待")) SetState(row, Text("未开始（已取消）"));
    }
    QString summary = Text("完成 %1 本，失败 %2 本").arg(converted).arg(failed + refused_);
    if (notStarted > 0) summary += Text("，未开始 %1 本").arg(notStarted);
    summaryLabel->setText(summary);
    SetRunning(false);
}

// Also where a closing window stops its batch: a batch that has ended has
// nothing left to cancel.
void TBatchWindow::Join() {
    if (!thread_.joinable()) return;
    if (control_) control_->RequestCancel();
    thread_.join();
}

void TBatchWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!running_ && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TBatchWindow::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    event->acceptProposedAction();
    AddSources(paths);
}

void TBatchWindow::closeEvent(QCloseEvent* event) {
    // A running batch stops; the window goes once its threads have.
    if (running_) {
        control_->RequestCancel();
        Join();
        SetRunning(false);
    }
    QWidget::closeEvent(event);
}

}  // namespace qm
