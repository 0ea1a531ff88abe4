#pragma once
// Every dialog and message box of the window goes through this interface, so
// the window can be driven without modal windows (the tests answer them).
#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

namespace qm {

class TDialogs {
  public:
    virtual ~TDialogs() = default;
    // Runs a configured file dialog; true with the chosen file when confirmed.
    virtual bool RunFileDialog(QFileDialog& dialog, QString& fileName) = 0;
    // The same for a dialog that picks several files; true with them when confirmed.
    virtual bool RunFilesDialog(QFileDialog& dialog, QStringList& fileNames) = 0;
    // A warning box (exclamation icon, one OK button).
    virtual void Warning(const QString& caption, const QString& text) = 0;
    // The result of a conversion: no icon, one OK button.
    virtual void Result(const QString& caption, const QString& text) = 0;
    // A book made: the result's text, where the book is, and a button that
    // opens its folder; true when that button was chosen.
    virtual bool Saved(const QString& caption, const QString& text, const QString& where) = 0;
    // Shows the folder in the desktop's file manager.
    virtual void OpenFolder(const QString& folder) = 0;
    // The application's error box: stop icon, one OK button.
    virtual void Error(const QString& caption, const QString& text) = 0;
    // A line of text to type, shown with `text`; true with the new text when confirmed.
    virtual bool AskText(const QString& caption, const QString& label, QString& text) = 0;
};

// The real, modal dialogs, owned by `parent`'s window.
class TQtDialogs : public TDialogs {
  public:
    explicit TQtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    bool RunFileDialog(QFileDialog& dialog, QString& fileName) override;
    bool RunFilesDialog(QFileDialog& dialog, QStringList& fileNames) override;
    void Warning(const QString& caption, const QString& text) override;
    void Result(const QString& caption, const QString& text) override;
    void Error(const QString& caption, const QString& text) override;
    bool Saved(const QString& caption, const QString& text, const QString& where) override;
    void OpenFolder(const QString& folder) override;
    bool AskText(const QString& caption, const QString& label, QString& text) override;

  private:
    QWidget* parent_;
};

}  // namespace qm
