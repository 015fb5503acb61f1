#include "shell/qt/exec.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QShortcut>
#include <QVBoxLayout>
#include <exception>

namespace orn {

TFormExec::TFormExec(TDialogs& dialogs, QWidget* parent)
    : QWidget(parent), TzForm(this), dialogs_(dialogs) {
    setObjectName("FormExec");
    setWindowTitle("Exec");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);

    auto* panel = new QHBoxLayout;
    buttonExec_ = new QPushButton("&Exec", this);
    buttonExec_->setObjectName("ButtonExec");
    buttonExec_->setDefault(true);
    buttonExec_->setToolTip("Execute the statement (Ctrl+Return)");
    panel->addWidget(buttonExec_);
    panel->addStretch();
    layout->addLayout(panel);

    memoExec_ = new QPlainTextEdit(this);
    memoExec_->setObjectName("MemoExec");
    memoExec_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    memoExec_->setPlaceholderText(
        "A statement without result set, such as\n"
        "UPDATE orders SET ShipVia = 'UPS' WHERE OrderNo = 1003");
    layout->addWidget(memoExec_, 1);
    resize(480, 260);

    connect(buttonExec_, &QPushButton::clicked, this, [this] { Exec(); });
    for (QKeySequence key :
         {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(key, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] { Exec(); });
    }
    FormLoaded();
}

bool TFormExec::Exec() {
    try {
        queryExec_.close();
        queryExec_.setSql(memoExec_->toPlainText().toStdString());
        queryExec_.execute();
        return true;
    } catch (const std::exception& e) {
        dialogs_.Ask(DialogKind::Error, *e.what() ? e.what() : "Error", {DialogButton::OK});
    }
    return false;
}

}  // namespace orn
