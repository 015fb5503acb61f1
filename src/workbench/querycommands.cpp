// The SQL command set of a query session: SQL, SAVE, EXEC, FORMAT, SAVEAS, COPY, INDEX, CHANGE,
// READ, SEPARATOR, then (after the runner's DECIMAL) UPDATEMACROS and EXIT.
#include "text/zstring.h"
#include "workbench/SqlComBDE.h"
#include "workbench/importtext.h"
#include "workbench/querysession.h"
#include "workbench/textexchange.h"

namespace orn {

namespace {

// The texts before the first comma and after it (further commas stay in the second), trimmed.
void SplitAtFirstComma(const std::string& params, std::string& a, std::string& b) {
    const std::size_t comma = params.find(',');
    a = Trim(params.substr(0, comma));
    b = comma == std::string::npos ? std::string() : Trim(params.substr(comma + 1));
}

// The texts between commas, trimmed; missing parts empty, parts past the last wanted dropped.
std::vector<std::string> SplitFields(const std::string& params, std::size_t count) {
    std::vector<std::string> parts(count);
    std::size_t start = 0;
    for (std::size_t i = 0; i < count && start != std::string::npos; ++i) {
        const std::size_t comma = params.find(',', start);
        parts[i] = Trim(
            params.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        start = comma == std::string::npos ? comma : comma + 1;
    }
    return parts;
}

}  // namespace

void TQuerySession::RegisterSqlCommands() {
    auto add = [this](const char* name,
                      void (TQuerySession::*handler)(const std::string&, std::string&),
                      const char* help) {
        program_.AddCommand(std::make_unique<TProgramCommand>(
            name,
            [this, handler](const std::string& params, std::string& result) {
                (this->*handler)(params, result);
            },
            help));
    };
    add("SQL", &TQuerySession::DoSql, "SQL-sentence");
    add("SAVE", &TQuerySession::DoSave, "filename");
    add("EXEC", &TQuerySession::DoExec, "SQL-sentence");
    add("FORMAT", &TQuerySession::DoFormat, "col_name,display_format");
    add("SAVEAS", &TQuerySession::DoSaveAs, "filename");
    add("COPY", &TQuerySession::DoCopy, "");
    add("INDEX", &TQuerySession::DoIndex, "table_name,col_list");
    add("CHANGE", &TQuerySession::DoChange, "table_name,col_name,col_type,col_size");
    add("READ", &TQuerySession::DoRead, "table_name,filename");
    add("SEPARATOR", &TQuerySession::DoSeparator, "separatorchar");
}

void TQuerySession::RegisterClosingCommands() {
    program_.AddCommand(std::make_unique<TProgramCommand>(
        "UPDATEMACROS",
        [this](const std::string& params, std::string& result) { DoUpdateMacros(params, result); },
        ""));
    program_.AddCommand(std::make_unique<TProgramCommand>(
        "EXIT", [this](const std::string& params, std::string& result) { DoExit(params, result); },
        ""));
}

void TQuerySession::DoSql(const std::string& params, std::string& result) {
    result.clear();
    RunSql(params);
}

void TQuerySession::DoSave(const std::string& params, std::string& result) {
    result.clear();
    SaveResultAsTable(query_, params, view_, &view_);
}

void TQuerySession::DoExec(const std::string& params, std::string& result) {
    result.clear();
    GuardedExecStatement(params, view_);
}

void TQuerySession::DoFormat(const std::string& params, std::string& result) {
    std::string column, format;
    SplitAtFirstComma(params, column, format);
    db::DatasetField& field = query_.fieldByName(column);
    if (!field.isNumeric()) {
        result = column + " is not numeric!";
        return;
    }
    field.setDisplayFormat(format);
    result.clear();
}

void TQuerySession::DoSaveAs(const std::string& params, std::string& result) {
    result = SaveAsText(query_, params, GetSeparator());
}

void TQuerySession::DoCopy(const std::string&, std::string& result) {
    result = CopyToClipboard(query_, "\t", Clipboard());
}

void TQuerySession::DoIndex(const std::string& params, std::string& result) {
    std::string table, columns;
    SplitAtFirstComma(params, table, columns);
    result.clear();
    GuardedAddPrimaryIndex(table, columns, view_);
}

void TQuerySession::DoChange(const std::string& params, std::string& result) {
    const std::vector<std::string> p = SplitFields(params, 4);
    result.clear();
    GuardedChangeField(p[0], p[1], p[2], p[3], view_);
}

void TQuerySession::DoRead(const std::string& params, std::string& result) {
    std::string table, file;
    SplitAtFirstComma(params, table, file);
    const std::string separator = GetSeparator();
    result = ImportText(table, file, separator.empty() ? '\t' : separator[0], view_);
}

void TQuerySession::DoSeparator(const std::string& params, std::string& result) {
    SetSeparatorText(ReplaceAll(params, "\"", ""));
    if (OnSeparatorChanged) {
        OnSeparatorChanged(separatorText_);
    }
    result.clear();
}

void TQuerySession::DoUpdateMacros(const std::string&, std::string& result) {
    UpdateMacros();
    result.clear();
}

void TQuerySession::DoExit(const std::string&, std::string& result) {
    result.clear();
    exitRequested_ = true;
    if (OnExit) {
        OnExit();
    }
}

}  // namespace orn
