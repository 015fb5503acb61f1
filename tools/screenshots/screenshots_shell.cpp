// The main window with its child windows, the statement window, the running window and the
// SQL help.
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>

#include "dbengine/sql/help_text.h"
#include "screenshots.h"
#include "shell/qt/ShowRunningForm.h"
#include "shell/qt/exec.h"
#include "shell/qt/mainform.h"
#include "shell/qt/sqlhelp.h"

namespace {

orn::TFormORN* MakeMainWindow(orn::shots::TShot& shot) {
    auto* main = shot.Keep(new orn::TFormORN(
        shot.Dialogs(), orn::QueryWindowFactory(shot.Dialogs(), shot.WorkDir().string())));
    main->resize(1200, 820);
    return main;
}

}  // namespace

ORN_SCREENSHOT(main_tiled) {
    orn::TFormORN* main = MakeMainWindow(shot);
    main->OpenInNewQuery((shot.WorkDir() / "customers.dbf").string());
    main->OpenInNewQuery((shot.WorkDir() / "demo.orn").string());
    main->MdiArea()->tileSubWindows();
    shot.Capture(main);
    main->UpdateWindowMenu();
    main->UpdateFileMenu();
}

ORN_SCREENSHOT(main_exec) {
    orn::TFormORN* main = MakeMainWindow(shot);
    main->resize(900, 560);
    orn::TFormExec* exec = main->NewExec();
    exec->MemoExec()->setPlainText(
        "UPDATE orders\n   SET TOTAL = TOTAL * 1.1\n WHERE CUSTNO = 1001");
    exec->parentWidget()->resize(560, 300);
    shot.Capture(main);
}

ORN_SCREENSHOT(running) {
    auto* running = shot.Keep(new orn::TFormShowRunning);
    shot.Capture(running);
}

ORN_SCREENSHOT(sql_help) {
    auto* help = shot.Keep(new orn::TFormSqlHelp(orn::sql::sqlHelpText()));
    shot.Capture(help);
    help->FindEdit()->setText("EXTRACT");
    help->FindNext();
    shot.Capture(help, "find");
}
