#include "workbench/qt/formquery.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QUrl>
#include <exception>

#include "dbengine/dataset/query.h"
#include "settings/IniReadOrder.h"
#include "settings/qt/savepos.h"
#include "settings/qt/zinicomp.h"
#include "settings/qt/zsplitter.h"
#include "text/inifile.h"
#include "text/zstring.h"
#include "workbench/SqlComBDE.h"
#include "workbench/qt/filelistbox.h"
#include "workbench/qt/programview_qt.h"
#include "workbench/qt/progress_qt.h"
#include "workbench/qt/qtclipboard.h"
#include "workbench/qt/qtdialogs.h"
#include "workbench/qt/querygridmodel.h"
#include "workbench/qt/sqlhighlighter.h"
#include "workbench/qt/sqlmemo.h"
#include "workbench/queryhistory.h"
#include "workbench/querysession.h"
#include "workbench/sqlcompletion.h"
#include "workbench/textexchange.h"

namespace orn {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string S(const QString& text) {
    return text.toStdString();
}

}  // namespace

TFormQuery::TFormQuery(QWidget* parent, TDialogs* dialogs, const std::string& programDirectory,
                       const std::string& historyFile)
    : QWidget(parent), TzForm(this) {
    if (dialogs == nullptr) {
        ownDialogs_ = std::make_unique<TQtDialogs>(this);
        dialogs = ownDialogs_.get();
    }
    dialogs_ = dialogs;
    // A setting that cannot be written asks "Stop showing errors?" in this window, unless the
    // application already answers for every window.
    if (GlobalIniReadOrder().Dialogs() == nullptr) {
        GlobalIniReadOrder().SetDialogs(dialogs_);
        answersSettingsErrors_ = true;
    }
    BuildWindow();
    clipboard_ = std::make_unique<TQtClipboard>();
    ownProgress_ = std::make_unique<TQtProgress>(this);
    progress_ = ownProgress_.get();
    view_ = std::make_unique<TQtProgramView>(*dialogs_, LabelProgram, ScrollBoxParams->widget());
    view_->OnStop = [this] { StopClick(); };
    view_->OnWarn = [this](const std::string& text) {
        programWarning_ = text;
        ShowWarning();
    };
    // Both directories start at the working directory of the moment the window is built.
    session_ = std::make_unique<TQuerySession>(*view_);
    session_->SetClipboard(clipboard_.get());
    session_->OnDirectoriesChanged = [this] {
        SqlDirectoryChanged();
        ProgramDirectoryChanged();
    };
    session_->OnSeparatorChanged = [this](const std::string& text) {
        if (S(EditSeparator->text()) != text) {
            EditSeparator->setText(Q(text));
        }
    };
    session_->OnExit = [this] { emit ExitRequested(); };
    history_ = std::make_unique<TQueryHistory>(historyFile);
    model_ = new TQueryGridModel(session_->Query(), this);
    DBGrid1->setModel(model_);
    completion_ = std::make_unique<TSqlCompletion>();
    sqlMemo_->Completions = [this](const std::string& text, std::size_t cursor) {
        return completion_->Complete(session_->SqlDirectory(), text, cursor);
    };
    new TLineSqlHighlighter(EditCond->lineEdit());
    Connect();

    DirectoryListBoxSQL->ShowDirectory(Q(session_->SqlDirectory()));
    DriveComboBoxSQL->ShowDirectory(Q(session_->SqlDirectory()));
    FileListBoxSQL->SetDirectory(Q(session_->SqlDirectory()));
    FileListBoxSQLDir->SetDirectory(Q(session_->SqlDirectory()));
    if (programDirectory.empty() || !SetProgramDirectory(programDirectory)) {
        ProgramDirectoryChanged();
    }
    FormLoaded();
    session_->SetSeparatorText(S(EditSeparator->text()));
    session_->SaveAsTextName = S(EditSaveAsTextName->text());
    session_->SaveName = S(EditSaveName->text());
    ShowRecordPosition();
}

TFormQuery::~TFormQuery() {
    sqlMemo_->Completions = nullptr;
    // The grid model watches the query the session owns; let it go first.
    DBGrid1->setModel(nullptr);
    delete model_;
    model_ = nullptr;
    if (answersSettingsErrors_ && GlobalIniReadOrderExists() &&
        GlobalIniReadOrder().Dialogs() == dialogs_) {
        GlobalIniReadOrder().SetDialogs(nullptr);
    }
}

