#pragma once
// The numeric keypad ("Input"): a modal calculator keypad with large buttons for entering one
// number between two limits, by mouse or keyboard. The arithmetic is TNumerotCalc's; this
// window shows it and feeds it keys and clicks.

#include <QDialog>
#include <QRadioButton>
#include <string>

#include "input/numerotcalc.h"
#include "settings/qt/zform.h"
#include "text/dialogs.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QGridLayout;

namespace orn {

class TCounter;
class TSavePos;

// "Over" and "Under": red radio buttons that report presses instead of toggling.
class TLimitButton : public QRadioButton {
    Q_OBJECT

  public:
    using QRadioButton::QRadioButton;

  signals:
    void Pressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

class TFormNumerot : public QDialog, public TzForm {
    Q_OBJECT

  public:
    explicit TFormNumerot(QWidget* parent = nullptr);
    ~TFormNumerot() override;

    // Shows the keypad modally until the user cancels or confirms a value inside the limits;
    // then `value` is that value (not rounded to desim) and the result is true.
    bool Ask(const std::string& prompt, double& value, int desim, double minValue, double maxValue);
    // Typed characters (and the starting value) show as "*".
    void SetMask(bool mask);
    bool Mask() const { return mask_; }

    // The two halves of Ask, for driving the window without a nested event loop.
    void BeginAsk(const std::string& prompt, double value, int desim, double minValue,
                  double maxValue);
    void EndAsk();

    const TNumerotCalc& Calc() const { return calc_; }
    QLabel* LabelPrompt() const { return labelPrompt_; }
    TLimitButton* ErrorOver() const { return errorOver_; }
    TLimitButton* ErrorUnder() const { return errorUnder_; }
    TCounter* CounterOrig() const { return counterOrig_; }
    QLabel* LabelTo() const { return labelTo_; }
    QLineEdit* EditLuku() const { return editLuku_; }
    QToolButton* SpinUp() const { return spinUp_; }
    QToolButton* SpinDown() const { return spinDown_; }
    // A button of the block by its caption ("7", "x", "<=", "OK", ...).
    QPushButton* Button(const QString& caption) const;

    // The keypad's reading of one key press; true when consumed.
    bool FormKeyPress(QKeyEvent* event);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void BuildButtons(QGridLayout* grid, double unit);
    void Update();
    void Button0Click();
    void ButtonMiinusClick();
    void LimitPressed(bool over, Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    void OkClick();
    void PasteClipboard();
    template <typename Action>
    void Do(Action action);

    TNumerotCalc calc_;
    bool mask_ = false;
    QLabel* labelPrompt_ = nullptr;
    TLimitButton* errorOver_ = nullptr;
    TLimitButton* errorUnder_ = nullptr;
    TCounter* counterOrig_ = nullptr;
    QLabel* labelTo_ = nullptr;
    QLineEdit* editLuku_ = nullptr;
    QToolButton* spinUp_ = nullptr;
    QToolButton* spinDown_ = nullptr;
    QPushButton* buttonOK_ = nullptr;
    TSavePos* savePos_ = nullptr;
};

// Asks a number: through the answerer set by SetNumberDialogs when there is one (tests and
// scripted runs), else on the shared keypad. True only when the user confirmed a value inside
// the limits, which then replaces `value`.
bool AskNumber(const std::string& prompt, double& value, int desim, double minValue,
               double maxValue, bool mask = false);
// Sets who answers AskNumber (null: the keypad); returns the previous answerer.
TDialogs* SetNumberDialogs(TDialogs* dialogs);
// The keypad's own answer to a number request, for dialog answerers that show windows.
bool AskNumberOnKeypad(const NumberRequest& request, double& value);
// The one keypad window, created on first use without owner and kept until the application
// quits (its position is saved then).
TFormNumerot& SharedNumerot();
// Saves the keypad's position and frees it; the next ask creates it again.
void DestroySharedNumerot();

}  // namespace orn
