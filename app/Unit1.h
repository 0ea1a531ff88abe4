#pragma once
// The main window: the inputs of one conversion (a one-row file list, title,
// author, number of parts) and the Import, Delete and Convert buttons.
#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

class QCloseEvent;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace qm {

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

class TForm1 : public QWidget {
    Q_OBJECT
  public:
    // `dialogs` must outlive the window. The strip loads `pageAddress`.
    explicit TForm1(TDialogs& dialogs, const QUrl& pageAddress = QUrl(kPageAddress),
                    QWidget* parent = nullptr);
    ~TForm1() override;

    // Controls, in the order the form declares them.
    QPushButton* Button1;  // Convert
    QLineEdit* m_title;
    QLineEdit* m_zz;  // author
    QFileDialog* SaveDialog1;
    QLabel* Label1;
    QLabel* Label2;
    QPushButton* m_del;
    QPushButton* Button6;  // Import
    QTableWidget* m_list;
    TWebStrip* WebBrowser1;
    QFileDialog* OpenDialog1;
    TSpinEdit* SpinEdit2;
    QLabel* Label3;
    // Stands where the web strip is while a conversion runs.
    QProgressBar* ProgressBar1;
    // Holds the controls above at their places: 423 x 117, below the menu bar.
    QWidget* ClientArea;
    QMenuBar* MainMenu1;
    TOutputMenu* OutputMenu;  // the kind of book and the EPUB 3 options

    // Handlers. Convert starts the run on a thread of its own and returns;
    // the window shows its boxes and progress as they come, and takes its
    // controls back when it ends.
    void Button1Click();
    void Button6Click();
    void m_delClick();
    bool ApplicationEvents1Message(QObject* receiver, QEvent* event);
    void WebBrowser1DocumentComplete();

    // Lists the file named on the command line as a drop would ("Open with"
    // from a file manager); a file the list cannot take is refused with a
    // warning that says why. Only the first is listed: the window converts
    // one book at a time.
    void OpenFiles(const QStringList& paths);

    int32_t FileSize() const { return m_filesize; }
    bool Converting() const { return converting_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateControls();
    void SetTabOrder();
    void FormCreate(const QUrl& pageAddress);
    void PlaceOnScreen();
    void AddFileToList(const QString& path);
    double GetFileSizeKB(const QString& path);
    void StartRun(const TConversionRequest& request, const std::string& tempDirPath);
    void RunFinished();
    // Convert off and the bar in place of the strip for the length of a run.
    void SetBusy(bool busy);

    TDialogs& dialogs_;
    std::unique_ptr<TConversionJob> job_;  // the running or last run
    int32_t m_filesize = 0;
    bool converting_ = false;
    bool placedAfterShow_ = false;
};

}  // namespace qm
