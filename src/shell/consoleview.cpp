#include "shell/consoleview.h"

#include <csignal>
#include <iostream>
#include <string>

#include "text/zstring.h"

namespace orn {

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnSigint(int) {
    gInterrupted = 1;
    std::signal(SIGINT, SIG_DFL);
}

bool Offers(const std::vector<DialogButton>& buttons, DialogButton b) {
    for (DialogButton x : buttons) {
        if (x == b) {
            return true;
        }
    }
    return false;
}

std::string Plain(const std::string& text) {
    return ReplaceEach(text, "\r\n", "\n");
}

char Key(DialogButton b) {
    return DialogButtonCaption(b)[0];
}

}  // namespace

DialogButton DefaultAnswer(const DialogRequest& request) {
    std::vector<DialogButton> buttons = EffectiveButtons(request);
    const bool error = request.kind == DialogKind::Error;
    const DialogButton order[] = {error ? DialogButton::No : DialogButton::Yes,
                                  error ? DialogButton::Cancel : DialogButton::OK,
                                  error ? DialogButton::OK : DialogButton::No};
    for (DialogButton b : order) {
        if (Offers(buttons, b)) {
            return b;
        }
    }
    return buttons.front();
}

TConsoleView::TConsoleView(bool interactive, std::istream& in, std::ostream& out, std::ostream& err)
    : interactive_(interactive), in_(in), out_(out), err_(err) {}

DialogButton TConsoleView::Ask(const DialogRequest& request) {
    std::ostream& to = request.kind == DialogKind::Error ? err_ : out_;
    std::vector<DialogButton> buttons = EffectiveButtons(request);
    to << EffectiveCaption(request) << ": " << Plain(request.text) << "\n";
    if (interactive_) {
        std::string choices;
        for (DialogButton b : buttons) {
            choices += choices.empty() ? "" : "/";
            choices += std::string("[") + Key(b) + "]" + (DialogButtonCaption(b) + 1);
        }
        std::string answer;
        while (true) {
            to << choices << "? " << std::flush;
            if (!std::getline(in_, answer)) {
                break;  // end of input: fall back to the fixed answer
            }
            std::string typed = Trim(answer);
            for (DialogButton b : buttons) {
                if (!typed.empty() &&
                    (SameText(typed, DialogButtonCaption(b)) ||
                     (typed.size() == 1 && SameText(typed, std::string(1, Key(b)))))) {
                    return b;
                }
            }
        }
    }
    DialogButton answer = DefaultAnswer(request);
    if (buttons.size() > 1) {
        // A box with one button offers no choice: saying which was taken is only noise.
        to << "-> " << DialogButtonCaption(answer) << "\n";
    }
    to << std::flush;
    return answer;
}

void TConsoleView::Warn(const std::string& text) {
    err_ << "orn: warning: " << Plain(text) << "\n" << std::flush;
}

void TConsoleView::ShowHelpWindow(const std::string& caption, const std::string& text) {
    out_ << caption << "\n" << Plain(text) << std::flush;
}

void TConsoleView::ProcessPendingMessages() {
    if (gInterrupted) {
        gInterrupted = 0;
        if (OnInterrupt) {
            OnInterrupt();
        }
    }
}

void TConsoleView::WatchInterrupts() {
    std::signal(SIGINT, OnSigint);
}

void TConsoleView::RequestInterrupt() {
    gInterrupted = 1;
}

}  // namespace orn
