#include "dbengine/storage/secondary_indexes.h"

#include "dbengine/storage/companion.h"
#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/paradox_secondary.h"
#include "dbengine/storage/paradox_table.h"
#include "dbengine/storage/posix_file.h"

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
void writeNewFile(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
    PosixFile f(file, PosixFile::Access::CreateFresh);
    f.writeAt(0, bytes.data(), bytes.size());
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
        const auto empty = paradox::buildSecondaryIndex(ix, {});
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

}  // namespace orn::db
