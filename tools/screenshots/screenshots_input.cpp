// Value input: the keypad while a sum is typed and with a result over its limit, and a
// parameter field.
#include <QCoreApplication>
#include <QKeyEvent>

#include "input/qt/ZParam.h"
#include "input/qt/numerot.h"
#include "screenshots.h"
#include "settings/qt/zform.h"

namespace {

class ShotForm : public QWidget, public orn::TzForm {
  public:
    ShotForm() : TzForm(this) { setObjectName("FormShot"); }
};

// Types as the keyboard would.
void Type(QWidget* target, const QString& keys) {
    for (QChar c : keys) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(target, &press);
    }
}

}  // namespace

ORN_SCREENSHOT(keypad) {
    auto* form = shot.Keep(new orn::TFormNumerot(nullptr));
    form->BeginAsk("Number of copies to print", 12.5, 1, 0, 100);
    shot.Capture(form);
    Type(form, "12+3x");
    shot.Capture(form, "typing");
    Type(form, "20");
    shot.Capture(form, "over");
    form->EndAsk();
}

ORN_SCREENSHOT(zparam) {
    auto* form = shot.Keep(new ShotForm);
    auto* limit = new orn::TzParam(form);
    limit->setObjectName("ParamLimit");
    limit->SetCaption("Error limit");
    limit->SetLabelWidth(80);
    limit->SetValue(5);
    limit->setGeometry(8, 8, 200, 26);
    auto* price = new orn::TzParam(form);
    price->setObjectName("ParamPrice");
    price->SetCaption("Price");
    price->SetLabelWidth(80);
    price->SetDesim(2);
    price->SetValue(1234.5);
    price->setGeometry(8, 40, 200, 26);
    auto* off = new orn::TzParam(form);
    off->setObjectName("ParamOff");
    off->SetCaption("Disabled");
    off->SetLabelWidth(80);
    off->SetValue(42);
    off->setEnabled(false);
    off->setGeometry(8, 72, 200, 26);
    form->FormLoaded();
    shot.Capture(form, {}, QSize(220, 108));
}
