#pragma once
// What the main window needs of a query window. The window is a plain QWidget; it carries one
// TQueryChild as a direct child object, found again with TQueryChild::Of.

#include <QObject>
#include <QWidget>
#include <functional>
#include <string>

namespace orn {

class TQueryChild : public QObject {
    Q_OBJECT

  public:
    explicit TQueryChild(QWidget* window);

    QWidget* Window() const;
    // The query child of a window; none for any other window (a statement window, say).
    static TQueryChild* Of(QWidget* window);

    // Opens a program, a table or a folder (see the query session); "" on success. A program
    // whose window has "Run automatically" checked runs before this returns.
    virtual std::string OpenFileByExtension(const std::string& fileName) = 0;
    // The runner's listing of the window's commands.
    virtual void ShowProgramCommands() = 0;
    virtual bool ProgramRunning() const = 0;
    // Asks a running program to stop before its next line.
    virtual void StopProgram() = 0;

  signals:
    // A program of this window ran EXIT: the application closes once the run is over.
    void ExitRequested();
};

// Makes a new query window (not yet shown) whose parent is `parent`.
using TQueryFactory = std::function<QWidget*(QWidget* parent)>;

class TDialogs;
// The application's query windows: their dialogs go to `dialogs`, their program directory
// starts at `startDirectory` (the directory orn was started in).
TQueryFactory QueryWindowFactory(TDialogs& dialogs, const std::string& startDirectory);

}  // namespace orn
