#include "workbench/importtext.h"

#include <fstream>

#include "dbengine/dataset/dataset_table.h"
#include "dbengine/dataset/field_text.h"
#include "dbengine/storage/codepage.h"
#include "dbengine/vtab/sql_value.h"
#include "text/progress.h"
#include "text/separators.h"
#include "text/zstring.h"
#include "workbench/errorreports.h"
#include "workbench/valuesplitter.h"

namespace orn {

namespace {

using db::FieldType;

// Rows are committed in batches so a long import neither holds one huge transaction nor pays
// for a transaction per row; every question to the user commits what came before it. A batch
// holds its rows in memory until it is committed, and every commit waits for the disk twice:
// a batch ends at so many rows or so many bytes of text read, whichever comes first.
constexpr std::size_t kBatchRows = 250000;
constexpr std::size_t kBatchBytes = std::size_t{16} << 20;

db::FieldKind KindOf(FieldType type) {
    switch (type) {
        case FieldType::Date:
            return db::FieldKind::Date;
        case FieldType::Time:
            return db::FieldKind::Time;
        case FieldType::Timestamp:
            return db::FieldKind::Timestamp;
        default:
            return db::FieldKind::Text;
    }
}

std::string WithDotDecimal(std::string text) {
    const char decimal = DecimalSeparator();
    if (decimal != '.') {
        for (char& c : text) {
            if (c == decimal) {
                c = '.';
            }
        }
    }
    return text;
}

db::Value ImportValue(const db::Field& field, const std::string& text) {
    switch (field.type) {
        case FieldType::Alpha:
        case FieldType::Memo:
        case FieldType::FmtMemo:
            return db::valueFromText(field, text);
        default:
            break;
    }
    if (text.empty()) {
        return std::monostate{};
    }
    if (db::isNumeric(field.type)) {
        return db::valueFromText(field, WithDotDecimal(text));
    }
    if (field.type == FieldType::Date || field.type == FieldType::Time ||
        field.type == FieldType::Timestamp) {
        // Dates as users write them (1/31/2026) besides the ISO form.
        try {
            return db::valueFromText(field, text);
        } catch (const db::EngineError&) {
            const db::Cell cell = db::cellFromText(KindOf(field.type), text);
            if (const auto* iso = std::get_if<std::string>(&cell)) {
                return db::valueFromText(field, *iso);
            }
            throw;
        }
    }
    return db::valueFromText(field, text);
}

// Fills `record` (one value a field; fields without a value in the line are blank).
void RecordOf(const std::vector<db::Field>& fields, const std::vector<std::string>& values,
              std::size_t lineNo, const std::string& fileName, db::Record& record) {
    record.resize(fields.size());
    const std::size_t n = std::min(fields.size(), values.size());
    for (std::size_t i = n; i < fields.size(); ++i) {
        record[i] = std::monostate{};
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (fields[i].type == FieldType::AutoInc) {
            record[i] = std::monostate{};
            continue;  // the table numbers its rows itself; the file's value is not taken
        }
        try {
            record[i] = ImportValue(fields[i], values[i]);
        } catch (const std::exception& e) {
            throw TImportValueError(std::string(e.what()) + " (field " + fields[i].name +
                                    ", line " + std::to_string(lineNo) + " of " + fileName + ")");
        }
    }
}

// Keeps the table's write transaction: committed in batches and at the end, also when the
// import ends early, so every row added before stays. While a question waits for the user the
// import holds no lock at all: Pause() commits and lets go, Resume() begins again.
class TBatch {
  public:
    explicit TBatch(db::Table& table) : table_(table) { table_.begin(); }
    ~TBatch() {
        if (open_) {
            try {
                table_.commit();
            } catch (...) {
                table_.rollback();
            }
        }
    }
    TBatch(const TBatch&) = delete;
    TBatch& operator=(const TBatch&) = delete;

    void Added(std::size_t textBytes) {
        bytes_ += textBytes;
        if (++rows_ >= kBatchRows || bytes_ >= kBatchBytes) {
            Flush();
        }
    }
    void Flush() {
        open_ = false;
        table_.commit();
        table_.forgetRecordIds();  // an import keeps none: memory stays flat however long
        rows_ = bytes_ = 0;
        table_.begin();
        open_ = true;
    }
    void Pause() {
        open_ = false;
        table_.commit();
        rows_ = bytes_ = 0;
        table_.endRead();
    }
    void Resume() {
        table_.begin();
        open_ = true;
    }
    void Finish() {
        if (open_) {
            open_ = false;
            table_.commit();
        }
    }

  private:
    db::Table& table_;
    std::size_t rows_ = 0;
    std::size_t bytes_ = 0;
    bool open_ = true;
};

}  // namespace

std::string ImportText(const std::string& tableName, const std::string& fileName, char delimiter,
                       TDialogs& dialogs) {
    std::string result;
    Report(SqlDebugKind(), "SELECT * from " + tableName);
    db::DatasetTable table(tableName);
    table.open();
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        throw std::runtime_error("Can not open file " + fileName);
    }
    db::Table& cursor = table.cursor();
    const std::vector<db::Field> fields = cursor.fields();
    std::string line;
    std::getline(in, line);  // the header line
    std::size_t lineNo = 1;
    bool ignoreAll = false;
    TBatch batch(cursor);
    // Files from Windows programs come in the code page of their time; such a line is not valid
    // UTF-8 and is read in the table's code page.
    const db::CodePage tablePage(cursor.codePage());
    TProgressTicker progress("Reading " + fileName, 0);
    std::int64_t stored = 0;
    TSplitLine split;  // both kept from line to line, so that their memory serves again
    db::Record record;
    while (std::getline(in, line)) {
        if (!progress.Tick()) {
            // As after an error, the rows read so far stay in the table.
            result = "Import cancelled: " + std::to_string(stored) + " rows of " + fileName +
                     " were stored";
            break;
        }
        ++lineNo;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!IsValidUtf8(line)) {
            line = tablePage.toUtf8(line);
        }
        SplitImportLine(line, delimiter, split);
        RecordOf(fields, split.values, lineNo, fileName, record);
        std::string message;
        try {
            if (split.unbalancedQuote) {
                throw db::EngineError("Unbalanced quotes: a quoted value has no closing quote.");
            }
            cursor.insert(record);
            batch.Added(line.size());
            ++stored;
            continue;
        } catch (const db::KeyViolation&) {
            continue;
        } catch (const db::EngineError& e) {
            message = e.what();
        }
        if (message == "Key violation." || ignoreAll) {
            continue;
        }
        message += " (line " + std::to_string(lineNo) + " of " + fileName + ")";
        batch.Pause();
        dialogs.ShowMessage(line);
        const DialogButton answer =
            dialogs.Ask(DialogKind::Error,
                        line + "\r\n" + message + "\r\nContinue with this file\r\n" +
                            "All = ignore all dbErrors for this (" + fileName + ") file",
                        {DialogButton::Yes, DialogButton::No, DialogButton::All});
        if (answer == DialogButton::All) {
            ignoreAll = true;
        } else if (answer == DialogButton::No) {
            result = "DB error: " + message;
            break;
        }
        batch.Resume();
    }
    batch.Finish();
    return result;
}

}  // namespace orn
