// The query window: each tab, a result, a program with parameters, a run in progress.
#include <QApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimer>

#include "dbengine/dataset/query.h"
#include "dbengine/storage/table.h"
#include "screenshots.h"
#include "workbench/qt/formquery.h"
#include "workbench/querysession.h"

namespace {

using orn::TFormQuery;

TFormQuery* MakeQueryWindow(orn::shots::TShot& shot) {
    auto* form = shot.Keep(
        new TFormQuery(nullptr, &shot.Dialogs(), {}, (shot.WorkDir() / "history.ini").string()));
    form->resize(980, 640);
    return form;
}

}  // namespace

ORN_SCREENSHOT(query_sql) {
    TFormQuery* form = MakeQueryWindow(shot);
    form->MemoQuery->setPlainText(
        "select CUSTNO, NAME, CITY, CREDIT\n  from customers\n where CREDIT >= 1000\n order by "
        "NAME");
    form->QueryClick();
    shot.Capture(form);
}

ORN_SCREENSHOT(query_directory) {
    TFormQuery* form = MakeQueryWindow(shot);
    form->PageSheetQueries->setCurrentWidget(form->TabDirectory);
    shot.Capture(form, "programs");
    form->PageControlDir->setCurrentWidget(form->TabSQLDir);
    shot.Capture(form, "sql");
}

ORN_SCREENSHOT(query_programs) {
    TFormQuery* form = MakeQueryWindow(shot);
    form->LoadProgramFile("demo.orn");
    shot.Capture(form);
}

ORN_SCREENSHOT(query_running) {
    TFormQuery* form = MakeQueryWindow(shot);
    form->LoadProgramFile("demo.orn");
    // The picture is taken from inside the run, when the first line is shown.
    bool taken = false;
    QTimer::singleShot(0, form, [&] {
        shot.Capture(form);
        taken = true;
        form->StopClick();
    });
    form->RunProgram();
    if (!taken) {
        shot.Capture(form, "after");
    }
}

// A result far larger than one screen, scrolled into its middle and then to its end: the grid's
// scroll bar ranges over the whole result.
ORN_SCREENSHOT(query_large) {
    {
        orn::db::TableCreate layout;
        layout.fields = {orn::db::makeField("ID", orn::db::FieldType::Long),
                         orn::db::makeField("NAME", orn::db::FieldType::Alpha, 20),
                         orn::db::makeField("SCORE", orn::db::FieldType::Number, 12, 2)};
        auto table = orn::db::Table::create(shot.WorkDir() / "large.dbf",
                                            orn::db::TableFormat::DBase, layout);
        table->begin();
        for (std::int64_t i = 1; i <= 30000; ++i) {
            table->insert({i, "name" + std::to_string(i), static_cast<double>(i % 1000) / 4.0});
        }
        table->commit();
    }
    TFormQuery* form = MakeQueryWindow(shot);
    form->RunSql("select * from large");
    form->Session().Query().setRecNo(12345);
    shot.Capture(form);
    form->Session().Query().last();
    shot.Capture(form, "last");
}
