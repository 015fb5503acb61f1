#include "text/dialogs.h"

#include <cmath>

namespace orn {

const char* DialogCaption(DialogKind kind) {
    switch (kind) {
        case DialogKind::Information:
            return "Information";
        case DialogKind::Warning:
            return "Warning";
        case DialogKind::Error:
            return "Error";
        case DialogKind::Confirmation:
            return "Confirm";
    }
    return "";
}

const char* DialogButtonCaption(DialogButton button) {
    switch (button) {
        case DialogButton::OK:
            return "OK";
        case DialogButton::Cancel:
            return "Cancel";
        case DialogButton::Yes:
            return "Yes";
        case DialogButton::No:
            return "No";
        case DialogButton::All:
            return "All";
        case DialogButton::YesToAll:
            return "Yes to &All";
        case DialogButton::None:
            break;
    }
    return "";
}

std::string EffectiveCaption(const DialogRequest& request) {
    return request.caption.empty() ? DialogCaption(request.kind) : request.caption;
}

std::vector<DialogButton> EffectiveButtons(const DialogRequest& request) {
    if (request.buttons.empty()) {
        return {DialogButton::OK};
    }
    return request.buttons;
}

DialogButton TDialogs::Ask(DialogKind kind, const std::string& text,
                           std::initializer_list<DialogButton> buttons) {
    DialogRequest request;
    request.kind = kind;
    request.text = text;
    request.buttons = buttons;
    return Ask(request);
}

void TDialogs::ShowMessage(const std::string& text) {
    Ask(DialogKind::Information, text, {DialogButton::OK});
}

bool TDialogs::AskNumber(const NumberRequest& request, double& value) {
    return false;
}

TScriptedDialogs::TScriptedDialogs(std::initializer_list<DialogButton> answers,
                                   DialogButton fallback)
    : answers_(answers), fallback_(fallback) {}

DialogButton TScriptedDialogs::Ask(const DialogRequest& request) {
    requests_.push_back(request);
    if (answers_.empty()) {
        return fallback_;
    }
    DialogButton answer = answers_.front();
    answers_.pop_front();
    return answer;
}

bool TScriptedDialogs::AskNumber(const NumberRequest& request, double& value) {
    numberRequests_.push_back(request);
    if (numberAnswers_.empty()) {
        return false;
    }
    std::optional<double> answer = numberAnswers_.front();
    numberAnswers_.pop_front();
    if (!answer || !std::isfinite(*answer) || *answer < request.minValue ||
        *answer > request.maxValue) {
        return false;
    }
    value = *answer;
    return true;
}

}  // namespace orn
