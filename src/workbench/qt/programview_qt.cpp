#include "workbench/qt/programview_qt.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "engine/param.h"
#include "errors/zErrors.h"

namespace orn {

namespace {

// Keeps a child filling its parent (the status line over the title).
class FillParent : public QObject {
  public:
    FillParent(QWidget* child) : QObject(child), child_(child) {
        child->parentWidget()->installEventFilter(this);
        child->setGeometry(child->parentWidget()->rect());
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize && watched == child_->parentWidget()) {
            child_->setGeometry(child_->parentWidget()->rect());
        }
        return false;
    }

  private:
    QWidget* child_;
};

}  // namespace

TParamRow::TParamRow(TParam& param, QWidget* parent) : QFrame(parent), param_(param) {
    const QString caption = QString::fromStdString(param.Caption());
    setObjectName("Param");
    setAccessibleName(caption);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setFixedHeight(param.Height() > 0 ? param.Height() : 20);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 0, 0);
    layout->setSpacing(4);
    caption_ = new QLabel(caption, this);
    caption_->setObjectName("ParamCaption");
    caption_->setTextFormat(Qt::PlainText);
    edit_ = new QLineEdit(QString::fromStdString(param.Value()), this);
    edit_->setObjectName("ParamEdit");
    edit_->setAccessibleName(caption);
    edit_->setFixedWidth(param.EditWidth());
    edit_->setFixedHeight(height());
    layout->addWidget(caption_, 1);
    layout->addWidget(edit_, 0, Qt::AlignRight | Qt::AlignTop);
    QObject::connect(edit_, &QLineEdit::textChanged, this,
                     [this](const QString& text) { param_.SetValue(text.toStdString()); });
}

void TClickLabel::mousePressEvent(QMouseEvent* event) {
    TElidedLabel::mousePressEvent(event);
    emit Clicked();
}

TQtProgramView::TQtProgramView(TDialogs& dialogs, QLabel* title, QWidget* params)
    : dialogs_(&dialogs), title_(title), params_(params) {
    if (title) {
        status_ = new TClickLabel(title);
        status_->setObjectName("StatusLabel");
        status_->setAccessibleName("Running line (click to stop)");
        status_->setToolTip("Click to stop the program");
        status_->setTextFormat(Qt::PlainText);
        status_->setAutoFillBackground(true);
        status_->setAlignment(title->alignment());
        status_->setMargin(title->margin());
        status_->setIndent(title->indent());
        QFont font = title->font();
        font.setBold(false);  // the status line does not take the title's font
        status_->setFont(font);
        status_->hide();
        new FillParent(status_);
        QObject::connect(status_, &TClickLabel::Clicked, [this] {
            if (OnStop) {
                OnStop();
            }
        });
    }
}

TQtProgramView::~TQtProgramView() = default;

DialogButton TQtProgramView::Ask(const DialogRequest& request) {
    return dialogs_->Ask(request);
}

void TQtProgramView::ShowStatus(const std::string& line) {
    if (status_) {
        status_->setText(QString::fromStdString(line));
        status_->show();
        status_->raise();
    }
}

void TQtProgramView::HideStatus() {
    if (status_) {
        status_->hide();
    }
}

void TQtProgramView::Warn(const std::string& text) {
    ReportProgramError("Warning: " + text);
    if (OnWarn) {
        OnWarn(text);
    }
}

void TQtProgramView::ProcessPendingMessages() {
    ++pendingProcessed_;
    QCoreApplication::processEvents();
}

void TQtProgramView::ShowHelpWindow(const std::string& caption, const std::string& text) {
    try {
        auto* window = new QPlainTextEdit;
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setObjectName("ProgramCommandsHelp");
        window->setWindowTitle(QString::fromStdString(caption));
        window->setAccessibleName(QString::fromStdString(caption));
        window->setReadOnly(true);
        window->setLineWrapMode(QPlainTextEdit::NoWrap);
        window->setPlainText(QString::fromStdString(text));
        QFont mono("monospace");
        mono.setStyleHint(QFont::TypeWriter);
        window->setFont(mono);
        window->resize(640, 480);
        window->show();
    } catch (...) {
        // A help window that cannot be built is no reason to stop anything.
    }
}

void TQtProgramView::TitleChanged(const std::string& title) {
    if (title_) {
        title_->setText(QString::fromStdString(title));
    }
}

TParamRow* TQtProgramView::RowOf(const TParam& param) const {
    const auto it = rows_.find(&param);
    return it == rows_.end() ? nullptr : it->second.data();
}

void TQtProgramView::MoveToEnd(TParamRow* row) {
    auto* layout = params_ ? qobject_cast<QVBoxLayout*>(params_->layout()) : nullptr;
    if (!layout) {
        return;
    }
    layout->removeWidget(row);
    // The last item is the stretch that keeps the rows at the top.
    layout->insertWidget(std::max(0, layout->count() - 1), row);
}

void TQtProgramView::ParamCreated(TParam& param) {
    if (!params_) {
        return;  // rows without a box still take part in substitution
    }
    auto* row = new TParamRow(param, params_);
    rows_[&param] = row;
    MoveToEnd(row);
    row->show();
}

void TQtProgramView::ParamShown(TParam& param) {
    if (TParamRow* row = RowOf(param)) {
        MoveToEnd(row);
        row->show();
    }
}

void TQtProgramView::ParamHidden(TParam& param) {
    if (TParamRow* row = RowOf(param)) {
        row->hide();
    }
}

}  // namespace orn
