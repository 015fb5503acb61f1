#pragma once
// READ: appends the rows of a separated text file to a table in the working directory.

#include <stdexcept>
#include <string>

#include "text/dialogs.h"

namespace orn {

// A value of the file that its field cannot take. It ends the import; rows added before stay.
class TImportValueError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The first line of the file is a header and is skipped; every further line is split into
// values (SplitImportLine) at `delimiter`, and the first values fill the first fields of a new
// record; the value for an autoincrement field is skipped (the table numbers the row). The table
// name is read as in "SELECT * from <name>", quotes and all. A duplicate key skips the line
// silently. Any other engine error shows the line and asks Yes (go on), No (stop) or All (go on,
// and skip later engine errors silently). Returns "" or, when the user stopped, "DB error: " + the
// engine's message. A missing table or file, or a value a field cannot take, is thrown; rows
// already added stay in the table.
//
// Into a keyed table whose records can be (see db::Table::sortedInsert) the rows are read whole
// first and then stored in key order, which writes every block of the table about once however
// the rows are ordered in the file; the table holds what storing them one by one would give.
// A cancel or a stop while the file is read stores the rows read before it; a cancel or stop
// while they are stored keeps the rows stored so far. `order` AsRead stores every row as it is
// read, whatever the table.
enum class ImportOrder { ByKey, AsRead };
std::string ImportText(const std::string& tableName, const std::string& fileName, char delimiter,
                       TDialogs& dialogs, ImportOrder order = ImportOrder::ByKey);

}  // namespace orn
