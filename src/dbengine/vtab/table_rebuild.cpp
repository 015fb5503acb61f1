#include "dbengine/vtab/table_rebuild.h"

#include <unistd.h>

#include <atomic>
#include <string>
#include <system_error>

#include "dbengine/storage/value_text.h"
#include "dbengine/vtab/sql_value.h"
#include "dbengine/vtab/table_files.h"

namespace orn::db {
namespace fs = std::filesystem;
namespace {

bool hexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// Whether a file extension belongs to a table of the format: the table itself, its memo/blob
// file, its primary and secondary index files, its validity checks.
bool familyExtension(const std::string& ext, bool dbase) {
    if (dbase) {
        return ext == ".dbf" || ext == ".dbt" || ext == ".fpt" || ext == ".mdx" || ext == ".cdx";
    }
    if (ext == ".db" || ext == ".px" || ext == ".mb" || ext == ".val" || ext == ".tv" ||
        ext == ".fam") {
        return true;
    }
    // .Xnn/.Ynn secondary indexes, .XGn/.YGn composite ones
    return ext.size() == 4 && (ext[1] == 'x' || ext[1] == 'y') &&
           ((hexDigit(ext[2]) && hexDigit(ext[3])) || (ext[2] == 'g' && hexDigit(ext[3])));
}

// Files of the directory that make up the table with this stem (any letter case).
std::vector<fs::path> familyOf(const fs::path& dir, const std::string& stem, bool dbase) {
    std::vector<fs::path> out;
    const std::string wanted = lowerAscii(stem);
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (lowerAscii(it->path().stem().string()) == wanted &&
            familyExtension(lowerAscii(it->path().extension().string()), dbase) &&
            it->is_regular_file(ec)) {
            out.push_back(it->path());
        }
    }
    return out;
}

void renameOrThrow(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec) {
        throw EngineError("Cannot rename " + from.string() + " to " + to.string() + ": " +
                          ec.message());
    }
}

std::string uniqueStem(const char* what) {
    static std::atomic<unsigned> counter{0};
    return std::string("_orn_") + what + std::to_string(::getpid()) + "_" +
           std::to_string(counter++);
}

}  // namespace

void rebuildTable(const fs::path& file, const TableCreate& layout,
                  const std::vector<int>& sources) {
    const fs::path temp = temporaryTableBeside(file);
    bool dbase = false;
    {
        auto old = Table::open(file, OpenMode::Exclusive);
        const auto& oldFields = old->fields();
        dbase = old->format() == TableFormat::DBase;
        try {
            auto fresh = Table::create(temp, old->format(), layout);
            fresh->begin();
            auto cursor = old->scan();
            Record record(layout.fields.size());
            std::uint64_t recordNo = 0;
            while (cursor->next()) {
                ++recordNo;
                for (std::size_t i = 0; i < layout.fields.size(); ++i) {
                    const int src = i < sources.size() ? sources[i] : -1;
                    if (src < 0) {
                        record[i] = Value{};
                        continue;
                    }
                    const auto& from = oldFields[static_cast<std::size_t>(src)];
                    const Value& value = cursor->value(static_cast<std::size_t>(src));
                    auto converted = convertValue(value, from, layout.fields[i]);
                    if (!converted) {
                        throw EngineError("Field " + layout.fields[i].name + " of record " +
                                          std::to_string(recordNo) + " cannot hold the value \"" +
                                          valueText(value) + "\"");
                    }
                    record[i] = std::move(*converted);
                }
                fresh->insert(record);
            }
            fresh->commit();
        } catch (...) {
            std::error_code ec;
            if (fs::exists(temp, ec)) {
                try {
                    Table::drop(temp);
                } catch (const EngineError&) {
                }
            }
            throw;
        }
    }
    replaceTable(file, temp, dbase ? TableFormat::DBase : TableFormat::Paradox);
}

fs::path temporaryTableBeside(const fs::path& file) {
    const fs::path dir = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    return dir / (uniqueStem("new") + file.extension().string());
}

void replaceTable(const fs::path& file, const fs::path& temp, TableFormat format) {
    const bool dbase = format == TableFormat::DBase;
    const fs::path dir = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    // Old files step aside under a backup name, the new ones take the table's name, and only then
    // are the old ones removed.
    const std::string stem = file.stem().string();
    const std::string backupStem = uniqueStem("old");
    std::vector<std::pair<fs::path, fs::path>> movedOld;
    for (const auto& f : familyOf(dir, stem, dbase)) {
        const fs::path to = dir / (backupStem + f.extension().string());
        renameOrThrow(f, to);
        movedOld.emplace_back(to, f);
    }
    try {
        for (const auto& f : familyOf(dir, temp.stem().string(), dbase)) {
            renameOrThrow(f, dir / (stem + f.extension().string()));
        }
    } catch (...) {
        for (const auto& [backup, original] : movedOld) {
            std::error_code ec;
            fs::rename(backup, original, ec);
        }
        throw;
    }
    for (const auto& [backup, original] : movedOld) {
        std::error_code ec;
        fs::remove(backup, ec);
    }
}

}  // namespace orn::db
