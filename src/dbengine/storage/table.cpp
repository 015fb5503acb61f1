#include "dbengine/storage/table.h"

#include <unistd.h>

#include <cerrno>

#include "dbengine/storage/companion.h"
#include "dbengine/storage/file_lock.h"
#include "dbengine/storage/formats.h"
#include "dbengine/storage/journal.h"
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

enum class Kind { DBase, Paradox, Unknown };

Kind detect(const std::filesystem::path& file) {
    PosixFile f(file, PosixFile::Access::Read);
    std::uint8_t head[128] = {};
    std::size_t n = f.readAt(0, head, sizeof head);
    std::uint64_t size = f.size();
    bool db = dbase::looksLikeTable(head, n, size);
    bool px = paradox::looksLikeTable(head, n, size);
    std::string ext = asciiLower(file.extension().string());
    if (db && px)
        return ext == ".db" ? Kind::Paradox : Kind::DBase;
    if (db)
        return Kind::DBase;
    if (px)
        return Kind::Paradox;
    // Let the format the name promises explain what is wrong with the file.
    if (ext == ".db")
        return Kind::Paradox;
    if (ext == ".dbf")
        return Kind::DBase;
    return Kind::Unknown;
}

void removeFile(const std::filesystem::path& p) {
    if (::unlink(p.c_str()) != 0 && errno != ENOENT) {
        throw EngineError("Cannot remove " + systemErrorText(p, errno));
    }
}

}  // namespace

std::unique_ptr<Table> Table::open(const std::filesystem::path& file, OpenMode mode,
                                   bool keepReading) {
    finishInterruptedSwap(file);  // a restructure killed half-way, whatever the format
    tidyDirectoryIfChanged(file.parent_path());  // what killed writers left beside it
    std::unique_ptr<Table> table;
    switch (detect(file)) {
        case Kind::DBase:
            table = dbase::openTable(file, mode);
            break;
        case Kind::Paradox:
            table = paradox::openTable(file, mode);
            break;
        case Kind::Unknown:
            throw EngineError(file.string() + " is not a Paradox or dBASE table.");
    }
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
    switch (detect(file)) {
        case Kind::DBase:
            companions = dbase::companionFiles(file);
            break;
        case Kind::Paradox:
            companions = paradox::companionFiles(file);
            break;
        case Kind::Unknown:
            throw EngineError(file.string() + " is not a Paradox or dBASE table.");
    }
    for (const auto& c : companions)
        removeFile(c);
    removeFile(journalPath(file));
    removeFile(file);
    syncDirectory(file.parent_path());
}

}  // namespace orn::db
