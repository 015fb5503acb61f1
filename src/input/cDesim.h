#pragma once
// One number as the keypad sees it while the user types it: the value, how far the typing has
// got (State), and a pending minus that can be shown before the first non-zero digit.

#include <string>

namespace orn {

class cDesim {
  public:
    // State values below 0; 0 and above count the decimals typed (0: the point was typed).
    static constexpr int kFresh = -3;  // a complete value is shown; a digit replaces it
    static constexpr int kEmpty = -2;  // nothing typed yet
    static constexpr int kWhole = -1;  // typing the whole part

    cDesim(int minShowDec, int maxDec, double value, double minValue, double maxValue);

    double Value = 0;
    int State = kFresh;
    int Sign = +1;  // GetValue is Sign * Value; -1 only matters while Value is 0
    int MinShowDec;
    int MaxDec;
    double MinValue;
    double MaxValue;

    double GetValue() const { return Sign * Value; }
    bool IsFresh() const { return State == kFresh; }

    void SetValue(double v);
    // Keeps a minus when the value becomes 0 from below; State is unchanged.
    void SetValueKeepSign(double v);
    void Assign(const cDesim& src) { SetValue(src.GetValue()); }
    void AssignRaw(const cDesim& src);
    void Clear();

    void AddDigit(int digit);
    // Returns whether there was something to remove. On a fresh value the first backspace only
    // makes it editable (rounded to the decimals it shows, at most MaxDec).
    bool Backspace();
    // On a fresh value the whole part is kept and the decimals are typed anew: 12.5, ".", 7
    // gives 12.7 and 12, ".", 5 gives 12.5.
    void DecimalPoint();
    void ChangeSign();
    void Step(double delta) { SetValueKeepSign(GetValue() + delta); }
    // This object := a op b for op "+", "-", "*" or "x", "/" (a divisor of 0 gives a); any
    // other op leaves it unchanged.
    void Apply(char op, const cDesim& a, const cDesim& b);

    // A value that is not a finite number is never in range.
    bool InRange() const;
    bool IsOver() const { return GetValue() > MaxValue; }
    bool IsUnder() const { return GetValue() < MinValue; }
    void RemoveMax() { MaxValue = 1e300; }
    void RemoveMin() { MinValue = -1e300; }

    // What the keypad shows: a fresh value with the decimals it needs (at least MinShowDec, at
    // most MaxDec), a typed one as far as it was typed ("12." after the point, "-" for a lone
    // minus).
    std::string ToString() const;

  private:
    void MakeEditable();
};

}  // namespace orn
