#pragma once
// A minimal query window the main window hosts until the full one is in: a query session with
// its runner, the "Run automatically" box, a status line and a Stop button.

#include <QLabel>
#include <QPushButton>
#include <memory>

#include "settings/qt/zform.h"
#include "settings/qt/zinicomp.h"
#include "shell/qt/querychild.h"
#include "workbench/querysession.h"

namespace orn {

class TFormQueryStandIn : public QWidget, public TzForm {
    Q_OBJECT

  public:
    TFormQueryStandIn(TDialogs& dialogs, const std::string& startDirectory, QWidget* parent);
    ~TFormQueryStandIn() override;

    TQuerySession& Session() { return *session_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    class View;
    class Child;
    std::unique_ptr<View> view_;
    std::unique_ptr<TQuerySession> session_;
    TCheckBoxIni* runAutomatically_;
    QLabel* status_;
    QPushButton* stop_;
};

}  // namespace orn
