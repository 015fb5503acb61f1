// The query window with a large result, on Qt's offscreen platform:
//   FirstScreen      the query opens and the grid paints its first screen (goal: < 50 ms)
//   JumpToLastAndBack  Ctrl+End takes the grid to the last row, it paints, Ctrl+Home takes it
//                    back (< 1 s each)
//   ScrollEndToEnd   the grid pages through the whole result with its scroll bar; reports the
//                    growth of resident memory ("rss_growth_mb", goal: < 64 MB)
//   TypeInMemo       one key typed into a 2,000-line highlighted statement (< 5 ms per key)
//   CompleteInMemo   the names offered at a qualifier's dot in that statement (what each key
//                    costs while the completion list shows)
// Rows: ORN_BENCH_ROWS (default 1,000,000), in an unkeyed Paradox table made once per run (with
// 32 KiB blocks past 5,000,000 rows, which 4 KiB blocks cannot hold). Every benchmark reports the
// process's peak resident memory so far ("peak_mb"; goal at 10,000,000 rows: < 100 MB).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "dbengine/dataset/query.h"
#include "dbengine/storage/table.h"
#include "workbench/qt/formquery.h"
#include "workbench/qt/querygridmodel.h"
#include "workbench/qt/sqlmemo.h"
#include "workbench/querysession.h"

namespace {

namespace fs = std::filesystem;

long Rows() {
    const char* env = std::getenv("ORN_BENCH_ROWS");
    return env ? std::max(1L, std::atol(env)) : 1000000L;
}

long StatusKb(const std::string& wanted) {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == wanted) {
            status >> value;
            return value;
        }
        std::getline(status, key);
    }
    return 0;
}

long ResidentKb() {
    return StatusKb("VmRSS:");
}

void ReportPeak(benchmark::State& state);

class Data {
  public:
    static Data& Get() {
        static Data data;
        return data;
    }
    ~Data() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    const fs::path& Dir() const { return dir_; }
    // Resident memory once the table is made, before any window.
    long StartKb() const { return startKb_; }

  private:
    Data() {
        dir_ = fs::temp_directory_path() / ("orn_bench_grid_" + std::to_string(getpid()));
        fs::create_directories(dir_);
        orn::db::TableCreate layout;
        layout.fields = {orn::db::makeField("ID", orn::db::FieldType::Long),
                         orn::db::makeField("NAME", orn::db::FieldType::Alpha, 20),
                         orn::db::makeField("CITY", orn::db::FieldType::Alpha, 12),
                         orn::db::makeField("SCORE", orn::db::FieldType::Number)};
        if (Rows() > 5000000)
            layout.blockSize = 32 * 1024;
        static const char* cities[] = {"Oulu", "Turku", "Tampere", "Helsinki", "Vaasa"};
        {
            auto table =
                orn::db::Table::create(dir_ / "big.db", orn::db::TableFormat::Paradox, layout);
            table->begin();
            for (long i = 1; i <= Rows(); ++i) {
                table->insert({std::int64_t{i}, "name" + std::to_string(i),
                               std::string(cities[i % 5]), static_cast<double>(i % 100000) / 4.0});
                orn::db::commitCopyBatch(*table, static_cast<std::uint64_t>(i));
            }
            table->commit();
        }
        // The peak counts the windows' memory, not the making of the table.
        malloc_trim(0);
        std::ofstream("/proc/self/clear_refs") << "5";
        startKb_ = StatusKb("VmRSS:");
    }
    fs::path dir_;
    long startKb_ = 0;
};

void ReportPeak(benchmark::State& state) {
    state.counters["peak_mb"] = static_cast<double>(StatusKb("VmHWM:")) / 1024.0;
    state.counters["start_mb"] = static_cast<double>(Data::Get().StartKb()) / 1024.0;
}

// A shown query window in the data directory.
std::unique_ptr<orn::TFormQuery> MakeWindow() {
    fs::current_path(Data::Get().Dir());
    static orn::TScriptedDialogs dialogs;
    auto form = std::make_unique<orn::TFormQuery>(nullptr, &dialogs, std::string(),
                                                  (Data::Get().Dir() / "history.ini").string());
    form->resize(1000, 700);
    form->show();
    QApplication::processEvents();
    return form;
}

