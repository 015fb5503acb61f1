#include "errors/qt/zErrors.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "errors/ErrorCom.h"
#include "errors/qt/ErrorCom.h"
#include "errors/qt/erroropt.h"
#include "input/qt/ZParam.h"
#include "settings/qt/savepos.h"
#include "text/dialogs.h"

namespace orn {

TErrors::TErrors(TErrorLog& log, QWidget* parent) : QWidget(parent), TzForm(this), log_(log) {
    setObjectName("Errors");
    setWindowTitle("Errors");
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMinMaxButtonsHint);
    resize(640, 320);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* panel = new QWidget(this);
    panel->setObjectName("PanelSettings");
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(6, 4, 6, 4);
    checkBoxErr_ = new QCheckBox("Show Errors", panel);
    checkBoxErr_->setObjectName("CheckBoxErr");
    checkBoxErr_->setChecked(true);
    connect(checkBoxErr_, &QCheckBox::toggled, this, [this](bool on) { log_.SetShowActive(on); });
    row->addWidget(checkBoxErr_);
    auto addButton = [&](const char* name, const char* caption) {
        auto* b = new QPushButton(caption, panel);
        b->setObjectName(name);
        b->setAutoDefault(false);
        row->addWidget(b);
        return b;
    };
    QPushButton* mark = addButton("ButtonMark", "&Mark");
    mark->setToolTip("Mark's a searchpoint");
    QPushButton* clear = addButton("ButtonClear", "&Clear");
    QPushButton* options = addButton("ButtonOptions", "&Options");
    paramErrorLimit_ = new TzParam(panel);
    paramErrorLimit_->setObjectName("ParamErrorLimit");
    paramErrorLimit_->SetCaption("Error limit");
    paramErrorLimit_->SetValue(5);
    paramErrorLimit_->MaxValue = 100000;
    paramErrorLimit_->SetLabelWidth(80);
    paramErrorLimit_->setMinimumSize(150, 26);
    row->addWidget(paramErrorLimit_);
    QPushButton* comment = addButton("ButtonComment", "Comm&ent");
    QPushButton* close = addButton("ButtonClose", "Clo&se");
    row->addStretch(1);
    outer->addWidget(panel);

    errorScreen_ = new QPlainTextEdit(this);
    errorScreen_->setObjectName("ErrorScreen");
    errorScreen_->setReadOnly(true);
    errorScreen_->setLineWrapMode(QPlainTextEdit::NoWrap);
    errorScreen_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    errorScreen_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    outer->addWidget(errorScreen_, 1);

    connect(mark, &QPushButton::clicked, this, [this] { log_.Mark(); });
    connect(clear, &QPushButton::clicked, this, &TErrors::ButtonClearClick);
    connect(options, &QPushButton::clicked, this, &TErrors::ButtonOptionsClick);
    connect(comment, &QPushButton::clicked, this, &TErrors::ButtonCommentClick);
    connect(close, &QPushButton::clicked, this, &QWidget::hide);

    auto* savePos = new TSavePos(this);
    savePos->setObjectName("SavePos1");
    FormLoaded();

    options_ = new TFormErrorOpt(this);
    for (const auto& kind : log_.Kinds()) {
        options_->AddErrorRow(*kind);
    }
    log_.OnKindAdded = [this](TCommError& kind) { options_->AddErrorRow(kind); };
    log_.SetShowActive(true);
    // Reaching the error limit with program errors brings the window forward.
    log_.AutoShow = true;
    log_.SetHost(this);
}

TErrors::~TErrors() {
    log_.FinalFlush();
    log_.SetHost(nullptr);
    log_.OnKindAdded = nullptr;
    log_.AutoShow = false;
}

QPushButton* TErrors::Button(const QString& name) const {
    return findChild<QPushButton*>(name);
}

void TErrors::ScheduleService() {
    QMetaObject::invokeMethod(
        this, [this] { log_.ServePending(); }, Qt::QueuedConnection);
}

void TErrors::AppendMemo(const std::vector<std::string>& lines) {
    QString text;
    for (const std::string& line : lines) {
        if (!text.isEmpty()) {
            text += '\n';
        }
        text += QString::fromStdString(line);
    }
    errorScreen_->appendPlainText(text);
}

void TErrors::ShowErrors() {
    show();
    raise();
    activateWindow();
}

double TErrors::ErrorLimit() const {
    return paramErrorLimit_->Value();
}

void TErrors::ShowLogFileError(const std::string& message) {
    if (dialogs_ != nullptr) {
        dialogs_->Ask(DialogKind::Error, message, {DialogButton::OK});
    } else {
        QMessageBox::critical(nullptr, "Error", QString::fromStdString(message));
    }
}

void TErrors::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    log_.SetShowActive(checkBoxErr_->isChecked());
    log_.ResetErrorCount();
}

void TErrors::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous()) {
        return;  // minimized: still showing
    }
    log_.SetShowActive(false);
    log_.ResetErrorCount();
}

void TErrors::ButtonClearClick() {
    errorScreen_->clear();
    log_.Clear();
}

void TErrors::ButtonOptionsClick() {
    options_->show();
    options_->raise();
    options_->activateWindow();
}

void TErrors::ButtonCommentClick() {
    std::string text;
    const bool ok = askComment_ ? askComment_(text) : AskComment(text, dialogs_);
    if (ok) {
        CommentError().Report(text);
    }
}

namespace {

TErrors* errorWindow = nullptr;

}  // namespace

TErrors& ErrorWindow() {
    if (errorWindow == nullptr) {
        errorWindow = new TErrors(GlobalErrorLog());
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { DestroyErrorWindow(); });
    }
    return *errorWindow;
}

bool ErrorWindowExists() {
    return errorWindow != nullptr;
}

void DestroyErrorWindow() {
    delete errorWindow;
    errorWindow = nullptr;
}

}  // namespace orn
