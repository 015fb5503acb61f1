#include "input/numerotcalc.h"

#include <cmath>
#include <limits>

#include "text/separators.h"
#include "text/zdouble.h"
#include "text/zstring.h"

namespace orn {

void TNumerotCalc::Start(double value, int desim, double minValue, double maxValue) {
    op_ = kNoOp;
    orig_ = value;
    desim_ = desim;
    minValue_ = minValue;
    maxValue_ = maxValue;
    acc_.emplace(0, 3, 0, minValue, maxValue);
    entry_.emplace(0, 6, value, minValue, maxValue);
    result_.emplace(desim, desim, value, minValue, maxValue);
    overCaption_ = FormatNumber(desim, maxValue);
    underCaption_ = FormatNumber(desim, minValue);
    Update();
}

void TNumerotCalc::Stop() {
    acc_.reset();
    entry_.reset();
    result_.reset();
    op_ = kNoOp;
    text_.clear();
}

void TNumerotCalc::Update() {
    if (OpPending()) {
        text_ = acc_->ToString() + op_ + entry_->ToString();
        result_->Apply(op_, *acc_, *entry_);
    } else {
        result_->AssignRaw(*entry_);
        text_ = entry_->IsFresh() ? result_->ToString() : entry_->ToString();
    }
}

void TNumerotCalc::Number(int digit) {
    if (!Running()) {
        return;
    }
    entry_->AddDigit(digit);
    Update();
}

void TNumerotCalc::Oper(char op) {
    if (!Running()) {
        return;
    }
    if (OpPending()) {
        CalcResult();
    }
    acc_->AssignRaw(*entry_);
    entry_->Clear();
    op_ = op;
    Update();
}

void TNumerotCalc::CalcResult() {
    if (!Running()) {
        return;
    }
    entry_->Assign(*result_);
    acc_->SetValue(0);
    op_ = kNoOp;
    Update();
}

void TNumerotCalc::BS() {
    if (!Running()) {
        return;
    }
    if (!entry_->Backspace() && OpPending()) {
        op_ = kNoOp;
        entry_->Assign(*acc_);
        entry_->Backspace();
    }
    Update();
}

void TNumerotCalc::Decimal() {
    if (!Running()) {
        return;
    }
    entry_->DecimalPoint();
    Update();
}

void TNumerotCalc::ChangeSign() {
    if (!Running()) {
        return;
    }
    entry_->ChangeSign();
    Update();
}

void TNumerotCalc::Spin(int delta) {
    if (!Running()) {
        return;
    }
    entry_->Step(delta);
    Update();
}

void TNumerotCalc::InitOrig() {
    if (!Running()) {
        return;
    }
    entry_->SetValue(orig_);
    result_->SetValue(orig_);
    acc_->SetValue(0);
    op_ = kNoOp;
    Update();
}

void TNumerotCalc::SetStrVal(const std::string& text) {
    if (!Running()) {
        return;
    }
    acc_->SetValue(0);
    entry_->SetValue(TextToFloat(text));
    op_ = kNoOp;
    Update();
}

void TNumerotCalc::SetToLimit(bool over) {
    if (!Running()) {
        return;
    }
    // The limit itself, not its caption read back: the caption is rounded to the asked
    // decimals (99.999 shows as 100.00) and may carry grouping the display parser stops at.
    acc_->SetValue(0);
    entry_->SetValue(over ? result_->MaxValue : result_->MinValue);
    op_ = kNoOp;
    Update();
}

void TNumerotCalc::LiftLimit(bool over) {
    if (!Running()) {
        return;
    }
    if (over) {
        result_->RemoveMax();
    } else {
        result_->RemoveMin();
    }
    Update();
}

bool TNumerotCalc::KeyPress(char c) {
    switch (c) {
        case '*':
        case '+':
        case '-':
        case '/':
        case 'x':
            Oper(c);
            return true;
        case 8:
            BS();
            return true;
        case ',':
        case '.':
            Decimal();
            return true;
        case '=':
            CalcResult();
            return true;
        case 127:
            InitOrig();
            return true;
        default:
            break;
    }
    if (c >= '0' && c <= '9') {
        Number(c - '0');
        return true;
    }
    return false;
}

bool TNumerotCalc::Paste(const std::string& text) {
    if (!Running()) {
        return false;
    }
    std::string clean = Trim(text);
    if (ThousandSeparator() == ',' && DecimalSeparator() != ',') {
        clean = ReplaceEach(clean, ",", "");
    }
    double value = TextToFloatDef(clean, std::numeric_limits<double>::quiet_NaN());
    if (!std::isfinite(value)) {
        return false;
    }
    acc_->SetValue(0);
    entry_->SetValue(value);
    op_ = kNoOp;
    Update();
    return true;
}

std::optional<double> TNumerotCalc::Accepted() const {
    if (!Running() || !result_->InRange()) {
        return std::nullopt;
    }
    return result_->GetValue();
}

}  // namespace orn
