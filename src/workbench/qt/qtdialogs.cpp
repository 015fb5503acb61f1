#include "workbench/qt/qtdialogs.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <map>

namespace orn {

namespace {

QMessageBox::Icon IconOf(DialogKind kind) {
    switch (kind) {
        case DialogKind::Information:
            return QMessageBox::Information;
        case DialogKind::Warning:
            return QMessageBox::Warning;
        case DialogKind::Error:
            return QMessageBox::Critical;
        case DialogKind::Confirmation:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::ButtonRole RoleOf(DialogButton button) {
    switch (button) {
        case DialogButton::OK:
        case DialogButton::Yes:
        case DialogButton::All:
        case DialogButton::YesToAll:
            return QMessageBox::AcceptRole;
        case DialogButton::Cancel:
            return QMessageBox::RejectRole;
        case DialogButton::No:
            return QMessageBox::NoRole;
        case DialogButton::None:
            break;
    }
    return QMessageBox::ActionRole;
}

}  // namespace

DialogButton TQtDialogs::Ask(const DialogRequest& request) {
    QMessageBox box(IconOf(request.kind), QString::fromStdString(EffectiveCaption(request)),
                    QString::fromStdString(request.text), QMessageBox::NoButton, parent_);
    std::map<QAbstractButton*, DialogButton> answers;
    QAbstractButton* escape = nullptr;
    for (DialogButton button : EffectiveButtons(request)) {
        QPushButton* b =
            box.addButton(QString::fromUtf8(DialogButtonCaption(button)), RoleOf(button));
        b->setObjectName(QString::fromUtf8(DialogButtonCaption(button)).remove('&'));
        answers[b] = button;
        if (button == DialogButton::Cancel || (button == DialogButton::No && !escape)) {
            escape = b;
        }
    }
    // Escape or closing the box is "closed without a button" unless Cancel or No is offered.
    if (escape) {
        box.setEscapeButton(escape);
    }
    box.exec();
    const auto it = answers.find(box.clickedButton());
    if (it == answers.end() || (escape == nullptr && box.clickedButton() == nullptr)) {
        return DialogButton::None;
    }
    return it->second;
}

}  // namespace orn
