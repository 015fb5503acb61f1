#include "dbengine/storage/paradox_secondary.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "dbengine/storage/companion.h"
#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/paradox_index.h"
#include "dbengine/storage/paradox_table.h"
#include "dbengine/storage/table.h"
#include "dbengine/storage/table_files.h"

namespace orn::db::paradox {

namespace {

// Data file types: 3 and 5 hold one field (.Xnn), 6 and 8 several (.XGn); 3 and 6 are indexes
// the other program refreshes only when it uses them, 5 and 8 ones it keeps up to date.
bool singleFieldType(std::uint8_t t) {
    return t == 3 || t == 5;
}
bool compositeType(std::uint8_t t) {
    return t == 6 || t == 8;
}
constexpr std::uint8_t kSingleTree = 4;
constexpr std::uint8_t kCompositeTree = 7;

std::vector<std::uint8_t> readHeader(const TableFiles& files, std::size_t f) {
    std::uint8_t head[4];
    if (files.read(f, 0, head, sizeof head) < sizeof head)
        return {};
    std::vector<std::uint8_t> bytes(std::max<std::size_t>(le16(head + 2), 0x58));
    bytes.resize(files.read(f, 0, bytes.data(), bytes.size()));
    return bytes;
}

// Header bytes with the file type replaced, so that the table parser reads an index file.
Header parseAs(std::vector<std::uint8_t> bytes, std::uint8_t type, const std::string& label) {
    bytes[0x04] = type;
    return parseHeader(bytes.data(), bytes.size(), label, type == PrimaryIndex);
}

bool ascii(const Header& h) {
    return h.sortOrder == 0 && (h.sortOrderName.empty() || asciiLower(h.sortOrderName) == "ascii");
}

}  // namespace

std::string SecondaryIndex::name() const {
    if (dataPath.empty())
        return treePath.filename().string();
    if (treePath.empty())
        return dataPath.filename().string();
    return dataPath.filename().string() + "/" + treePath.filename().string();
}

std::vector<SecondaryIndex> findSecondaryIndexes(const std::filesystem::path& table) {
    // Keyed by the extension without its X or Y: "02", "g0".
    std::map<std::string, SecondaryIndex> pairs;
    for (const auto& p : findCompanions(table, isSecondaryIndexExtension)) {
        const std::string ext = asciiLower(p.extension().string());
        SecondaryIndex& ix = pairs[ext.substr(2)];
        (ext[1] == 'x' ? ix.dataPath : ix.treePath) = p;
    }
    std::vector<SecondaryIndex> out;
    for (auto& [suffix, ix] : pairs)
        out.push_back(std::move(ix));
    return out;
}

void examine(SecondaryIndex& ix, const TableFiles& files, const Header& table) {
    ix.problem.clear();
    ix.tableFields.clear();
    if (ix.dataFile == SIZE_MAX || ix.treeFile == SIZE_MAX) {
        ix.problem =
            "its " + std::string(ix.dataFile == SIZE_MAX ? "data" : "tree") + " file is missing";
        return;
    }
    try {
        ix.dataHeader = readHeader(files, ix.dataFile);
        ix.treeHeader = readHeader(files, ix.treeFile);
        if (ix.dataHeader.size() < 0x78 || ix.treeHeader.size() < 0x58) {
            ix.problem = "a file is shorter than its header";
            return;
        }
        const std::uint8_t type = ix.dataHeader[0x04];
        const std::uint8_t treeType = ix.treeHeader[0x04];
        if (!(singleFieldType(type) && treeType == kSingleTree) &&
            !(compositeType(type) && treeType == kCompositeTree)) {
            ix.problem = "its file types (" + std::to_string(type) + ", " +
                         std::to_string(treeType) + ") are not those of an index";
            return;
        }
        ix.data = parseAs(ix.dataHeader, KeyedDb, ix.dataPath.string());
        const Header tree = parseAs(ix.treeHeader, PrimaryIndex, ix.treePath.string());
        ix.treeBlockSize = tree.blockSize();
        const Header& x = ix.data;
        const int tableKeys = table.keyFields;
        const int indexed = x.keyFields - tableKeys;
        if (tableKeys < 1) {
            ix.problem = "the table has no primary key";
            return;
        }
        if (!x.v4Layout()) {
            ix.problem = "it is of Paradox 3";
            return;
        }
        if (indexed < 1 || std::size_t(x.keyFields) + 1 != x.fields.size() ||
            x.fields.back().code != kShort) {
            ix.problem = "its fields are not indexed fields, the table's key and a block number";
            return;
        }
        for (int i = 0; i < tableKeys; ++i) {
            const FieldSpec& a = x.fields[std::size_t(indexed + i)];
            const FieldSpec& b = table.fields[std::size_t(i)];
            if (a.code != b.code || a.size != b.size) {
                ix.problem = "it does not hold the table's key";
                return;
            }
        }
        std::uint16_t hi = 0;
        const auto ids = parseFieldIds(ix.dataHeader.data(), ix.dataHeader.size(), hi);
        if (ids.size() < std::size_t(indexed)) {
            ix.problem = "it does not say which fields it holds";
            return;
        }
        for (int i = 0; i < indexed; ++i) {
            const int field = ids[std::size_t(i)];
            const FieldSpec& a = x.fields[std::size_t(i)];
            if (field >= int(table.fields.size()) ||
                table.fields[std::size_t(field)].code != a.code ||
                table.fields[std::size_t(field)].size != a.size) {
                ix.problem = "its field " + std::to_string(i + 1) + " is not the table's field " +
                             std::to_string(field + 1);
                return;
            }
            ix.tableFields.push_back(field);
        }
        std::size_t keySize = 0;
        bool alpha = false;
        for (int i = 0; i < x.keyFields; ++i) {
            keySize += std::size_t(x.fields[std::size_t(i)].width);
            alpha = alpha || x.fields[std::size_t(i)].code == kAlpha;
        }
        if (tree.recordSize != keySize + 6 ||
            std::size_t(tree.fields.size()) != std::size_t(x.keyFields)) {
            ix.problem = "its tree file does not fit its data file";
            ix.tableFields.clear();
            return;
        }
        if (ix.dataHeader[0x55] & 0x10) {
            ix.problem = "it is descending";
        } else if (alpha && compositeType(type)) {
            // .XGn files also serve single fields compared without regard to letter case; the
            // header does not say which, so Alpha values cannot be ordered with certainty.
            ix.problem = "it may compare Alpha values without regard to letter case";
        } else if (alpha && !ascii(table)) {
            ix.problem =
                "its Alpha values sort by " + table.sortOrderName + ", an order ORN does not write";
        }
        if (!ix.problem.empty())
            ix.tableFields.clear();
    } catch (const EngineError& e) {
        ix.problem = e.what();
        ix.tableFields.clear();
    }
}

std::string statedName(const SecondaryIndex& ix) {
    const auto& d = ix.dataHeader;
    if (d.size() < 0x78 || d[0x39] < 5)
        return {};
    // The sort order name, then the index's own.
    std::size_t at = std::size_t(le16(d.data() + 0x6E)) + 0x58;
    if (at < 0x78)
        return {};
    while (at < d.size() && d[at])
        ++at;
    const std::size_t from = at + 1;
    std::size_t to = from;
    while (to < d.size() && d[to])
        ++to;
    return to < d.size() ? std::string(reinterpret_cast<const char*>(d.data() + from), to - from)
                         : std::string();
}

SecondaryIndex describeCompositeIndex(const Header& table,
                                      const std::vector<std::uint8_t>& tableHeader,
                                      const std::vector<int>& fields, const std::string& name,
                                      const std::filesystem::path& dataPath,
                                      const std::filesystem::path& treePath, int treeBlockKiB) {
    // The data file is laid out like a keyed table of the indexed fields, the table's key and
    // the block hint, the first all but the hint forming its key.
    Header x;
    x.maxTableSize = table.maxTableSize;
    x.versionId = table.versionId;
    x.sortOrder = table.sortOrder;
    x.sortOrderName = table.sortOrderName;
    x.codePage = table.codePage;
    x.hasCodePage = table.hasCodePage;
    for (int f : fields)
        x.fields.push_back(table.fields[std::size_t(f)]);
    for (int i = 0; i < table.keyFields; ++i)
        x.fields.push_back(table.fields[std::size_t(i)]);
    x.fields.push_back({kShort, 2, 2, 0, "Blk Num"});
    int offset = 0;
    for (auto& f : x.fields) {
        f.offset = offset;
        offset += f.width;
    }
    x.recordSize = std::uint16_t(offset);
    x.keyFields = std::int16_t(x.fields.size() - 1);
    // Field places: the indexed fields, and the same list again for the fields after them (the
    // pattern of the composite index files other programs write).
    const std::size_t n = x.fields.size();
    for (std::size_t i = 0; i < n; ++i)
        x.fieldIds.push_back(std::uint16_t(fields[i % fields.size()]));
    x.hiFieldId = std::uint16_t(n + 1);
    // Each file names itself: the table's stem and its own extension in capitals.
    const std::string stem = dataPath.stem().string();
    auto upper = [](std::string s) {
        for (char& c : s)
            if (c >= 'a' && c <= 'z')
                c = char(c - 'a' + 'A');
        return s;
    };
    const std::string dataName = stem + upper(dataPath.extension().string());
    const std::string treeName = stem + upper(treePath.extension().string());

    std::vector<std::uint8_t> d = buildDbHeader(x, dataName);
    d[0x04] = 8;
    d[0x55] = 0x01;  // ascending
    // The index name follows the sort order name.
    const std::size_t sortAt = std::size_t(le16(d.data() + 0x6E)) + 0x58;
    const std::size_t nameAt = sortAt + x.sortOrderName.size() + 1;
    if (nameAt + name.size() + 1 > d.size())
        throw EngineError("the index name " + name + " does not fit the index header");
    std::memcpy(d.data() + nameAt, name.data(), name.size());
    putLe16(d.data() + 0x68, std::uint32_t(nameAt - 0x58));
    putLe16(d.data() + 0x51, std::uint32_t(nameAt + name.size() + 1));

    SecondaryIndex ix;
    ix.dataPath = dataPath;
    ix.treePath = treePath;
    ix.dataHeader = d;
    ix.data = parseAs(d, KeyedDb, dataPath.string());
    Header shape = ix.data;
    shape.maxTableSize = std::uint8_t(treeBlockKiB);
    ix.treeBlockSize = shape.blockSize();
    std::vector<std::uint8_t> t = buildPxHeader(shape, treeName, d);
    t[0x04] = kCompositeTree;
    ix.treeHeader = t;
    ix.tableFields = fields;
    return ix;
}

void appendIndexRecord(const SecondaryIndex& ix, const Header& table, const std::uint8_t* rec,
                       std::uint16_t block, std::string& out) {
    for (int f : ix.tableFields) {
        const FieldSpec& s = table.fields[std::size_t(f)];
        out.append(reinterpret_cast<const char*>(rec + s.offset), std::size_t(s.width));
    }
    for (int i = 0; i < table.keyFields; ++i) {
        const FieldSpec& s = table.fields[std::size_t(i)];
        out.append(reinterpret_cast<const char*>(rec + s.offset), std::size_t(s.width));
    }
    std::uint8_t hint[2];
    putSortableInt(hint, 2, block);
    out.append(reinterpret_cast<const char*>(hint), 2);
}

SecondaryFiles buildSecondaryIndex(const SecondaryIndex& ix, std::vector<std::string> records) {
    // Every record holds the table's key, so no two are equal and the order is total.
    std::sort(records.begin(), records.end());
    const Header& x = ix.data;
    const std::size_t rs = x.recordSize;
    const std::size_t bs = std::size_t(x.blockSize());
    const std::size_t perBlock = std::size_t(x.recordsPerBlock());
    const std::size_t blocks = (records.size() + perBlock - 1) / perBlock;
    if (blocks > 0xFFFF)
        throw EngineError(ix.dataPath.string() + " would need more than 65535 blocks");

    SecondaryFiles out;
    out.data = ix.dataHeader;
    out.data.resize(x.headerSize);
    std::vector<DataBlockSummary> summary;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t first = b * perBlock;
        const std::size_t n = std::min(perBlock, records.size() - first);
        std::vector<std::uint8_t> blk(bs, 0);
        putLe16(blk.data(), b + 1 < blocks ? std::uint32_t(b + 2) : 0u);
        putLe16(blk.data() + 2, std::uint32_t(b));
        putLe16(blk.data() + 4, std::uint32_t(std::int16_t((int(n) - 1) * int(rs))));
        for (std::size_t i = 0; i < n; ++i)
            std::memcpy(blk.data() + 6 + i * rs, records[first + i].data(), rs);
        summary.push_back(
            {std::uint16_t(b + 1), std::uint16_t(n), records[first].substr(0, rs - 2)});
        out.data.insert(out.data.end(), blk.begin(), blk.end());
    }
    Header counters = x;
    counters.numRecords = std::uint32_t(records.size());
    counters.nextBlock = counters.fileBlocks = counters.lastBlock = std::uint16_t(blocks);
    counters.firstBlock = blocks ? 1 : 0;
    counters.firstFreeBlock = 0;
    patchCounters(out.data, counters);

    // The tree, built like a primary index with the tree file's own block size, under the tree
    // file's header as found.
    Header shape = x;
    shape.maxTableSize = std::uint8_t(ix.treeBlockSize / 1024);
    const auto built = buildPrimaryIndex(shape, ix.dataHeader, summary);
    const std::size_t builtHeader = le16(built.data() + 2);
    const std::size_t treeHeader = le16(ix.treeHeader.data() + 2);
    out.tree = ix.treeHeader;
    out.tree.resize(treeHeader);
    for (auto [from, to] : {std::pair<std::size_t, std::size_t>{0x06, 0x12},
                            {0x1E, 0x21},
                            {0x3A, 0x3C},
                            {0x4D, 0x4F}})
        std::memcpy(out.tree.data() + from, built.data() + from, to - from);
    out.tree.insert(out.tree.end(), built.begin() + std::ptrdiff_t(builtHeader), built.end());
    return out;
}

}  // namespace orn::db::paradox
