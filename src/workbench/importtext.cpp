#include "workbench/importtext.h"

#include <fstream>
#include <functional>
#include <optional>

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

// Rows stored in key order change blocks of one stretch of the table at a time; a batch also
// ends when its changed pages reach this many bytes (a few rows into a big table can otherwise
// touch most of its blocks).
constexpr std::uint64_t kBatchPageBytes = std::uint64_t{32} << 20;

// The file being read, line by line as the user sees it.
class TImportFile {
  public:
    TImportFile(const std::string& fileName, const db::CodePage& tablePage)
        : name_(fileName), in_(fileName, std::ios::binary), page_(tablePage) {
        if (!in_) {
            throw std::runtime_error("Can not open file " + fileName);
        }
        std::getline(in_, line_);  // the header line
        next_ = line_.size() + 1;
    }
    // The next line, its end of line taken off; false at the end of the file.
    bool Next() {
        if (!std::getline(in_, line_)) {
            return false;
        }
        at_ = next_;
        next_ += line_.size() + 1;
        ++lineNo_;
        Clean(line_);
        return true;
    }
    const std::string& Line() const { return line_; }
    std::size_t LineNo() const { return lineNo_; }
    std::uint64_t Offset() const { return at_; }  // of the current line in the file
    // The line that starts at `offset`, read again.
    std::string LineAt(std::uint64_t offset) const {
        std::ifstream again(name_, std::ios::binary);
        again.seekg(std::streamoff(offset));
        std::string line;
        std::getline(again, line);
        Clean(line);
        return line;
    }

  private:
    void Clean(std::string& line) const {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        // Files from Windows programs come in the code page of their time; such a line is not
        // valid UTF-8 and is read in the table's code page.
        if (!IsValidUtf8(line)) {
            line = page_.toUtf8(line);
        }
    }

    std::string name_;
    std::ifstream in_;
    const db::CodePage& page_;
    std::string line_;
    std::size_t lineNo_ = 1;
    std::uint64_t at_ = 0;
    std::uint64_t next_ = 0;
};

// Runs `write` for one row: "" when it went through or its key was taken already (such a row is
// skipped silently), else why the table refused it.
template <class Write>
std::string Refusal(Write&& write) {
    try {
        write();
    } catch (const db::KeyViolation&) {
    } catch (const db::EngineError& e) {
        return e.what();
    }
    return "";
}

// The question about a line the table refused, and the user's answers so far.
class TLineQuestions {
  public:
    TLineQuestions(TDialogs& dialogs, std::string fileName)
        : dialogs_(dialogs), fileName_(std::move(fileName)) {}
    // Whether the import goes on after the table refused the row of line `lineNo` (its text
    // from `line`) with `message`: silently after a duplicate key or an answer All, else as the
    // user answers, asked while `batch` (if any) is committed and holds no lock. False when the
    // user stops the import: `result` then says why (and `batch` stays paused).
    bool GoOn(TBatch* batch, const std::function<std::string()>& line, std::string message,
              std::size_t lineNo, std::string& result) {
        if (message == "Key violation." || ignoreAll_) {
            return true;
        }
        message += " (line " + std::to_string(lineNo) + " of " + fileName_ + ")";
        if (batch) {
            batch->Pause();
        }
        const std::string text = line();
        dialogs_.ShowMessage(text);
        const DialogButton answer =
            dialogs_.Ask(DialogKind::Error,
                         text + "\r\n" + message + "\r\nContinue with this file\r\n" +
                             "All = ignore all dbErrors for this (" + fileName_ + ") file",
                         {DialogButton::Yes, DialogButton::No, DialogButton::All});
        if (answer == DialogButton::All) {
            ignoreAll_ = true;
        } else if (answer == DialogButton::No) {
            result = "DB error: " + message;
            return false;
        }
        if (batch) {
            batch->Resume();
        }
        return true;
    }

  private:
    TDialogs& dialogs_;
    std::string fileName_;
    bool ignoreAll_ = false;
};

const char* kUnbalanced = "Unbalanced quotes: a quoted value has no closing quote.";

std::string CancelledText(std::int64_t stored, const std::string& fileName) {
    return "Import cancelled: " + std::to_string(stored) + " rows of " + fileName + " were stored";
}

