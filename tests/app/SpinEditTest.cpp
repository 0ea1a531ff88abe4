// The number-of-parts field: what typing may enter, how text reads as a
// value, and how stepping and leaving the field bring it into bounds.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include "QtPrinting.h"
#include "app/SpinEdit.h"

namespace qm {
namespace {

class SpinEdit : public ::testing::Test {
  protected:
    SpinEdit() {
        QLocale::setDefault(QLocale::c());
        spin.SetMinValue(1);
        spin.SetMaxValue(1024);
        spin.SetValue(1);
        spin.setGeometry(0, 0, 55, 22);
        window.resize(200, 50);
        spin.setParent(&window);
        other.setParent(&window);
        other.move(100, 0);
        window.show();
        QApplication::setActiveWindow(&window);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        spin.setFocus();
    }
    ~SpinEdit() override { QLocale::setDefault(QLocale::system()); }
    void Type(const QString& keys) {
        spin.findChild<QLineEdit*>()->clear();
        QTest::keyClicks(&spin, keys);
    }

    QWidget window;
    TSpinEdit spin;
    QLineEdit other;
};

TEST_F(SpinEdit, TypingTakesOnlyDigitsSignsAndTheDecimalSeparator) {
    Type("1a2 b3x");
    EXPECT_EQ(spin.text(), "123");
    EXPECT_EQ(spin.Value(), 123);
    Type("+-.9");
    EXPECT_EQ(spin.text(), "+-.9");
    EXPECT_EQ(spin.Value(), 1);  // not an integer: the minimum
    Type("12");
    QTest::keyClick(&spin, Qt::Key_Return);     // refused, changes nothing
    QTest::keyClick(&spin, Qt::Key_Backspace);  // editing keys still work
    EXPECT_EQ(spin.text(), "1");
    Type("99999999999");  // beyond int: not an integer either
    EXPECT_EQ(spin.Value(), 1);
}

TEST_F(SpinEdit, StepsClampAndWriteBack) {
    spin.SetValue(5);
    QTest::keyClick(&spin, Qt::Key_Up);
    EXPECT_EQ(spin.text(), "6");
    QTest::keyClick(&spin, Qt::Key_Down);
    QTest::keyClick(&spin, Qt::Key_Down);
    EXPECT_EQ(spin.text(), "4");
    spin.SetValue(1);
    QTest::keyClick(&spin, Qt::Key_Down);
    EXPECT_EQ(spin.text(), "1");
    spin.SetValue(1024);
    QTest::keyClick(&spin, Qt::Key_Up);
    EXPECT_EQ(spin.text(), "1024");
    Type("5000");
    EXPECT_EQ(spin.Value(), 5000);  // typing alone doesn't clamp
    QTest::keyClick(&spin, Qt::Key_Up);
    EXPECT_EQ(spin.text(), "1024");
    Type("-7");
    QTest::keyClick(&spin, Qt::Key_Up);
    EXPECT_EQ(spin.text(), "1");
    Type("junk-");
    QTest::keyClick(&spin, Qt::Key_Up);  // unreadable text counts as 1
    EXPECT_EQ(spin.text(), "2");
    spin.SetValue(10);
    QTest::keyClick(&spin, Qt::Key_PageUp);  // no wide steps
    EXPECT_EQ(spin.text(), "10");
    spin.stepBy(2147483647);  // saturates instead of overflowing
    EXPECT_EQ(spin.text(), "1024");
}

TEST_F(SpinEdit, LeavingTheFieldClampsOnlyValuesOutsideTheBounds) {
    Type("0");
    other.setFocus();
    QApplication::processEvents();
    EXPECT_EQ(spin.text(), "1");
    spin.setFocus();
    Type("2000");
    other.setFocus();
    EXPECT_EQ(spin.text(), "1024");
    spin.setFocus();
    Type("+7");
    other.setFocus();
    EXPECT_EQ(spin.text(), "+7");  // in bounds: left as typed
    EXPECT_EQ(spin.Value(), 7);
}

}  // namespace
}  // namespace qm
