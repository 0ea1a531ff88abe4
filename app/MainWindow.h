#pragma once
// The main window: the inputs of one conversion (a one-row file list, title,
// author, number of parts) and the Import, Delete and Convert buttons.
#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

class QAction;
class QCloseEvent;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace qm {

class TBatchWindow;
class TBookFields;
class TConversionJob;
class TDialogs;
struct TConversionRequest;
class TOutputMenu;
class TSpinEdit;
class TWebStrip;

// The application's title: the text of its taskbar entry and the caption of
// its message boxes.
inline constexpr const char* kApplicationTitle = "Quillmark";
// The page shown in the window's web strip.
inline constexpr const char* kPageAddress = "https://quillmark.org/strip.html";

class MainWindow : public QWidget {
    Q_OBJECT
  public:
    // `dialogs` must outlive the window. The strip loads `pageAddress`.
    explicit MainWindow(TDialogs& dialogs, const QUrl& pageAddress = QUrl(kPageAddress),
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    // Controls, in tab order where they take the focus.
    QPushButton* convertButton;
    QLineEdit* titleEdit;
    QLineEdit* authorEdit;
    QFileDialog* saveDialog;
    QLabel* titleLabel;
    QLabel* authorLabel;
    QPushButton* deleteButton;
    QPushButton* importButton;
    QTableWidget* fileList;
    TWebStrip* webStrip;
    QFileDialog* openDialog;
    TSpinEdit* partsSpin;
    QLabel* partsLabel;
    // Stands where the web strip is while a conversion runs.
    QProgressBar* progressBar;
    // Holds the controls above at their places: 423 x 117, below the menu bar.
    QWidget* clientArea;
    QMenuBar* menuBar;
    TOutputMenu* outputMenu;  // the kind of book and the EPUB 3 options
    // Under the classic controls: the kind of book Convert makes, and the
    // choices made for this book.
    QLabel* choiceLine;
    QAction* cancelAction;                // 取消转换, Esc: on while a run goes
    QAction* batchAction;                 // 批量转换…: opens the batch window
    TBatchWindow* batchWindow = nullptr;  // made when first opened

    // Handlers. onConvert starts the run on a thread of its own and returns;
    // the window shows its boxes and progress as they come, and takes its
    // controls back when it ends.
    void onConvert();
    void onImport();
    void onDelete();
    // Stops the running conversion and waits for it: a book it would have
    // replaced stays as it was, and no work file remains.
    void onCancel();
    // Opens the batch window, its kind set to the output menu's.
    void onBatch();
    // Takes the first local file of a drop anywhere in the window; true
    // when the event was the window's.
    bool onApplicationEvent(QObject* receiver, QEvent* event);
    void onStripLoaded();

    // Lists the file named on the command line as a drop would ("Open with"
    // from a file manager); a file the list cannot take is refused with a
    // warning that says why. Only the first is listed: the window converts
    // one book at a time.
    void OpenFiles(const QStringList& paths);

    // The size recorded when the listed file was added.
    int32_t ListedFileSize() const { return listedFileSize_; }
    bool Converting() const { return converting_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateControls();
    void SetTabOrder();
    void StartUp(const QUrl& pageAddress);
    void PlaceOnScreen();
    void AddFileToList(const QString& path);
    // Lists the file, or refuses it with a warning that says why. A refusal
    // during a drop is shown once the drop is over.
    void ListOrRefuse(const QString& path, bool fromDrop = false);
    void ShowResult(const QString& text, bool bookMade);
    double ListedSizeKB(const QString& path);
    void StartRun(const TConversionRequest& request);
    void RunFinished();
    // Convert off and the bar in place of the strip for the length of a run.
    void SetBusy(bool busy);

    TDialogs& dialogs_;
    TBookFields* bookFields_ = nullptr;    // the title and author follow the listed book
    std::unique_ptr<TConversionJob> job_;  // the running or last run
    QString bookPath_;                     // where the running or last run writes its book
    int32_t listedFileSize_ = 0;
    bool converting_ = false;
    bool placedAfterShow_ = false;
};

}  // namespace qm
