#pragma once
// Progress of long work in the window: a progress dialog with Cancel, shown once a task passes
// `minimum` units (or is known to be that long), kept responsive by handling pending events at
// most every 50 ms.

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>

#include "text/progress.h"

namespace orn {

class TQtProgress : public TProgress {
  public:
    explicit TQtProgress(QWidget* parent, std::int64_t minimum = 10000);
    ~TQtProgress() override;
    bool Step(const std::string& task, std::int64_t done, std::int64_t total) override;
    void Finish(const std::string& task) override;

    QProgressDialog* Dialog() const { return dialog_; }

  private:
    QWidget* parent_;
    std::int64_t minimum_;
    QPointer<QProgressDialog> dialog_;
    QElapsedTimer sinceEvents_;
};

}  // namespace orn
