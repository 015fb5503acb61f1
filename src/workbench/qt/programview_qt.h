#pragma once
// The program runner as the query window shows it: the line being run in a status line over the
// title panel (a click on it stops the run), dialogs through the window's dialog interface, the
// "Program commands" help window, and one row per program parameter in the parameter box.

#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <functional>
#include <map>

#include "engine/programview.h"
#include "workbench/qt/elidedlabel.h"

class QLineEdit;
class QVBoxLayout;

namespace orn {

// One parameter row: the name at the left, a 150-pixel edit box at the right edge, a lowered
// bevel. What is typed is the value the program substitutes.
class TParamRow : public QFrame {
    Q_OBJECT

  public:
    TParamRow(TParam& param, QWidget* parent = nullptr);
    QLineEdit* Edit() const { return edit_; }
    QLabel* CaptionLabel() const { return caption_; }
    TParam& Param() const { return param_; }

  private:
    TParam& param_;
    QLabel* caption_;
    QLineEdit* edit_;
};

// A label that reports a click.
class TClickLabel : public TElidedLabel {
    Q_OBJECT

  public:
    using TElidedLabel::TElidedLabel;

  signals:
    void Clicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
};

class TQtProgramView : public TProgramView {
  public:
    // `title` shows the program's title; the status line lies over it. Rows go into `params`
    // (a widget with a vertical box layout whose last item is a stretch).
    TQtProgramView(TDialogs& dialogs, QLabel* title, QWidget* params);
    ~TQtProgramView() override;

    using TDialogs::Ask;
    DialogButton Ask(const DialogRequest& request) override;
    void ShowStatus(const std::string& line) override;
    void HideStatus() override;
    void ProcessPendingMessages() override;
    void ShowHelpWindow(const std::string& caption, const std::string& text) override;
    void TitleChanged(const std::string& title) override;
    // Goes to the error log as a program error line and to OnWarn.
    void Warn(const std::string& text) override;
    void ParamCreated(TParam& param) override;
    void ParamShown(TParam& param) override;
    void ParamHidden(TParam& param) override;

    // Called by a click on the status line.
    std::function<void()> OnStop;
    // Called with each warning (the window shows it in its status bar).
    std::function<void(const std::string&)> OnWarn;
    // Counted for tests: how often pending events were handled during runs.
    int PendingProcessed() const { return pendingProcessed_; }
    TClickLabel* StatusLabel() const { return status_; }
    TParamRow* RowOf(const TParam& param) const;
    void SetDialogs(TDialogs& dialogs) { dialogs_ = &dialogs; }

  private:
    void MoveToEnd(TParamRow* row);

    TDialogs* dialogs_;
    QPointer<QLabel> title_;
    QPointer<QWidget> params_;
    QPointer<TClickLabel> status_;
    std::map<const TParam*, QPointer<TParamRow>> rows_;
    int pendingProcessed_ = 0;
};

}  // namespace orn
