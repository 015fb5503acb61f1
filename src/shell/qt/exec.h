#pragma once
// The statement window: statements that return no result set, typed in MemoExec and run with
// "&Exec" (or Ctrl+Return). Table names are taken against the process working directory.

#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include "dbengine/dataset/query.h"
#include "settings/qt/zform.h"
#include "text/dialogs.h"

namespace orn {

class TFormExec : public QWidget, public TzForm {
    Q_OBJECT

  public:
    explicit TFormExec(TDialogs& dialogs, QWidget* parent = nullptr);

    QPlainTextEdit* MemoExec() const { return memoExec_; }
    QPushButton* ButtonExec() const { return buttonExec_; }

    // Runs all lines of the memo as one statement; a failure is shown in an error box.
    // True when the statement ran.
    bool Exec();

  private:
    TDialogs& dialogs_;
    QPlainTextEdit* memoExec_;
    QPushButton* buttonExec_;
    db::Query queryExec_;  // no database directory: the working directory counts
};

}  // namespace orn
