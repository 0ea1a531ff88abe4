#include "app/Dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace qm {
namespace {

void ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace

bool TQtDialogs::RunFileDialog(QFileDialog& dialog, QString& fileName) {
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return false;
    fileName = chosen.front();
    return true;
}

bool TQtDialogs::RunFilesDialog(QFileDialog& dialog, QStringList& fileNames) {
    if (dialog.exec() != QDialog::Accepted) return false;
    fileNames = dialog.selectedFiles();
    return !fileNames.isEmpty();
}

void TQtDialogs::Warning(const QString& caption, const QString& text) {
    ShowBox(parent_, QMessageBox::Warning, caption, text);
}

void TQtDialogs::Result(const QString& caption, const QString& text) {
    ShowBox(parent_, QMessageBox::NoIcon, caption, text);
}

void TQtDialogs::Error(const QString& caption, const QString& text) {
    ShowBox(parent_, QMessageBox::Critical, caption, text);
}

bool TQtDialogs::Saved(const QString& caption, const QString& text, const QString& where) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent_);
    box.setInformativeText(where);
    QPushButton* open = box.addButton(QString::fromUtf8("打开所在文件夹"), QMessageBox::ActionRole);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    return box.clickedButton() == open;
}

void TQtDialogs::OpenFolder(const QString& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

bool TQtDialogs::AskText(const QString& caption, const QString& label, QString& text) {
    bool accepted = false;
    const QString typed =
        QInputDialog::getText(parent_, caption, label, QLineEdit::Normal, text, &accepted);
    if (accepted) text = typed;
    return accepted;
}

}  // namespace qm
