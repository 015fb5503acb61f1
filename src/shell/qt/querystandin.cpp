#include "shell/qt/querystandin.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "engine/programview.h"

namespace orn {

class TFormQueryStandIn::View : public TProgramView {
  public:
    View(TFormQueryStandIn& form, TDialogs& dialogs) : form_(form), dialogs_(dialogs) {}
    using TDialogs::Ask;
    DialogButton Ask(const DialogRequest& request) override { return dialogs_.Ask(request); }
    void ShowStatus(const std::string& line) override {
        form_.status_->setText(QString::fromStdString(line));
    }
    void HideStatus() override { form_.status_->clear(); }
    void ProcessPendingMessages() override { QCoreApplication::processEvents(); }
    void ShowHelpWindow(const std::string& caption, const std::string& text) override {
        auto* help = new QPlainTextEdit(&form_);
        help->setWindowFlag(Qt::Window);
        help->setAttribute(Qt::WA_DeleteOnClose);
        help->setReadOnly(true);
        help->setWindowTitle(QString::fromStdString(caption));
        help->setPlainText(QString::fromStdString(text));
        help->show();
    }

  private:
    TFormQueryStandIn& form_;
    TDialogs& dialogs_;
};

class TFormQueryStandIn::Child : public TQueryChild {
  public:
    explicit Child(TFormQueryStandIn& form) : TQueryChild(&form), form_(form) {}
    std::string OpenFileByExtension(const std::string& fileName) override {
        form_.session_->RunAutomatically = form_.runAutomatically_->isChecked();
        form_.stop_->setEnabled(true);
        std::string result = form_.session_->OpenFileByExtension(fileName);
        form_.stop_->setEnabled(false);
        form_.setWindowTitle(QString::fromStdString(form_.session_->Caption()));
        return result;
    }
    void ShowProgramCommands() override { form_.session_->Program().ShowHelp(); }
    bool ProgramRunning() const override { return form_.session_->Program().Running(); }
    void StopProgram() override { form_.session_->Program().Stop(); }

  private:
    TFormQueryStandIn& form_;
};

TFormQueryStandIn::TFormQueryStandIn(TDialogs& dialogs, const std::string& startDirectory,
                                     QWidget* parent)
    : QWidget(parent), TzForm(this), view_(std::make_unique<View>(*this, dialogs)) {
    setObjectName("FormQuery");
    setWindowTitle("Query");
    session_ = std::make_unique<TQuerySession>(*view_, startDirectory);
    auto* child = new Child(*this);
    session_->OnExit = [child] { emit child->ExitRequested(); };

    auto* layout = new QVBoxLayout(this);
    runAutomatically_ = new TCheckBoxIni(this);
    runAutomatically_->setObjectName("CBRunAutomatically");
    runAutomatically_->setText("Run &automatically");
    status_ = new QLabel(this);
    stop_ = new QPushButton("Stop", this);
    stop_->setEnabled(false);
    connect(stop_, &QPushButton::clicked, this, [this] { session_->Program().Stop(); });
    layout->addWidget(runAutomatically_);
    layout->addWidget(status_);
    layout->addWidget(stop_);
    layout->addStretch();
    FormLoaded();
}

TFormQueryStandIn::~TFormQueryStandIn() = default;

void TFormQueryStandIn::closeEvent(QCloseEvent* event) {
    // The runner is inside this window's session: it must not go while a program runs.
    if (session_->Program().Running()) {
        session_->Program().Stop();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

TQueryFactory QueryWindowFactory(TDialogs& dialogs, const std::string& startDirectory) {
    return [&dialogs, startDirectory](QWidget* parent) -> QWidget* {
        return new TFormQueryStandIn(dialogs, startDirectory, parent);
    };
}

}  // namespace orn
