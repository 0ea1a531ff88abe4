#include "app/Dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

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

void TQtDialogs::Warning(const QString& caption, const QString& text) {
    ShowBox(parent_, QMessageBox::Warning, caption, text);
}

void TQtDialogs::Result(const QString& caption, const QString& text) {
    ShowBox(parent_, QMessageBox::NoIcon, caption, text);
}

void TQtDialogs::Error(const QString& caption, const QString& text) {
    ShowBox(parent_, QMessageBox::Critical, caption, text);
}

bool TQtDialogs::AskText(const QString& caption, const QString& label, QString& text) {
    bool accepted = false;
    const QString typed =
        QInputDialog::getText(parent_, caption, label, QLineEdit::Normal, text, &accepted);
    if (accepted) text = typed;
    return accepted;
}

}  // namespace qm
