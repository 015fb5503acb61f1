#include "dbengine/storage/table_code_page.h"

#include "dbengine/storage/dbase_table.h"
#include "dbengine/storage/paradox_table.h"
#include "dbengine/storage/paradox_text.h"

namespace orn::db {

StoredCodePage storedCodePage(const Table& table) {
    StoredCodePage out;
    if (const auto* p = dynamic_cast<const paradox::ParadoxTable*>(&table)) {
        const auto& h = p->header();
        out.name = paradox::tableCodePage(h);
        out.headerCodePage = h.hasCodePage ? h.codePage : 0;
    } else if (const auto* d = dynamic_cast<const dbase::DBaseTable*>(&table)) {
        out.name = d->codePage();
        out.languageDriver = d->languageDriver();
    }
    return out;
}

}  // namespace orn::db
