#pragma once
// The dialogs of the windowed program: Qt message boxes over the active window. On a platform
// without a screen a user could look at (offscreen, minimal) nobody could answer a box, so the
// request is printed on standard error and answered by the fixed rules of headless runs.

#include <QPointer>
#include <QWidget>

#include "text/dialogs.h"

namespace orn {

class TAppDialogs : public TDialogs {
  public:
    // Boxes are centred over `parent`, else over the active window.
    explicit TAppDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    using TDialogs::Ask;
    DialogButton Ask(const DialogRequest& request) override;

    // True where boxes are printed and answered by rule instead of shown.
    static bool Unattended();

  private:
    QPointer<QWidget> parent_;
};

}  // namespace orn
