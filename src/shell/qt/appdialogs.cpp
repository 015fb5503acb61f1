#include "shell/qt/appdialogs.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <iostream>
#include <map>

#include "shell/consoleview.h"

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
            return QMessageBox::AcceptRole;
        case DialogButton::Cancel:
            return QMessageBox::RejectRole;
        case DialogButton::Yes:
        case DialogButton::YesToAll:
            return QMessageBox::YesRole;
        case DialogButton::No:
            return QMessageBox::NoRole;
        case DialogButton::All:
        case DialogButton::None:
            break;
    }
    return QMessageBox::ActionRole;
}

// Buttons carry an accelerator: "&OK", "&Yes"; "Yes to &All" has its own.
QString ButtonText(DialogButton button) {
    QString text = QString::fromUtf8(DialogButtonCaption(button));
    return text.contains('&') ? text : "&" + text;
}

}  // namespace

bool TAppDialogs::Unattended() {
    const QString platform = QGuiApplication::platformName();
    return platform == "offscreen" || platform == "minimal";
}

DialogButton TAppDialogs::Ask(const DialogRequest& request) {
    if (Unattended()) {
        const DialogButton answer = DefaultAnswer(request);
        std::cerr << EffectiveCaption(request) << ": " << request.text << "\n";
        return answer;
    }
    QWidget* parent = parent_ ? parent_.data() : QApplication::activeWindow();
    QMessageBox box(IconOf(request.kind), QString::fromStdString(EffectiveCaption(request)),
                    QString::fromStdString(request.text), QMessageBox::NoButton, parent);
    std::map<QAbstractButton*, DialogButton> answers;
    for (DialogButton button : EffectiveButtons(request)) {
        QPushButton* shown = box.addButton(ButtonText(button), RoleOf(button));
        answers[shown] = button;
        if (answers.size() == 1) {
            box.setDefaultButton(shown);
        }
        if (button == DialogButton::Cancel || button == DialogButton::No) {
            box.setEscapeButton(shown);
        }
    }
    box.exec();
    auto found = answers.find(box.clickedButton());
    return found == answers.end() ? DialogButton::None : found->second;
}

}  // namespace orn
