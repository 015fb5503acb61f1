#pragma once
// The one interface through which every part of ORN asks the user something: a message of some
// kind with a set of buttons, answered by the button the user chose. The windowed program answers
// with Qt message boxes, headless runs on the terminal or by fixed rules, tests by a script.

#include <deque>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace orn {

enum class DialogKind { Information, Warning, Error, Confirmation };

// A button, and the answer it gives. None is the answer of a dialog closed without a button.
enum class DialogButton { None, OK, Cancel, Yes, No, All, YesToAll };

struct DialogRequest {
    DialogKind kind = DialogKind::Information;
    std::string caption;                // empty: the kind's standard caption (see DialogCaption)
    std::string text;                   // may hold line breaks ("\r\n" or "\n")
    std::vector<DialogButton> buttons;  // in display order; empty means OK alone
};

// A number asked on the numeric keypad: accepted only between minValue and maxValue.
struct NumberRequest {
    std::string prompt;
    double value = 0;  // the value the keypad starts from
    int decimals = 0;  // decimals shown; negative: general format
    double minValue = 0;
    double maxValue = 0;
    bool mask = false;  // typed characters show as "*"
};

// "Information", "Warning", "Error", "Confirm".
const char* DialogCaption(DialogKind kind);
// "OK", "Cancel", "Yes", "No", "All", "Yes to &All" ("" for None).
const char* DialogButtonCaption(DialogButton button);
// The caption a dialog shows: request.caption, or the kind's standard caption.
std::string EffectiveCaption(const DialogRequest& request);
// The buttons a dialog shows: request.buttons, or OK alone.
std::vector<DialogButton> EffectiveButtons(const DialogRequest& request);

class TDialogs {
  public:
    virtual ~TDialogs() = default;
    // Shows the dialog modally and returns the chosen button (None when closed without one).
    virtual DialogButton Ask(const DialogRequest& request) = 0;

    DialogButton Ask(DialogKind kind, const std::string& text,
                     std::initializer_list<DialogButton> buttons);
    // An information box with OK alone.
    void ShowMessage(const std::string& text);
    // Asks a number; true with the confirmed value (never outside the limits) in `value`, false
    // when cancelled or when this answerer cannot ask (the default).
    virtual bool AskNumber(const NumberRequest& request, double& value);
};

// Answers from a list given in advance and records every request; when the list runs out it
// answers `fallback`. For tests and scripted runs.
class TScriptedDialogs : public TDialogs {
  public:
    explicit TScriptedDialogs(std::initializer_list<DialogButton> answers = {},
                              DialogButton fallback = DialogButton::None);
    using TDialogs::Ask;
    DialogButton Ask(const DialogRequest& request) override;

    void Queue(DialogButton answer) { answers_.push_back(answer); }
    const std::vector<DialogRequest>& Requests() const { return requests_; }
    std::size_t Pending() const { return answers_.size(); }

    // Number answers in order; nullopt cancels. An answer outside the request's limits is
    // refused as the keypad refuses it (false). With no answer left the ask is cancelled.
    bool AskNumber(const NumberRequest& request, double& value) override;
    void QueueNumber(std::optional<double> answer) { numberAnswers_.push_back(answer); }
    const std::vector<NumberRequest>& NumberRequests() const { return numberRequests_; }

  private:
    std::deque<std::optional<double>> numberAnswers_;
    std::vector<NumberRequest> numberRequests_;
    std::deque<DialogButton> answers_;
    DialogButton fallback_;
    std::vector<DialogRequest> requests_;
};

}  // namespace orn
