#include "workbench/qt/progress_qt.h"

#include <QCoreApplication>
#include <climits>

namespace orn {

TQtProgress::TQtProgress(QWidget* parent, std::int64_t minimum)
    : parent_(parent), minimum_(minimum) {}

TQtProgress::~TQtProgress() {
    delete dialog_;
}

bool TQtProgress::Step(const std::string& task, std::int64_t done, std::int64_t total) {
    if (!dialog_) {
        if (done < minimum_ && total < minimum_) {
            return true;
        }
        dialog_ = new QProgressDialog(parent_);
        dialog_->setObjectName("ProgressDialog");
        dialog_->setWindowTitle("Working");
        dialog_->setCancelButtonText("Cancel");
        dialog_->setWindowModality(Qt::WindowModal);
        dialog_->setMinimumDuration(0);
        dialog_->setAutoClose(false);
        dialog_->setAutoReset(false);
        sinceEvents_.start();
    }
    const QString label = QString::fromStdString(task);
    if (dialog_->labelText() != label) {
        dialog_->setLabelText(label);
    }
    // A range of 0..0 is Qt's busy indicator for work of unknown length.
    const int maximum = total > 0 ? static_cast<int>(std::min<std::int64_t>(total, INT_MAX)) : 0;
    if (dialog_->maximum() != maximum) {
        dialog_->setRange(0, maximum);
    }
    if (maximum > 0) {
        dialog_->setValue(static_cast<int>(std::min<std::int64_t>(done, maximum)));
    }
    if (!dialog_->isVisible()) {
        dialog_->show();
    }
    if (sinceEvents_.elapsed() >= 50) {
        QCoreApplication::processEvents();
        sinceEvents_.restart();
    }
    return !dialog_->wasCanceled();
}

void TQtProgress::Finish(const std::string&) {
    if (dialog_) {
        dialog_->hide();
        dialog_->deleteLater();
        dialog_ = nullptr;
    }
}

}  // namespace orn
