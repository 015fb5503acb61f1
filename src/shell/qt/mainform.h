#pragma once
// The main window: a multi-document frame holding query windows and statement windows, with the
// tool bar ("New", "Exec"), the menus, the window list, the files opened last, and drops of files
// and folders. Closing it ends the application; a program still running is stopped first.

#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <QPointer>
#include <deque>
#include <functional>
#include <string>

#include "settings/qt/zform.h"
#include "shell/qt/querychild.h"
#include "shell/recentfiles.h"
#include "text/dialogs.h"

namespace orn {

class TFormExec;
class TFormSqlHelp;
class TSavePos;

class TFormORN : public QMainWindow, public TzForm {
    Q_OBJECT

  public:
    TFormORN(TDialogs& dialogs, TQueryFactory newQuery, QWidget* parent = nullptr);
    ~TFormORN() override;

    QMdiArea* MdiArea() const { return mdi_; }
    TDialogs& Dialogs() { return dialogs_; }

    // "New": a new query window, shown in the frame.
    TQueryChild* NewQuery();
    // "Exec": a new statement window, shown in the frame.
    TFormExec* NewExec();
    // The active child's query window, if the active child is one.
    TQueryChild* ActiveQuery() const;

    // `query` opens `fileName`; a successful open, and a folder, joins the files opened last.
    std::string OpenIn(TQueryChild& query, const std::string& fileName);
    // A new query window opens `fileName`; when the open fails the window is closed again and
    // the error text returned.
    std::string OpenInNewQuery(const std::string& fileName);
    // Dropped files and folders, in order, each in a new query window. Names dropped while an
    // earlier drop is still being opened (a program running) wait their turn. Failures other
    // than folders are shown together in one box when all are done.
    void OpenDropped(const std::vector<std::string>& fileNames);

    // "SQL &Help": the SQL help window at its contents (one window, brought to front).
    TFormSqlHelp* ShowSqlHelp();
    // "&Program Commands": the command listing of the active query window; nothing otherwise.
    void ShowProgramCommands();

    // The files opened last, as "&File" lists them.
    TRecentFiles& RecentFiles() { return recent_; }
    // Opens a listed file again; a listed file that is gone leaves the list with a message.
    void OpenRecent(const std::string& fileName);

    // "Error log" appears in "&Window" once the error window can be opened.
    void SetErrorLogOpener(std::function<void()> open);

    // A program ran EXIT: the window closes as soon as no program runs any more.
    void RequestClose();
    bool CloseRequested() const { return closeRequested_; }

    // Rebuilt whenever the menu opens; public so tests see what a user would.
    void UpdateFileMenu();
    void UpdateWindowMenu();
    QMenu* FileMenu() const { return fileMenu_; }
    QMenu* WindowMenu() const { return windowMenu_; }
    QMenu* HelpMenu() const { return helpMenu_; }

  signals:
    // The window closed for good: the application ends.
    void Closed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void BuildMenus();
    QMdiSubWindow* AddChild(QWidget* window);
    bool AnyProgramRunning() const;
    void StopAllPrograms();
    void CloseWhenIdle();
    void Remember(const std::string& fileName);

    TDialogs& dialogs_;
    TQueryFactory newQuery_;
    QMdiArea* mdi_;
    QMenu* fileMenu_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    QAction* newAction_ = nullptr;
    QAction* exitAction_ = nullptr;
    QAction* cascadeAction_ = nullptr;
    QAction* tileAction_ = nullptr;
    QPointer<TFormSqlHelp> help_;
    TSavePos* savePos_;
    TRecentFiles recent_;
    std::function<void()> openErrorLog_;
    std::deque<std::string> pendingDrops_;
    bool openingDrops_ = false;
    bool closeRequested_ = false;
    bool closeScheduled_ = false;
};

}  // namespace orn
