#pragma once
// The keypad's calculation: a small left-to-right calculator (no precedence) over three numbers,
// the left operand Acc, the number being typed Entry and the pending Result, with one pending
// operator. The keypad window shows what this object says and sends it every key and click, so
// all of the keypad's behaviour can be checked without a window.

#include <optional>
#include <string>

#include "input/cDesim.h"

namespace orn {

class TNumerotCalc {
  public:
    static constexpr char kNoOp = ' ';

    // Begins one ask: Entry and Result start at value, Acc at 0, no operator. Result shows
    // exactly `desim` decimals and is accepted only between the limits.
    void Start(double value, int desim, double minValue, double maxValue);
    // Ends the ask; the three numbers are gone until the next Start.
    void Stop();
    bool Running() const { return acc_.has_value(); }

    void Number(int digit);
    // A pending operator is evaluated first, so chains go strictly left to right.
    void Oper(char op);
    void CalcResult();
    // Backspace; on an empty entry it withdraws the pending operator and goes back to the
    // left operand.
    void BS();
    void Decimal();
    void ChangeSign();
    void Spin(int delta);
    // Back to the value the ask started from.
    void InitOrig();
    // The entry becomes the text read with the display parser.
    void SetStrVal(const std::string& text);
    // A left click on "Over" or "Under": the entry becomes that limit.
    void SetToLimit(bool over);
    // Ctrl with a right click on "Over" or "Under": that limit no longer applies in this ask.
    void LiftLimit(bool over);
    // A typed character as the keypad reads it (digits, "+", "-", "*", "x", "/", "," or ".",
    // "=", 8 backspace, 127 Ctrl+Backspace); false for a character that does nothing.
    bool KeyPress(char c);
    // A number from the clipboard: blanks dropped, and with "," as thousands separator and "."
    // as decimal separator the commas too; then the display parser. False, and nothing
    // changes, when the text is not a number.
    bool Paste(const std::string& text);

    // What the keypad shows.
    const std::string& Text() const { return text_; }
    std::string MaskedText() const { return std::string(text_.size(), '*'); }
    // The shown value is highlighted while the next digit replaces it.
    bool TextSelected() const { return Running() && entry_->IsFresh(); }
    bool ShowOver() const { return Running() && result_->IsOver(); }
    bool ShowUnder() const { return Running() && result_->IsUnder(); }
    bool ShowOK() const { return Running() && result_->InRange(); }
    double OrigValue() const { return orig_; }
    int Desim() const { return desim_; }
    // The captions of "Over" and "Under": the limits with the asked decimals.
    const std::string& OverCaption() const { return overCaption_; }
    const std::string& UnderCaption() const { return underCaption_; }
    char Op() const { return op_; }

    // The value OK returns (not rounded to the asked decimals); none while it lies outside the
    // limits or is not a finite number.
    std::optional<double> Accepted() const;

    const cDesim& Acc() const { return *acc_; }
    const cDesim& Entry() const { return *entry_; }
    const cDesim& Result() const { return *result_; }

  private:
    void Update();
    bool OpPending() const { return op_ != kNoOp; }

    std::optional<cDesim> acc_;
    std::optional<cDesim> entry_;
    std::optional<cDesim> result_;
    char op_ = kNoOp;
    double orig_ = 0;
    int desim_ = 0;
    double minValue_ = 0;
    double maxValue_ = 0;
    std::string text_;
    std::string overCaption_;
    std::string underCaption_;
};

}  // namespace orn
