#include "shell/qt/ShowRunningForm.h"

#include <QFrame>
#include <QVBoxLayout>

#include "settings/qt/savepos.h"

namespace orn {

TFormShowRunning::TFormShowRunning(QWidget* parent) : QWidget(parent, Qt::Window), TzForm(this) {
    setObjectName("FormShowRunning");
    setWindowTitle("Running");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    panel_ = new QLabel("Running ORN", this);
    panel_->setObjectName("Panel1");
    panel_->setAlignment(Qt::AlignCenter);
    panel_->setFrameShape(QFrame::Panel);
    panel_->setFrameShadow(QFrame::Raised);
    QFont font = panel_->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 2.4);
    panel_->setFont(font);
    panel_->setMargin(24);
    layout->addWidget(panel_);
    resize(panel_->sizeHint().expandedTo(QSize(320, 120)));
    savePos_ = new TSavePos(this);
    FormLoaded();
}

}  // namespace orn
