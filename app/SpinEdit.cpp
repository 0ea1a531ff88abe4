#include "app/SpinEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>

namespace qm {

TSpinEdit::TSpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    lineEdit()->setText(QStringLiteral("0"));
}

int TSpinEdit::Value() const {
    bool ok = false;
    const int value = lineEdit()->text().toInt(&ok, 10);
    return ok ? value : minValue_;
}

int TSpinEdit::CheckValue(int value) const {
    if (value < minValue_) return minValue_;
    if (value > maxValue_) return maxValue_;
    return value;
}

void TSpinEdit::SetValue(int value) {
    lineEdit()->setText(QString::number(CheckValue(value)));
}

void TSpinEdit::stepBy(int steps) {
    // Wide steps saturate instead of overflowing.
    const long long next = static_cast<long long>(Value()) + steps;
    SetValue(static_cast<int>(next < minValue_ ? minValue_ : next > maxValue_ ? maxValue_ : next));
    lineEdit()->selectAll();
}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const {
    // The arrows stay usable at the bounds; a step there just writes the bound.
    return StepUpEnabled | StepDownEnabled;
}

QValidator::State TSpinEdit::validate(QString& /*input*/, int& /*pos*/) const {
    // Keys are filtered as they are typed; pasted text is taken as it is and
    // simply reads as the minimum when it is not a number.
    return QValidator::Acceptable;
}

bool TSpinEdit::IsValidChar(const QString& typed) const {
    if (typed.size() != 1) return typed.isEmpty();
    const QChar c = typed.front();
    if (c.unicode() < 0x20) return c != QLatin1Char('\r') && c != QLatin1Char('\n');
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) return true;
    if (c == QLatin1Char('+') || c == QLatin1Char('-')) return true;
    return typed == QLocale().decimalPoint();
}

void TSpinEdit::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            QApplication::beep();
            event->accept();
            return;
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            // Only single steps: the arrows and the Up and Down keys.
            event->accept();
            return;
        default:
            break;
    }
    if (!IsValidChar(event->text())) {
        QApplication::beep();
        event->accept();
        return;
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void TSpinEdit::focusOutEvent(QFocusEvent* event) {
    QAbstractSpinBox::focusOutEvent(event);
    const int value = Value();
    if (CheckValue(value) != value) SetValue(value);
}

}  // namespace qm
