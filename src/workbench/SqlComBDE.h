#pragma once
// Database operations of the SQL command set that the command-line modes share: saving a result
// as a table, executing statements (also from a file), and the guarded forms that turn every
// failure into a text for ReportError.

#include <string>
#include <vector>

#include "engine/programview.h"
#include "text/dialogs.h"

namespace orn::db {
class Query;
}

namespace orn {

// Re-runs the query's SQL text in its database directory as a separate answer set and makes it
// the table `name` + ".db" (a name ending in ".dbf" keeps its name and makes a dBASE table),
// replacing a table of that name. An engine failure in making the table goes to ReportError and
// gives false; a failure in opening the SQL text is thrown.
// Secondary indexes of the replaced table that the answer cannot keep go to view->Warn.
bool SaveResultAsTable(db::Query& source, const std::string& name, TDialogs& dialogs,
                       TProgramView* view = nullptr);

// A statement that yields no result set, or "file:" + a path (at most 200 characters) to run the
// lines of that file. Table names are resolved against the working directory. Throws on failure.
// What the statements did on their own (an index removed) goes to view->Warn, failure or not.
void ExecStatement(const std::string& text, TProgramView* view = nullptr);

// Runs each line of the file as a statement until the end of the file or the first empty line;
// a failing line is skipped. A file that cannot be opened, or that is not text (it holds NUL
// bytes), is an error.
void ExecStatementFile(db::Query& query, const std::string& fileName, TProgramView* view = nullptr);

// Passes what the query's statements did on their own (Query::takeNotices) to view->Warn.
void TellNotices(db::Query& query, TProgramView* view);
void TellNotices(const std::vector<std::string>& notices, TProgramView* view);

// The guarded forms: every failure goes to ReportError as the command word, the arguments
// separated by blanks, CR LF and the message. True when the operation succeeded.
bool GuardedExecStatement(const std::string& text, TProgramView& view);
// Secondary indexes a restructure cannot keep go to view.Warn.
bool GuardedAddPrimaryIndex(const std::string& table, const std::string& columns,
                            TProgramView& view);
bool GuardedChangeField(const std::string& table, const std::string& column,
                        const std::string& type, const std::string& size, TProgramView& view);

}  // namespace orn
