#include "errors/qt/ErrorCom.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/qt/savepos.h"
#include "text/dialogs.h"

namespace orn {

namespace {

// Letter case ignored for every script, not only ASCII.
bool SameComment(const std::string& a, const std::string& b) {
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

}  // namespace

TFormErrorComment::TFormErrorComment(QWidget* parent) : QDialog(parent), TzForm(this) {
    setObjectName("FormErrorComment");
    setWindowTitle("Comment");
    auto* outer = new QVBoxLayout(this);
    auto* help = new QLabel("Give the comment to log", this);
    help->setObjectName("Label1");
    outer->addWidget(help);
    cbComment_ = new QComboBox(this);
    cbComment_->setObjectName("CBComment");
    cbComment_->setEditable(true);
    cbComment_->setInsertPolicy(QComboBox::NoInsert);
    cbComment_->setMinimumWidth(360);
    cbComment_->setMaxVisibleItems(20);
    outer->addWidget(cbComment_);
    auto* buttons = new QHBoxLayout;
    buttonCancel_ = new QPushButton("Cancel", this);
    buttonCancel_->setObjectName("Button1");
    buttonDelete_ = new QPushButton("&Delete", this);
    buttonDelete_->setObjectName("ButtonDelete");
    buttonOK_ = new QPushButton("OK", this);
    buttonOK_->setObjectName("ButtonOK");
    buttonOK_->setDefault(true);
    buttons->addWidget(buttonCancel_);
    buttons->addWidget(buttonDelete_);
    buttons->addStretch(1);
    buttons->addWidget(buttonOK_);
    outer->addLayout(buttons);
    connect(buttonCancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(buttonOK_, &QPushButton::clicked, this, &QDialog::accept);
    connect(buttonDelete_, &QPushButton::clicked, this, &TFormErrorComment::ButtonDeleteClick);
    auto* savePos = new TSavePos(this);
    savePos->setObjectName("SavePos1");
    savePos->NoSize = true;
    FormLoaded();
}

void TFormErrorComment::Begin() {
    history_.Load();
    cbComment_->clear();
    for (const std::string& item : history_.Items) {
        // The bytes of the line ride along, so that a line that is not valid UTF-8 is written
        // back unchanged.
        cbComment_->addItem(QString::fromStdString(item), QByteArray::fromStdString(item));
    }
    cbComment_->setCurrentIndex(-1);
    cbComment_->setEditText(QString());
}

void TFormErrorComment::ButtonDeleteClick() {
    const int index = cbComment_->currentIndex();
    if (index < 0) {
        return;
    }
    const int next = history_.Delete(index);
    cbComment_->removeItem(index);
    cbComment_->setCurrentIndex(next);
}

bool TFormErrorComment::Finish(bool accepted, std::string& comment, TDialogs* dialogs) {
    if (!accepted) {
        return false;
    }
    const std::string text = cbComment_->currentText().toStdString();
    std::string error;
    if (!history_.Accept(text, error, SameComment)) {
        if (!error.empty()) {
            if (dialogs != nullptr) {
                dialogs->Ask(DialogKind::Error, error, {DialogButton::OK});
            } else {
                QMessageBox::critical(this, "Error", QString::fromStdString(error));
            }
        }
        return false;
    }
    comment = text;
    return true;
}

bool AskComment(std::string& comment, TDialogs* dialogs) {
    TFormErrorComment form;
    form.Begin();
    const bool accepted = form.exec() == QDialog::Accepted;
    return form.Finish(accepted, comment, dialogs);
}

}  // namespace orn
