#include "dbengine/storage/secondary_indexes.h"

#include <algorithm>

#include "dbengine/storage/companion.h"
#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/paradox_secondary.h"
#include "dbengine/storage/paradox_table.h"
#include "dbengine/storage/posix_file.h"
#include "text/safefile.h"

namespace orn::db {

namespace fs = std::filesystem;

namespace {

// Why secondary index `ix` of `old` cannot serve `fresh` (new field i continues old field
// sources[i]), or empty when it can; fills `newFields` with the new places of its fields.
std::string secondaryIndexSurvival(const paradox::SecondaryIndex& ix, const Table& old,
                                   const Table& fresh, const std::vector<int>& sources,
                                   std::vector<int>& newFields) {
    if (!ix.problem.empty())
        return ix.problem;
    if (fresh.format() != TableFormat::Paradox)
        return "the table is no longer a Paradox table";
    const auto& was = old.fields();
    const auto& now = fresh.fields();
    auto newPlace = [&](int from) {
        for (std::size_t i = 0; i < sources.size() && i < now.size(); ++i)
            if (sources[i] == from)
                return int(i);
        return -1;
    };
    auto same = [](const Field& a, const Field& b) {
        return a.type == b.type && a.size == b.size && a.decimals == b.decimals;
    };
    bool keyKept = fresh.keyFieldCount() == old.keyFieldCount();
    for (int i = 0; keyKept && i < old.keyFieldCount(); ++i)
        keyKept = newPlace(i) == i && same(was[std::size_t(i)], now[std::size_t(i)]);
    if (!keyKept)
        return "the table's key changed";
    const bool single =
        ix.dataHeader.size() > 0x04 && (ix.dataHeader[0x04] == 3 || ix.dataHeader[0x04] == 5);
    newFields.clear();
    for (int from : ix.tableFields) {
        const Field& f = was[std::size_t(from)];
        const int to = newPlace(from);
        if (to < 0)
            return "its field " + f.name + " is gone";
        if (!same(f, now[std::size_t(to)]))
            return "its field " + f.name + " changed its type or size";
        // A one-field index carries its field's number in its name.
        if (single && to != from)
            return "its field " + f.name + " moved";
        newFields.push_back(to);
    }
    return {};
}

// Writes `bytes` as a new file.
void writeNewFile(const fs::path& file, const std::vector<std::uint8_t>& bytes,
                  bool durable = false) {
    PosixFile f(file, PosixFile::Access::CreateFresh);
    f.writeAt(0, bytes.data(), bytes.size());
    if (durable)
        f.sync();
}

paradox::ParadoxTable& paradoxTable(Table& t, const std::string& statement) {
    auto* p = dynamic_cast<paradox::ParadoxTable*>(&t);
    if (!p)
        throw EngineError(statement + ": " + t.path().string() +
                          " is a dBASE table, and ORN does not keep dBASE production indexes "
                          "(.mdx, .cdx); only Paradox tables have secondary indexes here");
    return *p;
}

bool sameName(const std::string& a, const std::string& b) {
    return asciiLower(a) == asciiLower(b);
}

void removeFile(const fs::path& p) {
    std::error_code ec;
    if (!p.empty() && !fs::remove(p, ec) && ec)
        throw EngineError("Cannot remove " + p.string() + ": " + ec.message());
}

}  // namespace

std::vector<std::string> carrySecondaryIndexes(Table& old, Table& fresh,
                                               const std::vector<int>& fieldSources) {
    auto* p = dynamic_cast<paradox::ParadoxTable*>(&old);
    if (!p)
        return {};
    std::vector<std::string> notices;
    for (auto ix : p->secondaryIndexes()) {
        std::vector<int> places;
        const std::string why = secondaryIndexSurvival(ix, old, fresh, fieldSources, places);
        if (!why.empty()) {
            notices.push_back("Removed the secondary index " + ix.name() + " of " +
                              old.path().string() + ": " + why + ".");
            continue;
        }
        // The same index over the fields where they are now (examine() found their list), empty
        // until the replacement's commit fills it from its records.
        const std::size_t at = std::size_t(paradox::le16(ix.dataHeader.data() + 0x66)) + 0x58;
        for (std::size_t i = 0; i < places.size(); ++i)
            paradox::putLe16(ix.dataHeader.data() + at + 2 * i, std::uint32_t(places[i]));
        const auto empty = paradox::buildSecondaryIndex(ix, std::string());
        writeNewFile(companionPath(fresh.path(), asciiLower(ix.dataPath.extension().string())),
                     empty.data);
        writeNewFile(companionPath(fresh.path(), asciiLower(ix.treePath.extension().string())),
                     empty.tree);
    }
    return notices;
}

std::vector<std::string> replacementNotices(Table& fresh, const fs::path& table) {
    auto notices = fresh.takeNotices();
    const std::string from = fresh.path().stem().string(), to = table.stem().string();
    for (auto& n : notices)
        for (std::size_t at = n.find(from); at != std::string::npos;
             at = n.find(from, at + to.size()))
            n.replace(at, from.size(), to);
    return notices;
}

void createSecondaryIndex(const fs::path& file, const std::string& name,
                          const std::vector<std::string>& fieldNames, bool unique,
                          const std::vector<bool>& descending) {
    const std::string statement = "CREATE INDEX " + name;
    auto t = Table::open(file, OpenMode::Exclusive);
    auto& p = paradoxTable(*t, statement);
    auto refuse = [&](const std::string& why) {
        throw EngineError(statement + " on " + file.string() + ": " + why);
    };
    if (t->keyFieldCount() == 0)
        refuse("the table has no primary key, which a secondary index needs");
    if (p.header().versionId < 5)
        refuse("the table is of Paradox 3, whose index files ORN does not write");
    if (unique)
        refuse("ORN does not make UNIQUE secondary indexes");
    for (bool d : descending)
        if (d)
            refuse("ORN does not make descending secondary indexes");
    if (name.empty() || name.size() > 25)
        refuse("an index name has 1 to 25 characters");
    std::vector<int> fields;
    for (const auto& wanted : fieldNames) {
        int found = -1;
        for (std::size_t i = 0; i < t->fields().size() && found < 0; ++i)
            if (sameName(t->fields()[i].name, wanted))
                found = int(i);
        if (found < 0)
            throw EngineError("Field '" + wanted + "' not found");
        const Field& f = t->fields()[std::size_t(found)];
        if (isBlobLike(f.type))
            refuse("field " + f.name + " is a memo or blob field, which cannot be indexed");
        if (f.type == FieldType::Alpha)
            refuse("field " + f.name +
                   " is Alpha; ORN makes secondary indexes over non-Alpha fields only, because "
                   "the index file would not say whether letter case counts in it");
        for (int g : fields)
            if (g == found)
                refuse("field " + f.name + " is named twice");
        fields.push_back(found);
    }
    // The index holds the table's key after the indexed fields, and orders by it too.
    for (int i = 0; i < t->keyFieldCount(); ++i)
        if (t->fields()[std::size_t(i)].type == FieldType::Alpha)
            refuse("the table's key holds the Alpha field " + t->fields()[std::size_t(i)].name +
                   ", and the index file would not say whether letter case counts in it");
    if (fields.size() < 2)
        refuse(
            "ORN makes secondary indexes over two or more fields only (NAME.XGn); the "
            "layout of one-field indexes (NAME.Xnn) is not known well enough to write");
    auto existing = p.secondaryIndexes();
    std::vector<std::string> extensions;
    for (const auto& ix : existing) {
        if (sameName(paradox::statedName(ix), name))
            refuse("the table has an index of that name already (" + ix.name() + ")");
        for (const auto* q : {&ix.dataPath, &ix.treePath})
            if (!q->empty())
                extensions.push_back(asciiLower(q->extension().string()));
    }
    int number = -1;
    for (int n = 0; n < 10 && number < 0; ++n) {
        const std::string digit(1, char('0' + n));
        if (std::find(extensions.begin(), extensions.end(), ".xg" + digit) == extensions.end() &&
            std::find(extensions.begin(), extensions.end(), ".yg" + digit) == extensions.end())
            number = n;
    }
    if (number < 0)
        refuse("the table has ten composite indexes (.XG0 to .XG9) already");
    const std::string digit(1, char('0' + number));
    const fs::path data = companionPath(file, ".xg" + digit);
    const fs::path tree = companionPath(file, ".yg" + digit);
    // The tree takes the block size of the primary index, as other programs make it.
    int treeKiB = p.header().maxTableSize;
    if (const auto px = findCompanion(file, ".px")) {
        std::uint8_t head[6] = {};
        if (PosixFile(*px, PosixFile::Access::Read).readAt(0, head, sizeof head) == sizeof head &&
            head[4] == paradox::PrimaryIndex && isParadoxBlockSize(head[5] * 1024))
            treeKiB = head[5];
    }
    const auto ix = paradox::describeCompositeIndex(p.header(), p.headerBytes(), fields, name, data,
                                                    tree, treeKiB);
    const auto built = p.buildSecondaryFiles(ix);
    const fs::path dir = file.parent_path();
    const fs::path dataTemp = dir / TempFileName(data.filename().string());
    const fs::path treeTemp = dir / TempFileName(tree.filename().string());
    try {
        writeNewFile(dataTemp, built.data, true);
        writeNewFile(treeTemp, built.tree, true);
        // The tree first: a crash between the two renames leaves a tree without its data
        // file, which no program reads and the next write removes.
        fs::rename(treeTemp, tree);
        fs::rename(dataTemp, data);
    } catch (const std::exception& e) {
        std::error_code ec;
        fs::remove(dataTemp, ec);
        fs::remove(treeTemp, ec);
        refuse(e.what());
    }
    syncDirectory(dir.empty() ? fs::path(".") : dir);
}

void dropSecondaryIndex(const fs::path& file, const std::string& name) {
    auto t = Table::open(file, OpenMode::Exclusive);
    auto& p = paradoxTable(*t, "DROP INDEX " + name);
    for (const auto& ix : p.secondaryIndexes()) {
        if (!sameName(paradox::statedName(ix), name))
            continue;
        removeFile(ix.dataPath);
        removeFile(ix.treePath);
        syncDirectory(file.parent_path().empty() ? fs::path(".") : file.parent_path());
        return;
    }
    throw EngineError("DROP INDEX " + name + ": " + file.string() + " has no index of that name");
}

}  // namespace orn::db
