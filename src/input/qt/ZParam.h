#pragma once
// TzParam: a TCounter the user edits. A click opens the numeric keypad with a prompt and
// limits; the accepted value is set and stored (key: the name without "Param").

#include <QString>
#include <functional>
#include <string>

#include "input/qt/zComp.h"

namespace orn {

class TzParam : public TCounter {
    Q_OBJECT
    Q_PROPERTY(double MinValue MEMBER MinValue)
    Q_PROPERTY(double MaxValue MEMBER MaxValue)
    Q_PROPERTY(QString Prompt READ PromptQ WRITE SetPromptQ)

  public:
    // Gets the value by reference; false stops the ask.
    using TNotifyAskEvent = std::function<bool(TzParam& sender, double& value)>;

    explicit TzParam(QWidget* parent = nullptr);

    double MinValue = 0;
    double MaxValue = 100000;
    std::string Prompt;
    // Before the keypad opens (may change the starting value), after it confirmed (may
    // change the value to be set), after the value was set and stored.
    TNotifyAskEvent BeforeAsk;
    TNotifyAskEvent AfterAsk;
    TNotifyAskEvent AfterSet;

    // The click handler.
    void DoAsk() { Ask(); }
    // Asks the value on the keypad. True when a value was set and AfterSet (if any) agreed; a
    // value the user confirmed is always stored.
    bool Ask();
    // The question the keypad shows: Prompt, else the hint, else the caption, else the name.
    std::string EffectivePrompt() const;

  protected:
    std::string GenericPrefix() const override { return "zParam"; }

  private:
    QString PromptQ() const { return QString::fromStdString(Prompt); }
    void SetPromptQ(const QString& p) { Prompt = p.toStdString(); }
};

}  // namespace orn