void TFormQuery::Connect() {
    connect(ButtonQuery, &QPushButton::clicked, this, [this] { QueryClick(); });
    for (QKeySequence keys :
         {QKeySequence(Qt::CTRL | Qt::Key_Q), QKeySequence(Qt::CTRL | Qt::Key_Return),
          QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] { QueryClick(); });
    }
    connect(ButtonAdd, &QPushButton::clicked, this, [this] { AddClick(); });
    connect(ButtonDel, &QPushButton::clicked, this, [this] { DelClick(); });

    for (TFileListBox* list : {FileListBoxSQL, FileListBoxSQLDir}) {
        connect(list, &TFileListBox::FileSelected, this,
                [this](const QString& name) { SelectTable(S(name)); });
        connect(list, &TFileListBox::Refilled, this, [this] { SelectTable(""); });
        connect(list, &TFileListBox::FileActivated, this, [this](const QString& name) {
            SelectTable(S(name));
            Guarded([this] { RunCurrentSql(); });
        });
    }
    for (TFileListBox* list : {FileListBoxProgram, FileListBoxProgramDir}) {
        connect(list, &TFileListBox::FileActivated, this,
                [this](const QString& name) { LoadProgramFile(S(name)); });
    }
    connect(FilterComboBoxSQL, &TFilterComboBox::MaskChanged, FileListBoxSQL,
            &TFileListBox::SetMask);
    connect(DirectoryListBoxSQL, &TDirectoryListBox::DirectoryRequested, this,
            [this](const QString& dir) { SetSqlDirectory(S(dir)); });
    connect(DriveComboBoxSQL, &TDriveComboBox::DriveRequested, this,
            [this](const QString& dir) { SetSqlDirectory(S(dir)); });
    connect(DirectoryListBoxProg, &TDirectoryListBox::DirectoryRequested, this,
            [this](const QString& dir) { SetProgramDirectory(S(dir)); });
    connect(DriveComboBoxProg, &TDriveComboBox::DriveRequested, this,
            [this](const QString& dir) { SetProgramDirectory(S(dir)); });
    connect(ButtonChangeSQL, &QPushButton::clicked, this, [this] {
        FileListBoxSQL->SetFileName(EditSQLDir->text());
        FileListBoxSQLDir->SetFileName(EditSQLDir->text());
    });
    connect(ButtonChangeProg, &QPushButton::clicked, this, [this] {
        FileListBoxProgram->SetFileName(EditProgramDir->text());
        FileListBoxProgramDir->SetFileName(EditProgramDir->text());
    });
    connect(PageSheetQueries, &QTabWidget::currentChanged, this, [this](int) {
        if (PageSheetQueries->currentWidget() == TabSQL) {
            PageControlDir->setCurrentWidget(TabSQLDir);
        } else if (PageSheetQueries->currentWidget() == TabProg) {
            PageControlDir->setCurrentWidget(TabProgDir);
        }
    });

    connect(ButtonRun, &QPushButton::clicked, this, [this] { RunProgram(); });
    connect(PanelStop, &TClickLabel::Clicked, this, [this] { StopClick(); });
    connect(ButtonSaveParams, &QPushButton::clicked, this, [this] { SaveParamsClick(); });
    connect(ButtonEditProgram, &QPushButton::clicked, this, [this] { EditProgramClick(); });

    connect(ButtonSaveAs, &QToolButton::clicked, this, [this] { SaveAsClick(); });
    connect(ButtonCopy, &QToolButton::clicked, this, [this] { CopyClick(); });
    connect(ButtonPaste, &QToolButton::clicked, this, [this] { PasteClick(); });
    connect(ButtonSaveAsText, &QToolButton::clicked, this, [this] { SaveAsTextClick(); });
    connect(EditSeparator, &TEditIni::Changed, this,
            [this](const QString& text) { session_->SetSeparatorText(S(text)); });
    connect(EditSaveAsTextName, &QLineEdit::textChanged, this,
            [this](const QString& text) { session_->SaveAsTextName = S(text); });
    connect(EditSaveName, &QLineEdit::textChanged, this,
            [this](const QString& text) { session_->SaveName = S(text); });

    connect(model_, &TQueryGridModel::PositionChanged, this, [this] {
        ShowRecordPosition();
        SyncGridToQuery();
    });
    connect(model_, &TQueryGridModel::modelReset, this, [this] {
        if (session_->Query().state() == db::DatasetState::Browse) {
            DBGrid1->SizeColumns();
        }
        SyncGridToQuery();
    });
    connect(model_, &TQueryGridModel::EditFailed, this,
            [this](const QString& message) { ShowIfError(S(message)); });
    // The signal's index may be stale when scrolling to it moved the grid's page: the grid's
    // current index follows page moves.
    connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        if (DBGrid1->currentIndex().isValid()) {
            GridCurrentChanged(DBGrid1->CurrentResultRow());
        }
    });
    DBGrid1->installEventFilter(this);
}

