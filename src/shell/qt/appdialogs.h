#pragma once
// The dialogs of the windowed program: Qt message boxes. On a platform without a screen a user
// could look at (offscreen, minimal) nobody could answer a box, so the request is printed on
// standard error and answered by the fixed rules of headless runs instead.

#include "workbench/qt/qtdialogs.h"

namespace orn {

class TAppDialogs : public TDialogs {
  public:
    using TDialogs::Ask;
    DialogButton Ask(const DialogRequest& request) override;
    // On the numeric keypad; where nobody could answer it, printed and cancelled.
    bool AskNumber(const NumberRequest& request, double& value) override;

    // True where boxes are printed and answered by rule instead of shown.
    static bool Unattended();

  private:
    TQtDialogs boxes_;
};

}  // namespace orn
