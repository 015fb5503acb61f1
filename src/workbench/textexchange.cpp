#include "workbench/textexchange.h"

#include <algorithm>
#include <vector>

#include "dbengine/dataset/query.h"
#include "text/progress.h"
#include "text/safefile.h"
#include "workbench/errorreports.h"

namespace orn {

namespace {

constexpr const char* kLineEnd = "\r\n";

// Suspends redrawing and returns to the remembered record, whatever happens in between.
class TWalkGuard {
  public:
    explicit TWalkGuard(db::Query& query) : query_(query), recNo_(query.recNo()) {
        query_.disableControls();
    }
    ~TWalkGuard() {
        try {
            if (query_.active() && recNo_ > 0) {
                query_.setRecNo(recNo_);
            }
        } catch (...) {
            // Returning to the old record is a courtesy; the walk's own outcome counts.
        }
        query_.enableControls();
    }
    TWalkGuard(const TWalkGuard&) = delete;
    TWalkGuard& operator=(const TWalkGuard&) = delete;

  private:
    db::Query& query_;
    std::int64_t recNo_;
};

void AppendHeader(db::Query& query, const std::string& separator, std::string& out) {
    for (std::size_t f = 0; f < query.fieldCount(); ++f) {
        if (f > 0) {
            out += separator;
        }
        out += query.field(f).name();
    }
    out += kLineEnd;
}

void AppendRecord(db::Query& query, const std::string& separator, std::string& out) {
    for (std::size_t f = 0; f < query.fieldCount(); ++f) {
        if (f > 0) {
            out += separator;
        }
        query.field(f).appendDisplayText(out);
    }
    out += kLineEnd;
}

}  // namespace

std::vector<std::string> SplitTextLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

std::string CopyToClipboard(db::Query& query, const std::string& separator, TClipboard& clipboard) {
    const std::int64_t rows = std::min<std::int64_t>(query.recordCount(), kClipboardRows);
    std::string text;
    {
        TWalkGuard guard(query);
        query.first();
        AppendHeader(query, separator, text);
        for (std::int64_t r = 0; r < rows && !query.eof(); ++r) {
            AppendRecord(query, separator, text);
            query.next();
        }
    }
    clipboard.SetText(text);
    return {};
}

void PasteLine(db::Query& query, const std::string& line, const std::string& separator) {
    try {
        query.insert();
    } catch (const std::exception&) {
        // The values then go into the record still being edited.
    }
    std::string rest = line;
    for (std::size_t f = 0; f < query.fieldCount(); ++f) {
        std::string value;
        const std::size_t at = separator.empty() ? std::string::npos : rest.find(separator);
        if (at == std::string::npos) {
            value = std::move(rest);
            rest.clear();
        } else {
            value = rest.substr(0, at);
            rest.erase(0, at + separator.size());
        }
        db::DatasetField& field = query.field(f);
        if (field.readOnly()) {
            continue;  // the engine sets these (autoincrement, computed columns)
        }
        field.setAsString(value);
    }
}

std::string PasteFromClipboard(db::Query& query, const std::string& separator,
                               TClipboard& clipboard) {
    const std::vector<std::string> lines = SplitTextLines(clipboard.Text());
    TProgressTicker progress("Pasting", static_cast<std::int64_t>(lines.size()));
    for (const std::string& line : lines) {
        if (!progress.Tick()) {
            // The rows pasted so far stay stored, the last one included.
            try {
                query.post();
            } catch (const std::exception&) {
                query.cancel();
            }
            return "Paste cancelled: " + std::to_string(progress.Count() - 1) + " of " +
                   std::to_string(lines.size()) + " rows were pasted";
        }
        PasteLine(query, line, separator);
    }
    try {
        query.post();
    } catch (const std::exception&) {
        query.cancel();
    }
    return {};
}

std::string SaveAsText(db::Query& query, const std::string& fileName,
                       const std::string& separator) {
    // A new file beside the target takes its place once complete, so a failed export keeps the
    // old file (text/safefile.h says what of the old file stays).
    TFileReplacer writer(fileName);
    if (!writer.IsOpen()) {
        return "Can not open file " + fileName;
    }
    // Walking to the end writes every record; counting them first would read the result twice.
    bool written = true;
    bool cancelled = false;
    {
        TWalkGuard guard(query);
        TProgressTicker progress("Saving " + fileName, 0);
        query.first();
        std::string buffer;
        buffer.reserve(1 << 17);
        AppendHeader(query, separator, buffer);
        while (!query.eof() && written) {
            if (!progress.Tick()) {
                cancelled = true;
                break;
            }
            AppendRecord(query, separator, buffer);
            if (buffer.size() >= (1 << 16)) {
                written = writer.Write(buffer);
                buffer.clear();
            }
            query.next();
        }
        written = written && !cancelled && writer.Write(buffer);
    }
    if (cancelled) {
        return "Cancelled: " + fileName + " was not written";  // an old file stays as it was
    }
    if (!written || !writer.Finish()) {
        return "Can not write file " + fileName;
    }
    return {};
}

bool OpenSql(db::Query& query, const std::string& sql) {
    query.close();
    query.setSql(sql);
    Report(SqlDebugKind(), sql);
    query.open();
    return true;
}

}  // namespace orn