void TFormQuery::SetProgress(TProgress* progress) {
    progress_ = progress ? progress : ownProgress_.get();
}

template <typename Action>
bool TFormQuery::Guarded(Action&& action) {
    TProgressScope progress(*progress_);
    try {
        action();
        return true;
    } catch (const std::exception& e) {
        ShowIfError(e.what());
    } catch (...) {
        ShowIfError("Unknown error");
    }
    return false;
}

void TFormQuery::ShowIfError(const std::string& text) {
    if (!text.empty()) {
        dialogs_->Ask(DialogKind::Error, text, {DialogButton::OK});
    }
}

void TFormQuery::SetCondText(const std::string& text) {
    EditCond->setEditText(Q(text));
    // A statement set by the window reads from its start.
    EditCond->lineEdit()->setCursorPosition(0);
    session_->CondText = text;
}

std::string TFormQuery::CondText() const {
    return S(EditCond->currentText());
}

void TFormQuery::ShowCaption() {
    setWindowTitle(Q(session_->Caption()));
}

void TFormQuery::RunSql(const std::string& text) {
    session_->RunSql(text);
}

void TFormQuery::RunCurrentSql() {
    session_->CondText = CondText();
    session_->RunCurrentSql();
}

void TFormQuery::SelectTable(const std::string& fileName) {
    session_->SelectTable(fileName);
    SetCondText(session_->CondText);
    ShowCaption();
}

void TFormQuery::QueryClick() {
    std::string joined;
    for (const QString& line : MemoQuery->toPlainText().split('\n')) {
        joined += " " + S(line);
    }
    joined = Trim(joined);
    if (!joined.empty()) {
        SetCondText(joined);
    }
    Guarded([this] { RunCurrentSql(); });
}

void TFormQuery::ShowHistory(const QString& text) {
    // Refilling the list sets the text anew; the cursor stays where it was in it.
    const int cursor = text == EditCond->currentText() ? EditCond->lineEdit()->cursorPosition() : 0;
    EditCond->blockSignals(true);
    EditCond->clear();
    for (const std::string& item : history_->Items()) {
        EditCond->addItem(Q(item));
    }
    EditCond->setCurrentIndex(-1);
    EditCond->setEditText(text);
    EditCond->lineEdit()->setCursorPosition(cursor);
    EditCond->blockSignals(false);
}

void TFormQuery::LoadHistory() {
    history_->Load();
    ShowHistory(EditCond->currentText());
}

void TFormQuery::SaveHistory() {
    Guarded([this] { history_->Save(); });
}

void TFormQuery::AddClick() {
    const std::string text = CondText();
    Guarded([&] { history_->Add(text); });
    ShowHistory(EditCond->currentText());
}

void TFormQuery::DelClick() {
    const std::string text = CondText();
    std::optional<std::string> next;
    Guarded([&] { next = history_->Del(text); });
    if (next) {
        ShowHistory(Q(*next));
        session_->CondText = *next;
    }
}

bool TFormQuery::SetSqlDirectory(const std::string& directory) {
    if (session_->SetSqlDirectory(directory)) {
        return true;  // the lists followed through OnDirectoriesChanged
    }
    SqlDirectoryChanged();
    return false;
}

bool TFormQuery::SetProgramDirectory(const std::string& directory) {
    if (session_->SetProgramDirectory(directory)) {
        return true;
    }
    ProgramDirectoryChanged();
    return false;
}

void TFormQuery::SqlDirectoryChanged() {
    const QString dir = Q(session_->SqlDirectory());
    DirectoryListBoxSQL->ShowDirectory(dir);
    DriveComboBoxSQL->ShowDirectory(dir);
    StatusPanels[3]->setText(dir);
    FileListBoxSQL->SetDirectory(dir);
    FileListBoxSQLDir->SetDirectory(dir);
}