void Paint(QTableView* grid) {
    grid->viewport()->repaint();
}

void BM_FirstScreen(benchmark::State& state) {
    auto form = MakeWindow();
    for (auto _ : state) {
        form->RunSql("select * from big");
        Paint(form->DBGrid1);
        state.PauseTiming();
        form->Session().Query().close();
        state.ResumeTiming();
    }
    state.counters["rows"] = static_cast<double>(Rows());
    ReportPeak(state);
}
BENCHMARK(BM_FirstScreen)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_JumpToLastAndBack(benchmark::State& state) {
    auto form = MakeWindow();
    form->RunSql("select * from big");
    orn::TDBGrid* grid = form->DBGrid1;
    for (auto _ : state) {
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        Paint(grid);
        QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
        Paint(grid);
    }
    state.counters["recNo_after"] = static_cast<double>(form->Session().Query().recNo());
    state.counters["view_rows"] = static_cast<double>(form->GridModel().rowCount());
    ReportPeak(state);
}
BENCHMARK(BM_JumpToLastAndBack)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ScrollEndToEnd(benchmark::State& state) {
    auto form = MakeWindow();
    form->RunSql("select * from big");
    orn::TDBGrid* grid = form->DBGrid1;
    Paint(grid);
    const long before = ResidentKb();
    long peak = before;
    for (auto _ : state) {
        // The bar the user drags: the result's while the result is larger than the grid's page.
        QScrollBar* bar = grid->ResultScrollBar()->isVisible() ? grid->ResultScrollBar()
                                                               : grid->verticalScrollBar();
        const int page = std::max(1, bar->pageStep());
        for (int v = 0; v <= bar->maximum(); v += page) {
            bar->setValue(v);
            Paint(grid);
            if (v % (page * 1000) == 0) {
                peak = std::max(peak, ResidentKb());
            }
        }
        bar->setValue(0);
        Paint(grid);
    }
    peak = std::max(peak, ResidentKb());
    state.counters["rss_growth_mb"] = static_cast<double>(peak - before) / 1024.0;
    state.counters["rows_cached"] = static_cast<double>(form->Session().Query().cachedRows());
    ReportPeak(state);
}
BENCHMARK(BM_ScrollEndToEnd)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_TypeInMemo(benchmark::State& state) {
    auto form = MakeWindow();
    QString text;
    for (int i = 0; i < 2000; ++i) {
        text += QString("select ID, NAME, 'text %1' as T from big where ID = %1 -- line\n").arg(i);
    }
    form->MemoQuery->setPlainText(text);
    form->MemoQuery->setFocus();
    QTextCursor cursor = form->MemoQuery->textCursor();
    cursor.setPosition(text.size() / 2);
    form->MemoQuery->setTextCursor(cursor);
    QApplication::processEvents();
    for (auto _ : state) {
        QTest::keyClick(form->MemoQuery, Qt::Key_A);
        form->MemoQuery->viewport()->repaint();
    }
}
BENCHMARK(BM_TypeInMemo)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_CompleteInMemo(benchmark::State& state) {
    auto form = MakeWindow();
    QString text;
    for (int i = 0; i < 2000; ++i) {
        text +=
            QString("select b.ID, NAME, 'text %1' as T from big b where ID = %1 -- line\n").arg(i);
    }
    auto* memo = dynamic_cast<orn::TSqlMemo*>(form->MemoQuery);
    memo->setPlainText(text);
    QTextCursor cursor = memo->textCursor();
    cursor.setPosition(static_cast<int>(text.indexOf("b.ID", text.size() / 2)) + 2);
    memo->setTextCursor(cursor);
    int offered = 0;
    for (auto _ : state) {
        offered = memo->Complete(true) ? memo->Completer()->model()->rowCount() : 0;
        memo->Completer()->popup()->hide();
    }
    state.counters["names"] = offered;
}
BENCHMARK(BM_CompleteInMemo)->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char dirTemplate[] = "/tmp/orn-bench-registry-XXXXXX";
    if (::mkdtemp(dirTemplate)) {
        ::setenv("ORN_REGISTRY_DIR", dirTemplate, 1);
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(dirTemplate, ec);
    return 0;
}
