// The error log: its window with some lines, the options dialog and the comment dialog.
#include <QComboBox>
#include <fstream>

#include "errors/ErrorCom.h"
#include "errors/qt/ErrorCom.h"
#include "errors/qt/erroropt.h"
#include "errors/qt/zErrors.h"
#include "screenshots.h"
#include "workbench/errorreports.h"

ORN_SCREENSHOT(errors) {
    orn::SqlDebugKind();
    orn::CommentError();
    orn::ProgramErrorKind();
    orn::TErrors& window = orn::ErrorWindow();
    window.SetDialogs(&shot.Dialogs());
    orn::SqlDebugKind().Report("select CUSTNO, NAME from customers where CREDIT >= 1000");
    orn::ReportProgramError("Could not delete nothing.txt");
    orn::MarkError().SetShow(true);
    window.Log().Mark();
    orn::SqlDebugKind().Report("SELECT * from orders");
    shot.Settle();
    shot.Capture(&window, {}, QSize(760, 260));
    shot.Capture(window.Options(), "options");
    window.hide();
    window.Options()->hide();
    orn::DestroyErrorWindow();
}

ORN_SCREENSHOT(comment) {
    std::ofstream(shot.WorkDir() / "Comments.txt", std::ios::binary)
        << "Checked the totals of March\r\nImport of orders.txt repeated\r\n";
    auto* form = shot.Keep(new orn::TFormErrorComment(nullptr));
    form->Begin();
    form->CBComment()->setEditText("Prices updated from the new list");
    shot.Capture(form);
}
