#pragma once
// The dialog interface answered by Qt message boxes: the kind's icon, the caption, the text and
// exactly the buttons asked for, with their own captions.

#include "text/dialogs.h"

class QWidget;

namespace orn {

class TQtDialogs : public TDialogs {
  public:
    explicit TQtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    using TDialogs::Ask;
    DialogButton Ask(const DialogRequest& request) override;

  private:
    QWidget* parent_;
};

}  // namespace orn
