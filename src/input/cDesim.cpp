#include "input/cDesim.h"

#include <algorithm>
#include <cmath>

#include "text/zdouble.h"

namespace orn {

namespace {

// Below this every whole number is exact in a double, so typed digits can be kept as a whole
// number of units of the last decimal and divided once: 0.123 typed is the double nearest
// 0.123, not 0.1 + 0.02 + 0.003.
constexpr double kExactLimit = 9007199254740992.0;  // 2^53

double Pow10(int n) {
    return std::pow(10.0, n);
}

}  // namespace

cDesim::cDesim(int minShowDec, int maxDec, double value, double minValue, double maxValue)
    : MinShowDec(minShowDec), MaxDec(maxDec), MinValue(minValue), MaxValue(maxValue) {
    SetValue(value);
}

void cDesim::SetValue(double v) {
    Value = v;
    State = kFresh;
    Sign = +1;
}

void cDesim::SetValueKeepSign(double v) {
    if (GetValue() < 0) {
        Sign = -1;
    }
    Value = v;
    if (v != 0) {
        Sign = +1;
    }
}

void cDesim::AssignRaw(const cDesim& src) {
    Value = src.GetValue();
    Sign = +1;
}

void cDesim::Clear() {
    Value = 0;
    Sign = +1;
    State = kEmpty;
}

void cDesim::AddDigit(int digit) {
    if (State == kFresh) {
        Value = 0;
    }
    if (State < kWhole) {
        State = kWhole;
    }
    double s = Value < 0 ? -1 : +1;
    double m = std::fabs(Value);
    if (State >= 0) {
        if (State >= MaxDec) {
            return;
        }
        ++State;
        double scale = Pow10(State);
        if (m * scale < kExactLimit) {
            m = (std::round(m * Pow10(State - 1)) * 10 + digit) / scale;
        } else {
            m += digit / scale;
        }
    } else {
        m = m * 10 + digit;
    }
    Value = Sign * s * m;
    if (m > 0) {
        Sign = +1;
    }
}

void cDesim::MakeEditable() {
    State = std::min(DecimalsOf(GetValue()), MaxDec);
    // Rounded as shown, through the stored form so that grouping cannot get in the way.
    SetValueKeepSign(DotTextToFloatDef(FormatDotNumber(State, GetValue()), GetValue()));
}

bool cDesim::Backspace() {
    if (State == kEmpty) {
        if (Sign == +1) {
            return false;
        }
        Sign = +1;
        return true;
    }
    if (State == kFresh) {
        MakeEditable();
        return true;
    }
    if (State == kWhole && Value == 0) {
        Sign = +1;
        State = kEmpty;
        return true;
    }
    if (State == 0) {
        State = kWhole;
        return true;
    }
    double v = GetValue();
    if (State == kWhole) {
        SetValueKeepSign(std::trunc(v / 10));
        if (Value == 0) {
            State = kEmpty;
        }
        return true;
    }
    // State above 0: the last typed decimal goes. The value has State decimals, so it is taken
    // as a whole number of them first; truncating v * 10^(State-1) directly would turn 0.570
    // into 0.56.
    double scale = Pow10(State);
    double m = std::fabs(v);
    double kept;
    if (m * scale < kExactLimit) {
        kept = std::trunc(std::round(m * scale) / 10) / Pow10(State - 1);
    } else {
        double p = Pow10(State - 1);
        kept = std::trunc(m * p) / p;
    }
    SetValueKeepSign(v < 0 ? -kept : kept);
    --State;
    return true;
}

void cDesim::DecimalPoint() {
    if (State == kFresh && MaxDec > 0) {
        // The whole part stays (-0.5 keeps its minus); the decimals are typed anew.
        SetValueKeepSign(std::trunc(GetValue()));
        State = 0;
        return;
    }
    if (MaxDec > 0 && State < 0) {
        State = 0;
    }
}

void cDesim::ChangeSign() {
    if (GetValue() == 0) {
        Sign = -Sign;
    } else {
        SetValueKeepSign(-GetValue());
    }
}

void cDesim::Apply(char op, const cDesim& a, const cDesim& b) {
    double x = a.GetValue();
    double y = b.GetValue();
    switch (op) {
        case '+':
            SetValue(x + y);
            break;
        case '-':
            SetValue(x - y);
            break;
        case '*':
        case 'x':
            SetValue(x * y);
            break;
        case '/':
            SetValue(y == 0 ? x : x / y);
            break;
        default:
            break;
    }
}

bool cDesim::InRange() const {
    return std::isfinite(GetValue()) && !IsOver() && !IsUnder();
}

std::string cDesim::ToString() const {
    double v = GetValue();
    if (State == kFresh) {
        int n = std::min(std::max(DecimalsOf(v), MinShowDec), MaxDec);
        return FormatNumber(n, v);
    }
    std::string text;
    if (v == 0 && State == kEmpty) {
        text = "";
    } else if (v == 0 && State == kWhole) {
        text = "0";
    } else {
        text = FormatNumber(State, v);
    }
    if (State == 0) {
        text += ".";
    }
    if (Sign == -1 && v == 0) {
        text = "-" + text;
    }
    return text;
}

}  // namespace orn
