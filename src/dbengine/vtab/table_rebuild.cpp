#include "dbengine/vtab/table_rebuild.h"

#include <string>

#include "dbengine/storage/restructure.h"
#include "dbengine/storage/secondary_indexes.h"
#include "dbengine/storage/table_code_page.h"
#include "dbengine/storage/table_swap.h"
#include "dbengine/storage/value_text.h"
#include "dbengine/vtab/sql_value.h"

namespace orn::db {
namespace fs = std::filesystem;

std::vector<std::string> rebuildTable(const fs::path& file, TableCreate layout,
                                      const std::vector<int>& sources) {
    auto old = Table::open(file, OpenMode::Exclusive);
    const auto& oldFields = old->fields();
    const TableFormat format = old->format();
    if (layout.codePage.empty()) {
        layout.codePage = storedCodePage(*old).name;
    }
    layout.headerName = file.filename().string();
    checkDefinitionsSurvive(*old, layout.fields, layout.keyFields, sources,
                            "change the structure of " + file.string());
    layout.carried = carriedHeaderOf(*old, sources);
    const fs::path temp = swapTempPath(file);
    discardTableFiles(format, temp);
    std::vector<std::string> notices;
    try {
        std::unique_ptr<Table> fresh;
        try {
            fresh = Table::create(temp, format, layout);
        } catch (const EngineError& e) {
            // A layout the table cannot take (a block size its level lacks): name the table,
            // not the temporary file.
            const std::string made = "Cannot create " + temp.string() + ": ";
            const std::string text = e.what();
            if (text.rfind(made, 0) != 0)
                throw;
            throw EngineError("Cannot change the structure of " + file.string() + ": " +
                              text.substr(made.size()));
        }
        notices = carrySecondaryIndexes(*old, *fresh, sources);
        copyInKeyOrderIfKeyKept(*old, *fresh, sources);
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
            commitCopyBatch(*fresh, recordNo);
        }
        // The copy would hold NULL where the old table holds memos that could not be read.
        if (!old->damage().empty())
            throw EngineError(damagedRefusal(file, old->damage()));
        fresh->commit();
        for (auto& n : replacementNotices(*fresh, file)) {
            notices.push_back(std::move(n));
        }
    } catch (...) {
        discardTableFiles(format, temp);
        throw;
    }
    swapInTable(file, format, temp);  // `old` keeps others out until the new files are in place
    return notices;
}

}  // namespace orn::db
