#pragma once
// The query window: SQL text with its history, the live result grid with its tools, the lists
// of table and program files, directory choice, and the Programs tab with the parameter rows
// and the Run and Stop controls. A thin face over TQuerySession, which does the work; the
// headless run uses the same session, so a program behaves the same in both.

#include <QLabel>
#include <QWidget>
#include <memory>
#include <string>

#include "settings/qt/zform.h"
#include "workbench/qt/dbgrid.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QTabWidget;
class QTableView;
class QToolButton;
class QProgressBar;
class QStatusBar;
class QItemSelection;

namespace orn {

class TCheckBoxIni;
class TClickLabel;
class TDialogs;
class TProgress;
class TQtProgress;
class TDirectoryListBox;
class TDriveComboBox;
class TEditIni;
class TElidedLabel;
class TFileListBox;
class TFilterComboBox;
class TQtClipboard;
class TQtProgramView;
class TQueryGridModel;
class TQueryHistory;
class TQuerySession;
class TSavePos;
class TSqlCompletion;
class TSqlMemo;
class TzSplitter;

class TFormQuery : public QWidget, public TzForm {
    Q_OBJECT

  public:
    // `dialogs` answers every question the window asks (message boxes when null). The SQL
    // directory starts at the working directory, the program directory at `programDirectory`
    // (the working directory when empty). `historyFile` overrides the history's ini file.
    explicit TFormQuery(QWidget* parent = nullptr, TDialogs* dialogs = nullptr,
                        const std::string& programDirectory = {},
                        const std::string& historyFile = {});
    ~TFormQuery() override;

    TQuerySession& Session() { return *session_; }
    TDialogs& Dialogs() { return *dialogs_; }
    TQtProgramView& ProgramView() { return *view_; }
    TQueryHistory& History() { return *history_; }
    TQueryGridModel& GridModel() { return *model_; }
    // What long work (export, save as a table, paste, READ in a program) reports to; a progress
    // dialog with Cancel unless replaced.
    void SetProgress(TProgress* progress);

    void RunSql(const std::string& text);
    void RunCurrentSql();
    void SelectTable(const std::string& fileName);
    // The Query button, Ctrl+Q and Ctrl+Enter: the memo's lines (joined, each after a blank,
    // trimmed) replace the SQL box text unless empty; then the SQL box text runs. A failure is
    // shown and the text stays.
    void QueryClick();
    void LoadHistory();
    void SaveHistory();
    void AddClick();
    void DelClick();
    std::string OpenFileByExtension(const std::string& fileName);
    std::string OpenTableFile(const std::string& fileName);
    std::string LoadProgramFile(const std::string& fileName);
    void RunProgram();
    void StopClick();
    void SaveParamsClick();
    void EditProgramClick();
    void ShowIfError(const std::string& text);
    // Makes `directory` the SQL directory (and the working directory); false when it is no
    // existing directory (the list then shows the working directory).
    bool SetSqlDirectory(const std::string& directory);
    bool SetProgramDirectory(const std::string& directory);
    // The result tool bar.
    void SaveAsClick();
    void CopyClick();
    void PasteClick();
    void SaveAsTextClick();

  signals:
    // A program asked to close the application (EXIT).
    void ExitRequested();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildWindow();
    QWidget* BuildSqlTab();
    QWidget* BuildDirectoryTab();
    QWidget* BuildProgramsTab();
    QWidget* BuildResultPanel();
    void Connect();
    void ShowCaption();
    void SqlDirectoryChanged();
    void ProgramDirectoryChanged();
    void ShowRecordPosition();
    // The status bar's warning: the result's damaged table, else the program file's numbering.
    void ShowWarning();
    void GridCurrentChanged(std::int64_t row);
    void SyncGridToQuery();
    void Navigate(const char* action);
    // Runs `action`, showing an engine failure as a message; false when it failed.
    template <typename Action>
    bool Guarded(Action&& action);
    void SetCondText(const std::string& text);
    // Fills the SQL box's list with the history and shows `text` in it.
    void ShowHistory(const QString& text);
    std::string CondText() const;

    std::unique_ptr<TDialogs> ownDialogs_;
    TDialogs* dialogs_;
    std::unique_ptr<TQtClipboard> clipboard_;
    std::unique_ptr<TQtProgress> ownProgress_;
    TProgress* progress_ = nullptr;
    std::unique_ptr<TQtProgramView> view_;
    std::unique_ptr<TQuerySession> session_;
    std::unique_ptr<TQueryHistory> history_;
    std::unique_ptr<TSqlCompletion> completion_;
    TSqlMemo* sqlMemo_ = nullptr;
    TQueryGridModel* model_ = nullptr;
    bool historyLoaded_ = false;
    bool syncingGrid_ = false;
    std::string programWarning_;  // what loading the program file warned of
    bool closePending_ = false;
    bool answersSettingsErrors_ = false;

  public:
    // The controls, by their design names (tests and the main window reach them here too).
    QTabWidget* PageSheetQueries = nullptr;
    QWidget* TabSQL = nullptr;
    QWidget* TabDirectory = nullptr;
    QWidget* TabProg = nullptr;
    TFilterComboBox* FilterComboBoxSQL = nullptr;
    TFileListBox* FileListBoxSQL = nullptr;
    TzSplitter* SplitterDBFiles = nullptr;
    QComboBox* EditCond = nullptr;
    QPushButton* ButtonAdd = nullptr;
    QPushButton* ButtonDel = nullptr;
    QPushButton* ButtonQuery = nullptr;
    QPlainTextEdit* MemoQuery = nullptr;
    QTabWidget* PageControlDir = nullptr;
    QWidget* TabProgDir = nullptr;
    QWidget* TabSQLDir = nullptr;
    TDriveComboBox* DriveComboBoxProg = nullptr;
    TDirectoryListBox* DirectoryListBoxProg = nullptr;
    QLineEdit* EditProgramDir = nullptr;
    TFileListBox* FileListBoxProgramDir = nullptr;
    QPushButton* ButtonChangeProg = nullptr;
    TCheckBoxIni* CBRunAutomatically = nullptr;
    TDriveComboBox* DriveComboBoxSQL = nullptr;
    TDirectoryListBox* DirectoryListBoxSQL = nullptr;
    QLineEdit* EditSQLDir = nullptr;
    TFileListBox* FileListBoxSQLDir = nullptr;
    QPushButton* ButtonChangeSQL = nullptr;
    TFileListBox* FileListBoxProgram = nullptr;
    TElidedLabel* LabelProgram = nullptr;
    QScrollArea* ScrollBoxParams = nullptr;
    QStackedWidget* NBProgButtons = nullptr;
    QProgressBar* Animate1 = nullptr;
    TClickLabel* PanelStop = nullptr;
    QPushButton* ButtonRun = nullptr;
    QPushButton* ButtonSaveParams = nullptr;
    QPushButton* ButtonEditProgram = nullptr;
    TzSplitter* SplitterGrid = nullptr;
    QToolButton* ButtonSaveAs = nullptr;
    QLineEdit* EditSaveName = nullptr;
    QWidget* DBNavigator1 = nullptr;
    QToolButton* ButtonCopy = nullptr;
    QToolButton* ButtonPaste = nullptr;
    QToolButton* ButtonSaveAsText = nullptr;
    TEditIni* EditSaveAsTextName = nullptr;
    TEditIni* EditSeparator = nullptr;
    TDBGrid* DBGrid1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanels[4] = {};
    QLabel* StatusWarning = nullptr;  // hidden while there is nothing to warn of
    TSavePos* SavePos1 = nullptr;
};

}  // namespace orn
