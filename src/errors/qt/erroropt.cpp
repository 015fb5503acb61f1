#include "errors/qt/erroropt.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "errors/errorswitches.h"
#include "errors/zErrors.h"
#include "settings/qt/savepos.h"

namespace orn {

TzErrCheckBox::TzErrCheckBox(QWidget* parent, TCommError* kind, int column)
    : TCheckBoxIni(parent), kind_(kind), column_(column) {
    // After the box's own handling (which saves), the kind follows the box.
    connect(this, &QCheckBox::stateChanged, this, &TzErrCheckBox::Mirror);
}

void TzErrCheckBox::Mirror() {
    if (kind_ == nullptr) {
        return;
    }
    const bool on = checkState() == Qt::Checked;
    if (column_ == 0) {
        kind_->SetShow(on);
    } else if (column_ == 1) {
        kind_->SetLog(on);
    } else {
        kind_->SetExt(on);
    }
}

TFormErrorOpt::TFormErrorOpt(QWidget* parent) : QDialog(parent), TzForm(this) {
    setObjectName("FormErrorOpt");
    setWindowTitle("Error options");
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    resize(320, 220);

    auto* outer = new QVBoxLayout(this);
    auto* top = new QWidget(this);
    top->setObjectName("PanelTop");
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(ShowLeft, 4, 4, 0);
    auto* label1 = new QLabel("Show", top);
    label1->setObjectName("Label1");
    auto* label2 = new QLabel("Log to file", top);
    label2->setObjectName("Label2");
    editLogFile_ = new QLineEdit("errorlog.txt", top);
    editLogFile_->setObjectName("EditLogFile");
    // The log file's name is fixed; the box only tells it.
    editLogFile_->setReadOnly(true);
    topLayout->addWidget(label1);
    topLayout->addWidget(label2);
    topLayout->addWidget(editLogFile_, 1);
    outer->addWidget(top);

    sbErrOpt_ = new QScrollArea(this);
    sbErrOpt_->setObjectName("sbErrOpt");
    rows_ = new QWidget;
    rows_->setObjectName("sbErrOptRows");
    sbErrOpt_->setWidget(rows_);
    sbErrOpt_->setWidgetResizable(false);
    outer->addWidget(sbErrOpt_, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    buttonClose_ = new QPushButton("Close", this);
    buttonClose_->setObjectName("ButtonClose");
    buttonClose_->setDefault(true);
    connect(buttonClose_, &QPushButton::clicked, this, &QWidget::hide);
    bottom->addWidget(buttonClose_);
    outer->addLayout(bottom);

    auto* savePos = new TSavePos(this);
    savePos->setObjectName("SavePos1");
    FormLoaded();
}

TzErrCheckBox* TFormErrorOpt::Box(const std::string& name) const {
    for (TzErrCheckBox* box : rows_->findChildren<TzErrCheckBox*>()) {
        if (box->objectName().compare(QString::fromStdString(name), Qt::CaseInsensitive) == 0) {
            return box;
        }
    }
    return nullptr;
}

TCommError* TFormErrorOpt::FindError(const std::string& code) const {
    const TzErrCheckBox* box = Box(ErrorSwitchName(code, 0, ""));
    return box != nullptr ? box->CommError() : nullptr;
}

void TFormErrorOpt::AddErrorRow(TCommError& kind) {
    const std::string suffix = ErrorRowSuffix(kind.Code(), [this](const std::string& name) {
        return findChild<QObject*>(QString::fromStdString(name)) != nullptr || Box(name) != nullptr;
    });
    struct Column {
        int left;
        int width;
        QString caption;
        bool on;
    };
    const Column columns[3] = {
        {ShowLeft, 40, QString::fromStdString(kind.Code()), kind.Show()},
        {LogLeft, 20, QString(), kind.Log()},
        {LogLeft + 20, 200, QString::fromStdString(kind.Description()), kind.Ext()},
    };
    for (int c = 0; c < 3; ++c) {
        auto* box = new TzErrCheckBox(rows_, &kind, c);
        box->Ini().AutoSave = false;
        box->setGeometry(columns[c].left, rowTop_, columns[c].width, RowHeight);
        const std::string name = ErrorSwitchName(kind.Code(), c, suffix);
        // A code a component name cannot hold leaves the box unnamed: it works but is not
        // stored.
        if (IsComponentName(name)) {
            box->setObjectName(QString::fromStdString(name));
        }
        box->setText(columns[c].caption);
        box->setChecked(columns[c].on);
        box->Loaded();
        box->Ini().AutoSave = true;
        box->show();
    }
    rowTop_ += RowHeight;
    rows_->resize(std::max(rows_->width(), LogLeft + 20 + 200), rowTop_ + 4);
}

}  // namespace orn
