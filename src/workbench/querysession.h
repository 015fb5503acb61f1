#pragma once
// The non-visual half of a query window: its live Query, its SQL and program directories, the
// separator and file-name boxes, and its program runner with every command registered. The Qt
// window wraps one; the headless program run uses one directly, so a program behaves the same in
// both. Every command of a program acts on the session whose runner runs it.

#include <functional>
#include <memory>
#include <string>

#include "dbengine/dataset/query.h"
#include "engine/FormCommands.h"
#include "workbench/clipboard.h"

namespace orn {

class TQuerySession {
  public:
    // Both directories start at `startDirectory` (the current directory when empty).
    explicit TQuerySession(TProgramView& view, const std::string& startDirectory = {});
    TQuerySession(const TQuerySession&) = delete;
    TQuerySession& operator=(const TQuerySession&) = delete;

    TParamProgram& Program() { return program_; }
    TProgramView& View() { return view_; }
    db::Query& Query() { return query_; }

    // Setting a directory also makes it the working directory. A relative name is taken against
    // the directory's current value; a name that is no existing directory is not taken (false).
    const std::string& SqlDirectory() const { return sqlDirectory_; }
    bool SetSqlDirectory(const std::string& directory);
    const std::string& ProgramDirectory() const { return programDirectory_; }
    bool SetProgramDirectory(const std::string& directory);

    // The separator box (default "#9") and what it stands for. The box text is kept in the
    // settings where the window's EditSeparator keeps it: loaded when the session is made, saved
    // whenever it changes to a text other than the one last loaded or saved.
    const std::string& SeparatorText() const { return separatorText_; }
    void SetSeparatorText(const std::string& text);
    std::string GetSeparator() const;
    // Told whenever a program changes the separator box, so the window can keep it.
    std::function<void(const std::string&)> OnSeparatorChanged;

    std::string SaveName = "sub";            // name of the table "Save As" makes
    std::string SaveAsTextName = "tmp.txt";  // name of the text file "Save as text" writes
    std::string CondText;                    // the SQL text box
    bool RunAutomatically = false;           // run a program as soon as it is loaded

    const std::string& CurrentTable() const { return currentTable_; }
    const std::string& Caption() const { return caption_; }
    const std::string& ProgramFileName() const { return programFileName_; }

    // The clipboard COPY and the Copy and Paste buttons use; in memory unless the window sets one.
    TClipboard& Clipboard() { return *clipboard_; }
    void SetClipboard(TClipboard* clipboard);

    // Told after the SQL or program directory changed (by the window, a table opened from
    // elsewhere or a program's CHDIR), so the window can show them.
    std::function<void()> OnDirectoriesChanged;

    // EXIT asks the application to close through this; the run itself goes on.
    std::function<void()> OnExit;
    bool ExitRequested() const { return exitRequested_; }

    // The CHDIR callback: points both directories (and the working directory) at `directory`,
    // taken relative to the SQL directory. A directory that does not exist changes nothing and
    // gives an error text.
    void ChangeDirectories(const std::string& directory, std::string& result);

    // Closes the Query, points it at the SQL directory, gives it the text and opens it.
    // Failures are thrown.
    void RunSql(const std::string& text);
    void RunCurrentSql() { RunSql(CondText); }
    // The table name without directory and cut at its first dot becomes CurrentTable; the
    // caption and the SQL text box follow.
    void SelectTable(const std::string& fileName);
    // Sets [currentdate] (yymmdd), [currenttime] (hhnn) and [currentsecond] (ss).
    void UpdateMacros();

    // ".orn" loads a program, ".db" and ".dbf" open a table; anything else (a folder, say)
    // becomes the SQL directory and gives "Unknow extension". Returns "" on success.
    std::string OpenFileByExtension(const std::string& fileName);
    // Loads a program (the runner's message on failure) and runs it when RunAutomatically.
    std::string LoadProgramFile(const std::string& fileName);
    std::string OpenTableFile(const std::string& fileName);
    // Loads a program without running it; returns the runner's load message.
    std::string OpenProgram(const std::string& fileName);
    // Makes the SQL directory the working directory, updates the date macros and runs the
    // loaded program. Exceptions are discarded after the runner's own handling.
    RunEnd RunProgram();

  private:
    void RegisterCommands();
    void RegisterSqlCommands();
    void RegisterClosingCommands();
    bool SetDirectory(std::string& which, const std::string& directory);

    void DoSql(const std::string& params, std::string& result);
    void DoSave(const std::string& params, std::string& result);
    void DoExec(const std::string& params, std::string& result);
    void DoFormat(const std::string& params, std::string& result);
    void DoSaveAs(const std::string& params, std::string& result);
    void DoCopy(const std::string& params, std::string& result);
    void DoIndex(const std::string& params, std::string& result);
    void DoChange(const std::string& params, std::string& result);
    void DoRead(const std::string& params, std::string& result);
    void DoSeparator(const std::string& params, std::string& result);
    void DoUpdateMacros(const std::string& params, std::string& result);
    void DoExit(const std::string& params, std::string& result);

    TProgramView& view_;
    TParamProgram program_;
    db::Query query_;
    std::string sqlDirectory_;
    std::string programDirectory_;
    std::string separatorText_ = "#9";
    std::string storedSeparatorText_;  // as last loaded or saved
    std::string currentTable_;
    std::string caption_ = "Query";
    std::string programFileName_;
    TMemoryClipboard memoryClipboard_;
    TClipboard* clipboard_ = &memoryClipboard_;
    bool exitRequested_ = false;
};

}  // namespace orn
