#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "input/qt/numerot.h"
#include "input/qt/zComp.h"
#include "qt_fixture.h"
#include "scoped_separators.h"
#include "text/separators.h"

namespace orn {
namespace {

class KeypadTest : public test::QtSettingsFixture {
  protected:
    void SetUp() override { QtSettingsFixture::SetUp(); }
    void TearDown() override {
        DestroySharedNumerot();
        QtSettingsFixture::TearDown();
    }
    // Opens an ask on the window without a nested event loop.
    TFormNumerot& Open(double value, int desim, double minValue, double maxValue) {
        TFormNumerot& form = SharedNumerot();
        form.BeginAsk("Value?", value, desim, minValue, maxValue);
        form.show();
        return form;
    }
    static QString Shown(TFormNumerot& form) { return form.EditLuku()->text(); }
    static void Click(TFormNumerot& form, const char* caption) {
        QPushButton* b = form.Button(caption);
        ASSERT_NE(b, nullptr) << caption;
        QTest::mouseClick(b, Qt::LeftButton);
    }
    // Runs AskNumber with `script` acting on the keypad once its event loop runs. Whatever the
    // script leaves open is cancelled, so the test never waits for a person.
    bool AskWith(double& value, int desim, double minValue, double maxValue, bool mask,
                 std::function<void(TFormNumerot&)> script) {
        QTimer::singleShot(0, [script] {
            TFormNumerot& form = SharedNumerot();
            script(form);
            if (form.isVisible()) {
                form.reject();
            }
        });
        return AskNumber("Value?", value, desim, minValue, maxValue, mask);
    }
    test::ScopedSeparators separators_;
};

TEST_F(KeypadTest, LayoutAndCaptions) {
    TFormNumerot& form = Open(12.5, 1, 0, 100);
    EXPECT_EQ(form.windowTitle(), "Input");
    EXPECT_EQ(form.objectName(), "FormNumerot");
    EXPECT_TRUE(form.font().bold());
    for (const char* caption : {"0", "1", "2", "3", "4",   "5", "6", "7",  "8",      "9",
                                "/", "x", "-", "+", "+/-", ".", "=", "<=", "Cancel", "OK"}) {
        QPushButton* b = form.Button(caption);
        ASSERT_NE(b, nullptr) << caption;
        EXPECT_GE(b->width(), 59) << caption;
        EXPECT_GE(b->height(), 47) << caption;
    }
    EXPECT_TRUE(form.Button("OK")->isDefault());
    EXPECT_FALSE(form.Button("7")->autoDefault());
    // Rows and columns as on a calculator: 7 above 4 above 1 above 0, the last column apart.
    EXPECT_LT(form.Button("7")->y(), form.Button("4")->y());
    EXPECT_LT(form.Button("1")->y(), form.Button("0")->y());
    EXPECT_EQ(form.Button("9")->y(), form.Button("Cancel")->y());
    EXPECT_LT(form.Button("+")->x(), form.Button("OK")->x());
    EXPECT_EQ(form.LabelPrompt()->text(), "Value?");
    EXPECT_EQ(form.LabelTo()->text(), "=>");
    EXPECT_EQ(form.CounterOrig()->Color(), QColor(0, 255, 0));
    EXPECT_EQ(form.CounterOrig()->DisplayPanel()->text(), "12.5");
    EXPECT_EQ(Shown(form), "12.5");
    EXPECT_EQ(form.EditLuku()->selectedText(), "12.5");
    EXPECT_TRUE(form.EditLuku()->isReadOnly());
}

TEST_F(KeypadTest, TypingAndButtonsShareOneCalculation) {
    TFormNumerot& form = Open(0, 0, -1000, 1000);
    QTest::keyClicks(&form, "12+3x");
    EXPECT_EQ(Shown(form), "15x");
    Click(form, "2");
    EXPECT_EQ(Shown(form), "15x2");
    EXPECT_TRUE(form.EditLuku()->selectedText().isEmpty());
    Click(form, "-");
    Click(form, "4");
    Click(form, "=");
    EXPECT_EQ(Shown(form), "26");
    // Numeric keypad keys read the same.
    QTest::keyClick(&form, Qt::Key_Slash, Qt::KeypadModifier);
    QTest::keyClick(&form, Qt::Key_2, Qt::KeypadModifier);
    EXPECT_EQ(Shown(form), "26/2");
    QTest::keyClick(&form, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.Calc().Accepted(), 13);
}

TEST_F(KeypadTest, BackspaceAndCtrlBackspace) {
    TFormNumerot& form = Open(42, 0, 0, 100);
    QTest::keyClicks(&form, "7+8");
    QTest::keyClick(&form, Qt::Key_Backspace);
    EXPECT_EQ(Shown(form), "7+");
    Click(form, "<=");
    EXPECT_EQ(Shown(form), "7");
    QTest::keyClick(&form, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(Shown(form), "42");
    EXPECT_EQ(form.EditLuku()->selectedText(), "42");
    // Delete is not Ctrl+Backspace, and a capital X is not an operator.
    QTest::keyClicks(&form, "5X");
    QTest::keyClick(&form, Qt::Key_Delete);
    EXPECT_EQ(Shown(form), "5");
}

TEST_F(KeypadTest, OverLimitButtonsLeftAndCtrlRightClick) {
    TFormNumerot& form = Open(10, 0, 0, 100);
    EXPECT_FALSE(form.ErrorOver()->isVisible());
    EXPECT_TRUE(form.Button("OK")->isVisible());
    Click(form, "1");
    Click(form, "5");
    Click(form, "0");
    EXPECT_FALSE(form.Button("OK")->isVisible());
    ASSERT_TRUE(form.ErrorOver()->isVisible());
    EXPECT_FALSE(form.ErrorUnder()->isVisible());
    EXPECT_EQ(form.ErrorOver()->text(), "100");
    // Enter does nothing while OK is hidden.
    QTest::keyClick(&form, Qt::Key_Return);
    EXPECT_TRUE(form.isVisible());

    QTest::mouseClick(form.ErrorOver(), Qt::LeftButton);
    EXPECT_EQ(Shown(form), "100");
    EXPECT_TRUE(form.Button("OK")->isVisible());
    EXPECT_EQ(form.focusWidget(), form.Button("OK"));

    QTest::keyClicks(&form, "150");
    // A right click alone, or with Shift as well, changes nothing.
    QTest::mouseClick(form.ErrorOver(), Qt::RightButton);
    QTest::mouseClick(form.ErrorOver(), Qt::RightButton, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(form.Button("OK")->isVisible());
    QTest::mouseClick(form.ErrorOver(), Qt::RightButton, Qt::ControlModifier);
    EXPECT_TRUE(form.Button("OK")->isVisible());
    EXPECT_FALSE(form.ErrorOver()->isVisible());
    Click(form, "OK");
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.Calc().Accepted(), 150);
}

TEST_F(KeypadTest, UnderLimitAndSpinButtons) {
    TFormNumerot& form = Open(1, 2, 0.5, 10);
    QTest::mouseClick(form.SpinDown(), Qt::LeftButton);
    EXPECT_EQ(Shown(form), "0.00");
    EXPECT_TRUE(form.ErrorUnder()->isVisible());
    EXPECT_EQ(form.ErrorUnder()->text(), "0.50");
    QTest::mouseClick(form.ErrorUnder(), Qt::LeftButton);
    EXPECT_EQ(form.Calc().Accepted(), 0.5);
    QTest::mouseClick(form.SpinUp(), Qt::LeftButton);
    EXPECT_EQ(form.Calc().Accepted(), 1.5);
}

TEST_F(KeypadTest, ClickOnTheStartValueGoesBack) {
    TFormNumerot& form = Open(3, 0, 0, 100);
    QTest::keyClicks(&form, "9+1");
    QTest::mouseClick(form.LabelTo(), Qt::LeftButton);
    EXPECT_EQ(Shown(form), "3");
    QTest::keyClicks(&form, "8");
    QTest::mouseClick(form.CounterOrig()->DisplayPanel(), Qt::LeftButton);
    EXPECT_EQ(Shown(form), "3");
}

TEST_F(KeypadTest, PasteTakesANumberFromTheClipboard) {
    TFormNumerot& form = Open(0, 2, 0, 1e6);
    QGuiApplication::clipboard()->setText(" 1,234.5 ");
    QTest::keyClick(&form, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Shown(form), "1,234.50");
    QGuiApplication::clipboard()->setText("not a number");
    QTest::keyClick(&form, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(form.Calc().Accepted(), 1234.5);
}

TEST_F(KeypadTest, EscapeCancels) {
    TFormNumerot& form = Open(5, 0, 0, 10);
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Rejected);
}

TEST_F(KeypadTest, ShownWithoutAnAskClosesItself) {
    TFormNumerot& form = SharedNumerot();
    form.show();
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.isVisible());
}

TEST_F(KeypadTest, AskNumberReturnsWhatWasTyped) {
    double value = 5;
    bool ok = AskWith(value, 0, 0, 100, false, [](TFormNumerot& form) {
        QTest::keyClicks(&form, "10/4");
        QTest::keyClick(&form, Qt::Key_Return);
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(value, 2.5);  // not rounded to 0 decimals
    EXPECT_FALSE(SharedNumerot().Calc().Running());
}

TEST_F(KeypadTest, CancelledAskLeavesTheValue) {
    double value = 5;
    TFormNumerot* first = &SharedNumerot();
    bool ok = AskWith(value, 0, 0, 100, false, [](TFormNumerot& form) {
        QTest::keyClicks(&form, "77");
        QTest::mouseClick(form.Button("Cancel"), Qt::LeftButton);
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(&SharedNumerot(), first);  // one instance, kept
}

TEST_F(KeypadTest, MaskHidesTheTypedDigitsForOneAsk) {
    double value = 0;
    QString shown, orig;
    bool ok = AskWith(value, 0, 0, 10000, true, [&](TFormNumerot& form) {
        QTest::keyClicks(&form, "1234");
        shown = form.EditLuku()->text();
        orig = form.CounterOrig()->DisplayPanel()->text();
        QTest::keyClick(&form, Qt::Key_Return);
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(value, 1234);
    EXPECT_EQ(shown, "****");
    EXPECT_EQ(orig, "*");
    EXPECT_FALSE(SharedNumerot().Mask());
}

TEST_F(KeypadTest, PositionIsKeptInSectionPos) {
    {
        TFormNumerot& form = SharedNumerot();
        form.setGeometry(40, 50, 460, 420);
    }
    DestroySharedNumerot();
    bool saved = false;
    for (const auto& w : Writes()) {
        if (w.section == "Pos" && w.key == "FormNumerot") {
            saved = true;
            EXPECT_EQ(w.value, "40,50,460,420");
        }
    }
    EXPECT_TRUE(saved);
    TFormNumerot& again = SharedNumerot();
    EXPECT_EQ(again.pos(), QPoint(40, 50));
}

}  // namespace
}  // namespace orn