void TFormQuery::ProgramDirectoryChanged() {
    const QString dir = Q(session_->ProgramDirectory());
    DirectoryListBoxProg->ShowDirectory(dir);
    DriveComboBoxProg->ShowDirectory(dir);
    FileListBoxProgram->SetDirectory(dir);
    FileListBoxProgramDir->SetDirectory(dir);
}

std::string TFormQuery::OpenFileByExtension(const std::string& fileName) {
    const QString suffix = QFileInfo(Q(fileName)).suffix().toUpper();
    if (suffix == "ORN") {
        return LoadProgramFile(fileName);
    }
    if (suffix == "DB" || suffix == "DBF") {
        return OpenTableFile(fileName);
    }
    SetSqlDirectory(fileName);
    return "Unknow extension";
}

std::string TFormQuery::OpenTableFile(const std::string& fileName) {
    std::string error;
    session_->CondText = CondText();
    // The session changes the directory first (the lists refill and clear the selection), then
    // selects the table and runs it.
    Guarded([&] { error = session_->OpenTableFile(fileName); });
    SetCondText(session_->CondText);
    ShowCaption();
    PageSheetQueries->setCurrentWidget(TabSQL);
    return error;
}

std::string TFormQuery::LoadProgramFile(const std::string& fileName) {
    if (session_->Program().Running()) {
        return "A program is running";
    }
    programWarning_.clear();
    const std::string message = session_->OpenProgram(fileName);
    ShowWarning();
    if (!message.empty()) {
        return message;
    }
    StatusPanels[2]->setText(Q(fileName));
    StatusPanels[2]->setToolTip(Q(session_->ProgramFileName()));
    PageSheetQueries->setCurrentWidget(TabProg);
    if (CBRunAutomatically->checkState() == Qt::Checked) {
        RunProgram();
    }
    return {};
}

void TFormQuery::RunProgram() {
    if (session_->Program().Running()) {
        return;
    }
    QPointer<TFormQuery> self(this);
    NBProgButtons->setCurrentIndex(0);
    Animate1->setRange(0, 0);  // busy
    TProgressScope progress(*progress_);
    try {
        session_->RunProgram();
    } catch (...) {
        // The runner has shown what went wrong.
    }
    if (!self) {
        return;
    }
    Animate1->setRange(0, 1);
    NBProgButtons->setCurrentIndex(1);
    if (closePending_) {
        closePending_ = false;
        close();
    }
}

void TFormQuery::StopClick() {
    session_->Program().Stop();
}

void TFormQuery::SaveParamsClick() {
    if (session_->ProgramFileName().empty()) {
        return;
    }
    Guarded([this] { session_->Program().SaveParams(session_->ProgramFileName()); });
}

void TFormQuery::EditProgramClick() {
    const QString file = Q(session_->ProgramFileName());
    if (file.isEmpty()) {
        ShowIfError("No program is loaded");
        return;
    }
    const QString editor = qEnvironmentVariable("ORN_EDITOR");
    bool started = false;
    if (!editor.trimmed().isEmpty()) {
        QStringList args = QProcess::splitCommand(editor);
        const QString program = args.isEmpty() ? QString() : args.takeFirst();
        args << file;
        started = !program.isEmpty() && QProcess::startDetached(program, args);
        if (!started) {
            ShowIfError("Cannot start the editor " + S(editor) + " for " + S(file));
        }
        return;
    }
    started = QDesktopServices::openUrl(QUrl::fromLocalFile(file));
    if (!started) {
        ShowIfError("Cannot open " + S(file) +
                    " in an editor; set ORN_EDITOR to the editor's command");
    }
}

void TFormQuery::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!historyLoaded_) {
        historyLoaded_ = true;
        LoadHistory();
    }
}

void TFormQuery::closeEvent(QCloseEvent* event) {
    if (session_->Program().Running()) {
        // The run goes on inside this window's handlers: stop it and close once it is over.
        session_->Program().Stop();
        closePending_ = true;
        event->ignore();
        return;
    }
    // Saved while the window is whole: a write error can still be asked about here, and an MDI
    // child's frame still has its place.
    SavePos1->SaveNow();
    SplitterGrid->SaveNow();
    SplitterDBFiles->SaveNow();
    QWidget::closeEvent(event);
}

