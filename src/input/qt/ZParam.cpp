#include "input/qt/ZParam.h"

#include "input/qt/numerot.h"

namespace orn {

TzParam::TzParam(QWidget* parent) : TCounter(parent) {
    SetDesim(0);
    SetBevelWidth(1);
    SetLabelWidth(30);
    Ini().AutoSave = false;
    Ini().SetGenName("Param");
    SetOnClick([this] { DoAsk(); });
}

std::string TzParam::EffectivePrompt() const {
    if (!Prompt.empty()) {
        return Prompt;
    }
    if (!toolTip().isEmpty()) {
        return toolTip().toStdString();
    }
    if (!Caption().empty()) {
        return Caption();
    }
    return objectName().toStdString();
}

bool TzParam::Ask() {
    double val = Value();
    const std::string prompt = EffectivePrompt();
    if (BeforeAsk && !BeforeAsk(*this, val)) {
        return false;
    }
    if (!AskNumber(prompt, val, Desim(), MinValue, MaxValue, false)) {
        return false;
    }
    if (AfterAsk && !AfterAsk(*this, val)) {
        return false;
    }
    SetValue(val);
    if (!Ini().AutoSave) {
        Ini().Save();
    }
    if (AfterSet && !AfterSet(*this, val)) {
        return false;
    }
    return true;
}

}  // namespace orn
