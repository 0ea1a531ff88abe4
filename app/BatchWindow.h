#pragma once
// The batch window (批量转换): many .txt files, or folders of them, become
// books in one output folder, several at a time, through the same batch code
// the command line's -O runs. Each book's row shows how far it has got and
// how it ended (done, or failed with the reason); Cancel stops the books
// running (each left as it was) and starts no further one.
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "conversion/run/PrepareConversion.h"

class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace qm {

class TDialogs;
class TRunControl;

class TBatchWindow : public QWidget {
    Q_OBJECT
  public:
    // `common` gives what every book shares (parts, the preferences), read
    // when a batch starts; the kind is this window's own choice. `dialogs`
    // must outlive the window.
    TBatchWindow(TDialogs& dialogs, std::function<TConversionInput()> common,
                 QWidget* parent = nullptr);
    // Cancels a running batch and waits for it.
    ~TBatchWindow() override;

    QTableWidget* bookList;  // one row per source: file, and its state
    QPushButton* addFilesButton;
    QPushButton* addFolderButton;
    QPushButton* clearButton;
    QLineEdit* outputEdit;  // the output folder
    QPushButton* outputButton;
    QComboBox* kindBox;  // 0: the classic layout, 1: standard EPUB 3
    QPushButton* startButton;
    QPushButton* cancelButton;
    QLabel* summaryLabel;  // the batch's count once it ends
    QFileDialog* filesDialog;
    QFileDialog* folderDialog;
    QFileDialog* outputDialog;

    // Adds files and folders (the .txt files below a folder, sorted), as a
    // drop or the pick buttons do; a source already listed is not added again.
    void AddSources(const QStringList& paths);
    void onStart();
    void onCancel();
    bool Running() const { return running_; }

  signals:
    // From the batch's threads; the window takes them on its own.
    void BookProgressed(int index, int percent);
    void BookFinished(int index, bool made, const QString& text);
    void BatchFinished(int converted, int failed, int notStarted);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    class TListener;

    void CreateControls();
    void ListSources();
    void SetRunning(bool running);
    void SetState(int row, const QString& text);
    void OnBookProgressed(int index, int percent);
    void OnBookFinished(int index, bool made, const QString& text);
    void OnBatchFinished(int converted, int failed, int notStarted);
    void Join();

    TDialogs& dialogs_;
    std::function<TConversionInput()> common_;
    QStringList operands_;              // as added: files and folders
    std::vector<std::string> sources_;  // the files they stand for, in rows 0..
    int refused_ = 0;                   // the rows after them: what cannot be a book
    QStringList bookNames_;             // the running or last batch's books, by row
    std::unique_ptr<TRunControl> control_;
    std::unique_ptr<TListener> listener_;
    std::thread thread_;
    bool running_ = false;
};

}  // namespace qm
