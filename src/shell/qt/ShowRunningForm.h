#pragma once
// The small "Running" window shown while the file given on the command line is opened (and a
// program in it runs). It has no behaviour of its own; the windowed start shows and hides it.

#include <QLabel>
#include <QWidget>

#include "settings/qt/zform.h"

namespace orn {

class TSavePos;

class TFormShowRunning : public QWidget, public TzForm {
    Q_OBJECT

  public:
    explicit TFormShowRunning(QWidget* parent = nullptr);

    QLabel* Panel() const { return panel_; }

  private:
    QLabel* panel_;
    TSavePos* savePos_;
};

}  // namespace orn
