#include "dbengine/storage/table.h"

#include <unistd.h>

#include <cerrno>

#include "dbengine/storage/companion.h"
#include "dbengine/storage/file_lock.h"
#include "dbengine/storage/formats.h"
#include "dbengine/storage/journal.h"
#include "dbengine/storage/paradox_table.h"
#include "dbengine/storage/posix_file.h"
#include "dbengine/storage/restructure.h"
#include "dbengine/storage/table_swap.h"

namespace orn::db {

const std::string& Table::damage() const {
    static const std::string sound;
    return sound;
}

void commitCopyBatch(Table& table, std::uint64_t copied) {
    if (copied % kCopyBatchRecords != 0)
        return;
    // The copy's secondary indexes are built once, at its last commit.
    if (auto* p = dynamic_cast<paradox::ParadoxTable*>(&table)) {
        p->commitBatchDeferringIndexes();
        return;
    }
    table.commit();
    table.forgetRecordIds();
    table.begin();
}

std::string damagedRefusal(const std::filesystem::path& file, const std::string& damage) {
    return file.string() + " is damaged (" + damage +
           "); it can be read but not changed until it is repaired.";
}

std::string damagedWarning(const std::filesystem::path& file, const std::string& damage) {
    return "Warning: " + file.string() + " is damaged (" + damage +
           "); what could be read is shown.";
}

namespace {

void removeFile(const std::filesystem::path& p) {
    if (::unlink(p.c_str()) != 0 && errno != ENOENT) {
        throw EngineError("Cannot remove " + systemErrorText(p, errno));
    }
}

}  // namespace

TableFormat Table::formatOf(const std::filesystem::path& file) {
    PosixFile f(file, PosixFile::Access::Read);
    std::uint8_t head[128] = {};
    std::size_t n = f.readAt(0, head, sizeof head);
    std::uint64_t size = f.size();
    bool db = dbase::looksLikeTable(head, n, size);
    bool px = paradox::looksLikeTable(head, n, size);
    std::string ext = asciiLower(file.extension().string());
    if (db && px)
        return ext == ".db" ? TableFormat::Paradox : TableFormat::DBase;
    if (db)
        return TableFormat::DBase;
    if (px)
        return TableFormat::Paradox;
    // Let the format the name promises explain what is wrong with the file.
    if (ext == ".db")
        return TableFormat::Paradox;
    if (ext == ".dbf")
        return TableFormat::DBase;
    throw EngineError(file.string() + " is not a Paradox or dBASE table.");
}

std::unique_ptr<Table> Table::open(const std::filesystem::path& file, OpenMode mode,
                                   bool keepReading) {
    finishInterruptedSwap(file);  // a restructure killed half-way, whatever the format
    tidyDirectoryIfChanged(file.parent_path());  // what killed writers left beside it
    std::unique_ptr<Table> table = formatOf(file) == TableFormat::DBase
                                       ? dbase::openTable(file, mode)
                                       : paradox::openTable(file, mode);
    if (!keepReading)
        table->endRead();
    return table;
}

std::unique_ptr<Table> Table::create(const std::filesystem::path& file, TableFormat format,
                                     const TableCreate& layout) {
    if (std::filesystem::exists(file))
        drop(file);
    auto table = format == TableFormat::DBase ? dbase::createTable(file, layout)
                                              : paradox::createTable(file, layout);
    table->endRead();
    return table;
}

void Table::drop(const std::filesystem::path& file) {
    PosixFile main(file, PosixFile::Access::Read);
    lockTableOpen(main, true);  // nobody else may have it open
    std::vector<std::filesystem::path> companions;
    companions = formatOf(file) == TableFormat::DBase ? dbase::companionFiles(file)
                                                      : paradox::companionFiles(file);
    for (const auto& c : companions)
        removeFile(c);
    removeFile(journalPath(file));
    removeFile(file);
    syncDirectory(file.parent_path());
}

}  // namespace orn::db