// Every row stored as it is read.
std::string ImportAsRead(db::Table& cursor, TImportFile& file, char delimiter,
                         const std::string& fileName, TLineQuestions& questions) {
    std::string result;
    const std::vector<db::Field> fields = cursor.fields();
    TBatch batch(cursor);
    TProgressTicker progress("Reading " + fileName, 0);
    std::int64_t stored = 0;
    TSplitLine split;  // both kept from line to line, so that their memory serves again
    db::Record record;
    while (file.Next()) {
        if (!progress.Tick()) {
            // As after an error, the rows read so far stay in the table.
            result = CancelledText(stored, fileName);
            break;
        }
        const std::string& line = file.Line();
        SplitImportLine(line, delimiter, split);
        RecordOf(fields, split.values, file.LineNo(), fileName, record);
        const std::string refused = Refusal([&] {
            if (split.unbalancedQuote) {
                throw db::EngineError(kUnbalanced);
            }
            cursor.insert(record);
            batch.Added(line.size());
            ++stored;
        });
        if (!refused.empty() && !questions.GoOn(
                                    &batch, [&] { return line; }, refused, file.LineNo(), result)) {
            break;
        }
    }
    batch.Finish();
    return result;
}

// The note a row is sorted with: where its line is in the file (in `buf`, no allocation a row).
std::string_view NoteOf(std::uint64_t lineNo, std::uint64_t offset, char (&buf)[16]) {
    for (int i = 0; i < 8; ++i) {
        buf[i] = char(lineNo >> (8 * i));
        buf[8 + i] = char(offset >> (8 * i));
    }
    return {buf, sizeof buf};
}
std::uint64_t NoteValue(std::string_view note, std::size_t at) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = (v << 8) | std::uint8_t(note[at + std::size_t(i)]);
    }
    return v;
}

// Rows in key order are stored as they are read, as ImportAsRead stores them. From the first
// row out of order on, the rest of the file is read first (holding no lock of the table
// meanwhile) and then stored in key order.
std::string ImportByKey(db::Table& cursor, db::SortedInsert& sorted, TImportFile& file,
                        char delimiter, const std::string& fileName, TLineQuestions& questions) {
    std::string result;
    const std::vector<db::Field> fields = cursor.fields();
    bool cancelled = false;
    std::int64_t stored = 0;
    std::exception_ptr failure;  // thrown again once the rows before it are stored
    {
        std::optional<TBatch> batch(std::in_place, cursor);  // while rows are stored as read
        TProgressTicker progress("Reading " + fileName, 0);
        TSplitLine split;
        db::Record record;
        try {
            while (file.Next()) {
                if (!progress.Tick()) {
                    cancelled = true;
                    break;
                }
                const std::string& line = file.Line();
                SplitImportLine(line, delimiter, split);
                RecordOf(fields, split.values, file.LineNo(), fileName, record);
                const std::string refused = Refusal([&] {
                    if (split.unbalancedQuote) {
                        throw db::EngineError(kUnbalanced);
                    }
                    char note[16];
                    if (sorted.add(record, NoteOf(file.LineNo(), file.Offset(), note))) {
                        batch->Added(line.size());
                        ++stored;
                    } else if (batch) {
                        batch->Finish();
                        batch.reset();
                        cursor.endRead();
                    }
                });
                if (!refused.empty() && !questions.GoOn(
                                            batch ? &*batch : nullptr, [&] { return line; },
                                            refused, file.LineNo(), result)) {
                    break;
                }
            }
        } catch (...) {
            failure = std::current_exception();
        }
        if (batch) {
            batch->Finish();
        }
    }
    if (sorted.count() > 0) {
        TBatch batch(cursor);
        TProgressTicker progress("Storing the rows of " + fileName, std::int64_t(sorted.count()));
        while (sorted.next()) {
            if (!progress.Tick()) {
                cancelled = true;
                break;
            }
            const std::string refused = Refusal([&] {
                sorted.store();
                ++stored;
                batch.Added(0);
                if (sorted.pendingBytes() >= kBatchPageBytes) {
                    batch.Flush();
                }
            });
            const std::string_view note = sorted.note();
            if (!refused.empty() && !questions.GoOn(
                                        &batch, [&] { return file.LineAt(NoteValue(note, 8)); },
                                        refused, std::size_t(NoteValue(note, 0)), result)) {
                break;
            }
        }
        batch.Finish();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    if (cancelled) {
        result = CancelledText(stored, fileName);
    }
    return result;
}

}  // namespace

std::string ImportText(const std::string& tableName, const std::string& fileName, char delimiter,
                       TDialogs& dialogs, ImportOrder order) {
    Report(SqlDebugKind(), "SELECT * from " + tableName);
    db::DatasetTable table(tableName);
    table.open();
    db::Table& cursor = table.cursor();
    const db::CodePage tablePage(cursor.codePage());
    TImportFile file(fileName, tablePage);
    TLineQuestions questions(dialogs, fileName);
    std::unique_ptr<db::SortedInsert> sorted;
    if (order == ImportOrder::ByKey) {
        sorted = cursor.sortedInsert();
    }
    if (sorted) {
        return ImportByKey(cursor, *sorted, file, delimiter, fileName, questions);
    }
    return ImportAsRead(cursor, file, delimiter, fileName, questions);
}

}  // namespace orn
