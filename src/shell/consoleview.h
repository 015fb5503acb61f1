#pragma once
// The program view of headless runs. On a terminal every dialog is asked there; otherwise each
// is printed and answered by fixed rules (DefaultAnswer), so unattended runs never wait. The
// fixed answer is printed ("-> No") when the box offered a choice.

#include <atomic>
#include <functional>
#include <iosfwd>

#include "engine/programview.h"

namespace orn {

// The fixed answers: an error dialog answers No (or else Cancel, or else OK); every other
// dialog answers Yes (or else OK). Anything else offered is never chosen.
DialogButton DefaultAnswer(const DialogRequest& request);

class TConsoleView : public TProgramView {
  public:
    // `interactive`: ask on `in`; otherwise answer by DefaultAnswer. Information goes to `out`,
    // errors to `err`.
    TConsoleView(bool interactive, std::istream& in, std::ostream& out, std::ostream& err);

    using TDialogs::Ask;
    DialogButton Ask(const DialogRequest& request) override;
    void ShowHelpWindow(const std::string& caption, const std::string& text) override;
    // One line "orn: warning: ..." on the error stream.
    void Warn(const std::string& text) override;
    // Calls OnInterrupt once after an interrupt was requested (Ctrl-C, see WatchInterrupts).
    void ProcessPendingMessages() override;

    std::function<void()> OnInterrupt;

    // Makes the first Ctrl-C request a stop (seen at the next line shown in the status line);
    // a second one ends the process as usual.
    static void WatchInterrupts();
    static void RequestInterrupt();

  private:
    bool interactive_;
    std::istream& in_;
    std::ostream& out_;
    std::ostream& err_;
};

}  // namespace orn