void TFormQuery::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void TFormQuery::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) {
        return;
    }
    event->acceptProposedAction();
    const std::string name = S(urls.first().toLocalFile()).substr(0, 500);
    OpenFileByExtension(name);  // the error text of a drop is not shown
}

void TFormQuery::ShowRecordPosition() {
    db::Query& query = session_->Query();
    if (!query.active()) {
        StatusPanels[0]->clear();
        StatusPanels[1]->clear();
        ShowWarning();
        return;
    }
    try {
        StatusPanels[0]->setText(QString::number(query.recNo()));
        StatusPanels[1]->setText(QString::number(query.recordCount()));
    } catch (const std::exception&) {
        StatusPanels[1]->clear();
    }
    ShowWarning();
}

void TFormQuery::ShowWarning() {
    // Edits in the grid write through the query: what they did on their own shows here.
    for (const auto& notice : session_->Query().takeNotices()) {
        programWarning_ = notice;
    }
    std::string text = session_->Query().damageWarning();
    if (text.empty()) {
        text = programWarning_;
    }
    StatusWarning->setText(Q(text));
    StatusWarning->setToolTip(Q(text));
    StatusWarning->setVisible(!text.empty());
}

void TFormQuery::GridCurrentChanged(std::int64_t row) {
    if (syncingGrid_) {
        return;
    }
    std::string error;
    if (!model_->MoveTo(row, error)) {
        ShowIfError(error);
    }
    SyncGridToQuery();
}

void TFormQuery::SyncGridToQuery() {
    const std::int64_t row = model_->CurrentRow();
    if (row < 0 || DBGrid1->CurrentResultRow() == row) {
        return;
    }
    syncingGrid_ = true;
    DBGrid1->SetCurrentResultCell(row, DBGrid1->CurrentColumn());
    syncingGrid_ = false;
}

void TFormQuery::Navigate(const char* action) {
    const std::string a = action;
    db::Query& query = session_->Query();
    if (!query.active()) {
        return;
    }
    if (a == "NavDelete" &&
        dialogs_->Ask(DialogKind::Confirmation, "Delete record?",
                      {DialogButton::OK, DialogButton::Cancel}) != DialogButton::OK) {
        return;
    }
    Guarded([&] {
        if (a == "NavFirst") {
            query.first();
        } else if (a == "NavPrior") {
            query.prior();
        } else if (a == "NavNext") {
            query.next();
        } else if (a == "NavLast") {
            query.last();
        } else if (a == "NavInsert") {
            query.insert();
        } else if (a == "NavDelete") {
            query.deleteRecord();
        } else if (a == "NavEdit") {
            query.edit();
        } else if (a == "NavPost") {
            query.post();
        } else if (a == "NavCancel") {
            query.cancel();
        } else if (a == "NavRefresh") {
            query.refresh();
        }
    });
    ShowRecordPosition();
    SyncGridToQuery();
}

bool TFormQuery::eventFilter(QObject* watched, QEvent* event) {
    // While a cell is being edited its editor has the keys, so these reach the grid only
    // between edits.
    if (watched == DBGrid1 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Insert && key->modifiers() == Qt::NoModifier) {
            Navigate("NavInsert");
            return true;
        }
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::ControlModifier) {
            Navigate("NavDelete");
            return true;
        }
        if (key->key() == Qt::Key_Escape && session_->Query().active() &&
            session_->Query().state() != db::DatasetState::Browse) {
            Navigate("NavCancel");
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFormQuery::SaveAsClick() {
    Guarded([this] {
        SaveResultAsTable(session_->Query(), S(EditSaveName->text()), *dialogs_, view_.get());
    });
    FileListBoxSQL->Refill();
}

void TFormQuery::CopyClick() {
    std::string error;
    Guarded(
        [&] { error = CopyToClipboard(session_->Query(), session_->GetSeparator(), *clipboard_); });
    ShowIfError(error);
}

void TFormQuery::PasteClick() {
    std::string error;
    Guarded([&] {
        error = PasteFromClipboard(session_->Query(), session_->GetSeparator(), *clipboard_);
    });
    ShowIfError(error);
}

void TFormQuery::SaveAsTextClick() {
    std::string error;
    Guarded([&] {
        error =
            SaveAsText(session_->Query(), S(EditSaveAsTextName->text()), session_->GetSeparator());
    });
    ShowIfError(error);
}

}  // namespace orn
