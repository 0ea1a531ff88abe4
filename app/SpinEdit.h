#pragma once
// The integer field with up and down arrows of the window (the number of
// parts). Its value is its text read as a decimal integer, so while the user
// types it may lie outside the bounds; stepping and leaving the field bring it
// back inside and write it into the text.
#include <QAbstractSpinBox>

namespace qm {

class TSpinEdit : public QAbstractSpinBox {
    Q_OBJECT
  public:
    explicit TSpinEdit(QWidget* parent = nullptr);

    int MinValue() const { return minValue_; }
    int MaxValue() const { return maxValue_; }
    void SetMinValue(int value) { minValue_ = value; }
    void SetMaxValue(int value) { maxValue_ = value; }

    // The text as a decimal integer; text that isn't one reads as MinValue.
    int Value() const;
    // Writes the value, brought into the bounds, into the text.
    void SetValue(int value);
    // Value brought into the bounds.
    int CheckValue(int value) const;

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;

  protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    bool IsValidChar(const QString& typed) const;

    int minValue_ = 0;
    int maxValue_ = 100;
};

}  // namespace qm
