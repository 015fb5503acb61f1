#pragma once
// What a program runner shows or asks. The query window implements it with Qt widgets, the
// headless run with the terminal, tests with a script. Dialogs come through TDialogs::Ask.

#include <string>

#include "text/dialogs.h"

namespace orn {

class TParam;

class TProgramView : public TDialogs {
  public:
    // The status line shows the line about to run (debug level 1 and up).
    virtual void ShowStatus(const std::string& line) {}
    // The run is over: the status line gives way to the title again.
    virtual void HideStatus() {}
    // Handles pending user input once; this is how Stop reaches a running program.
    virtual void ProcessPendingMessages() {}
    // A non-modal window with a caption and a read-only text (each call opens another one).
    virtual void ShowHelpWindow(const std::string& caption, const std::string& text) {}
    virtual void TitleChanged(const std::string& title) {}
    // Something the user should know that does not stop anything (a program file whose lines
    // will not run as numbered). The headless run prints it on standard error.
    virtual void Warn(const std::string& text) {}
    // Parameter rows: a new row (placed below all others, already visible), a row shown again
    // and moved below all other visible rows, a row hidden.
    virtual void ParamCreated(TParam& param) {}
    virtual void ParamShown(TParam& param) {}
    virtual void ParamHidden(TParam& param) {}
};

}  // namespace orn
