#include "dbengine/storage/secondary_indexes.h"

#include <algorithm>

#include "dbengine/storage/companion.h"
#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/paradox_collation.h"
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

// The name index `ix` of `t` goes by: the one its header states, or for a one-field index that
// states none, its field's.
std::string indexName(const paradox::SecondaryIndex& ix, const Table& t) {
    std::string stated = paradox::statedName(ix);
    const bool single =
        ix.dataHeader.size() > 0x04 && (ix.dataHeader[0x04] == 3 || ix.dataHeader[0x04] == 5);
    if (stated.empty() && single && ix.tableFields.size() == 1)
        stated = t.fields()[std::size_t(ix.tableFields[0])].name;
    return stated;
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
                          const std::vector<bool>& descending, bool caseInsensitive) {
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
    // What the index files are known to say of an index: its fields and their direction (a
    // header byte), whether it is kept up to date (its file type), its name.
    if (unique)
        refuse(
            "ORN does not make UNIQUE secondary indexes: no place is known in the index files "
            "that marks an index unique, so neither other programs nor ORN would keep it so");
    for (bool d : descending)
        if (d)
            refuse(
                "ORN does not make descending (DESC) secondary indexes: the index header marks "
                "one, but in what order the file then holds the table's key after the "
                "indexed fields is not known");
    if (caseInsensitive)
        refuse(
            "ORN does not make CASEINSENSITIVE secondary indexes: where the index files mark "
            "one and how they then order letters is not known");
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
        for (int g : fields)
            if (g == found)
                refuse("field " + f.name + " is named twice");
        fields.push_back(found);
    }
    if (fields.empty())
        refuse("no fields given");
    if (fields.front() == 0)
        refuse("field " + t->fields()[0].name +
               " is the first field of the table's key, which cannot lead a secondary index");
    // An index named after its one field is the one-field kind (NAME.Xnn, nn its place in hex),
    // whose Alpha values compare with regard to letter case; any other is NAME.XGn, which may
    // also be one that ignores letter case, and its file does not say which.
    const bool single =
        fields.size() == 1 && sameName(name, t->fields()[std::size_t(fields[0])].name);
    std::vector<int> alpha = fields;
    for (int i = 0; i < t->keyFieldCount(); ++i)
        alpha.push_back(i);  // the index holds the table's key after the indexed fields
    for (int f : alpha) {
        const Field& field = t->fields()[std::size_t(f)];
        if (field.type != FieldType::Alpha)
            continue;
        const bool indexed = std::find(fields.begin(), fields.end(), f) != fields.end();
        if (!single)
            refuse((indexed ? "field " + field.name + " is Alpha"
                            : "the table's key holds the Alpha field " + field.name) +
                   "; ORN makes such an index only as the one-field kind named after its field "
                   "(NAME.Xnn), in which letter case counts: a NAME.XGn file would not say "
                   "whether it does");
        if (!paradox::alphaInByteOrder(p.header()))
            refuse("field " + field.name + " is Alpha, and the table sorts Alpha values by " +
                   p.header().sortOrderName +
                   ", an order ORN does not write index entries in (only \"ascii\")");
    }
    auto existing = p.secondaryIndexes();
    std::vector<std::string> extensions;
    for (const auto& ix : existing) {
        if (sameName(indexName(ix, *t), name))
            refuse("the table has an index of that name already (" + ix.name() + ")");
        for (const auto* q : {&ix.dataPath, &ix.treePath})
            if (!q->empty())
                extensions.push_back(asciiLower(q->extension().string()));
    }
    auto taken = [&](const std::string& suffix) {
        return std::find(extensions.begin(), extensions.end(), ".x" + suffix) != extensions.end() ||
               std::find(extensions.begin(), extensions.end(), ".y" + suffix) != extensions.end();
    };
    std::string suffix;
    if (single) {
        static const char* kHex = "0123456789abcdef";
        const int number = fields[0] + 1;
        suffix = {kHex[number >> 4], kHex[number & 15]};
        if (taken(suffix))
            refuse("the table has a one-field index over " +
                   t->fields()[std::size_t(fields[0])].name + " already (" +
                   companionPath(file, ".x" + suffix).filename().string() + ")");
    } else {
        for (int n = 0; n < 10 && suffix.empty(); ++n)
            if (!taken("g" + std::to_string(n)))
                suffix = "g" + std::to_string(n);
        if (suffix.empty())
            refuse("the table has ten composite indexes (.XG0 to .XG9) already");
    }
    const fs::path data = companionPath(file, ".x" + suffix);
    const fs::path tree = companionPath(file, ".y" + suffix);
    // The tree takes the block size of the primary index, as other programs make it.
    int treeKiB = p.header().maxTableSize;
    if (const auto px = findCompanion(file, ".px")) {
        std::uint8_t head[6] = {};
        if (PosixFile(*px, PosixFile::Access::Read).readAt(0, head, sizeof head) == sizeof head &&
            head[4] == paradox::PrimaryIndex && isParadoxBlockSize(head[5] * 1024))
            treeKiB = head[5];
    }
    const auto ix =
        single ? paradox::describeSingleFieldIndex(p.header(), fields[0], data, tree, treeKiB)
               : paradox::describeCompositeIndex(p.header(), p.headerBytes(), fields, name, data,
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
        if (!sameName(indexName(ix, *t), name))
            continue;
        removeFile(ix.dataPath);
        removeFile(ix.treePath);
        syncDirectory(file.parent_path().empty() ? fs::path(".") : file.parent_path());
        return;
    }
    throw EngineError("DROP INDEX " + name + ": " + file.string() + " has no index of that name");
}

}  // namespace orn::db
