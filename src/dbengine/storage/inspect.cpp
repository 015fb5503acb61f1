#include "dbengine/storage/inspect.h"

#include <ostream>

#include "dbengine/storage/companion.h"
#include "dbengine/storage/table.h"
#include "dbengine/storage/value_text.h"

namespace orn::db {

namespace {

std::string escaped(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
    return out;
}

void info(Table& table, std::ostream& out) {
    const auto& fields = table.fields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        out << escaped(fields[i].name) << '\t' << inspectTypeText(fields[i]) << '\t'
            << fields[i].size << '\t' << (static_cast<int>(i) < table.keyFieldCount() ? "key" : "-")
            << '\n';
    }
}

void dump(Table& table, std::ostream& out) {
    const auto& fields = table.fields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        out << (i ? "\t" : "") << escaped(fields[i].name);
    }
    out << '\n';
    auto cursor = table.scan();
    std::string line;
    while (cursor->next()) {
        line.clear();
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i)
                line += '\t';
            line += escaped(valueText(cursor->value(i)));
        }
        line += '\n';
        out << line;
    }
}

}  // namespace

std::string inspectTypeText(const Field& field) {
    switch (field.type) {
        case FieldType::Alpha:
            return "A";
        case FieldType::Date:
            return "D";
        case FieldType::Short:
            return "S";
        case FieldType::Long:
            return "I";
        case FieldType::Number:
            return "N";
        case FieldType::Bcd:
            return "#";
        case FieldType::Time:
            return "T";
        case FieldType::Timestamp:
            return "@";
        case FieldType::AutoInc:
            return "+";
        default:
            break;
    }
    if (field.letter != 0)
        return std::string(1, field.letter);
    return typeName(field.type);
}

int runInspect(const std::string& mode, const std::filesystem::path& file, std::ostream& out,
               std::ostream& err) {
    const std::string m = asciiLower(mode);
    if (m != "info" && m != "dump") {
        err << "Unknown inspection " << mode << "; use INFO or DUMP.\n";
        return 2;
    }
    try {
        auto table = Table::open(file, OpenMode::ReadOnly);
        if (m == "info") {
            info(*table, out);
        } else {
            dump(*table, out);
        }
        out.flush();
        // What was given is all that could be read; the user hears once what is missing.
        if (!table->damage().empty())
            err << damagedWarning(file, table->damage()) << "\n";
        return 0;
    } catch (const std::exception& e) {
        out.flush();
        err << e.what() << '\n';
        return 1;
    }
}

}  // namespace orn::db
