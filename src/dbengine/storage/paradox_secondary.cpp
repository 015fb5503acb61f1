#include "dbengine/storage/paradox_secondary.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "dbengine/storage/companion.h"
#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/paradox_collation.h"
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

// The tree file over the data blocks `summary` (in key order), built like a primary index with
// the tree file's own block size, under the tree file's header as found.
std::vector<std::uint8_t> buildTree(const SecondaryIndex& ix,
                                    const std::vector<DataBlockSummary>& summary) {
    Header shape = ix.data;
    shape.maxTableSize = std::uint8_t(ix.treeBlockSize / 1024);
    const auto built = buildPrimaryIndex(shape, ix.dataHeader, summary);
    const std::size_t builtHeader = le16(built.data() + 2);
    const std::size_t treeHeader = le16(ix.treeHeader.data() + 2);
    std::vector<std::uint8_t> tree = ix.treeHeader;
    tree.resize(treeHeader);
    for (auto [from, to] : {std::pair<std::size_t, std::size_t>{0x06, 0x12},
                            {0x1E, 0x21},
                            {0x3A, 0x3C},
                            {0x4D, 0x4F}})
        std::memcpy(tree.data() + from, built.data() + from, to - from);
    tree.insert(tree.end(), built.begin() + std::ptrdiff_t(builtHeader), built.end());
    return tree;
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
        } else if (alpha && !alphaInByteOrder(table)) {
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

namespace {

// A new maintained ascending index over `fields`: one field in an .Xnn file (`single`), else
// an .XGn file. See describeCompositeIndex and describeSingleFieldIndex.
SecondaryIndex describeNewIndex(const Header& table, const std::vector<int>& fields,
                                const std::string& name, const std::filesystem::path& dataPath,
                                const std::filesystem::path& treePath, int treeBlockKiB,
                                bool single) {
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
    // A one-field index calls its field "Sec Key" whatever the table calls it.
    if (single)
        x.fields.front().name = "Sec Key";
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
    d[0x04] = single ? 5 : 8;
    // The field the index is over, numbered from 0 like the field places above (the other
    // program's composite files hold their first field's place here too).
    if (single)
        d[0x15] = std::uint8_t(fields.front());
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
    t[0x04] = single ? kSingleTree : kCompositeTree;
    ix.treeHeader = t;
    ix.tableFields = fields;
    return ix;
}

}  // namespace

SecondaryIndex describeCompositeIndex(const Header& table,
                                      const std::vector<std::uint8_t>& tableHeader,
                                      const std::vector<int>& fields, const std::string& name,
                                      const std::filesystem::path& dataPath,
                                      const std::filesystem::path& treePath, int treeBlockKiB) {
    (void)tableHeader;
    return describeNewIndex(table, fields, name, dataPath, treePath, treeBlockKiB, false);
}

SecondaryIndex describeSingleFieldIndex(const Header& table, int field,
                                        const std::filesystem::path& dataPath,
                                        const std::filesystem::path& treePath, int treeBlockKiB) {
    return describeNewIndex(table, {field}, table.fields[std::size_t(field)].name, dataPath,
                            treePath, treeBlockKiB, true);
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

namespace {

// The places of the `n` records of `rs` bytes each in `records`, in key order. Every record
// holds the table's key, so no two are equal and the order is total. The first sixteen bytes of
// each, read as two big-endian numbers, decide most comparisons without touching the records.
std::vector<std::uint32_t> sortedOrder(const std::string& records, std::size_t rs) {
    struct Item {
        std::uint64_t high, low;
        std::uint32_t at;
    };
    const std::size_t n = records.size() / rs, head = std::min<std::size_t>(rs, 16);
    const auto* base = reinterpret_cast<const std::uint8_t*>(records.data());
    auto word = [&](const std::uint8_t* r, std::size_t from) {
        std::uint64_t w = 0;
        for (std::size_t b = from; b < from + 8; ++b)
            w = w << 8 | (b < head ? r[b] : 0u);
        return w;
    };
    std::vector<Item> items(n);
    for (std::size_t i = 0; i < n; ++i)
        items[i] = {word(base + i * rs, 0), word(base + i * rs, 8), std::uint32_t(i)};
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        if (a.high != b.high)
            return a.high < b.high;
        if (a.low != b.low)
            return a.low < b.low;
        return std::memcmp(base + a.at * rs + head, base + b.at * rs + head, rs - head) < 0;
    });
    std::vector<std::uint32_t> order(n);
    for (std::size_t i = 0; i < n; ++i)
        order[i] = items[i].at;
    return order;
}

}  // namespace

SecondaryFiles buildSecondaryIndex(const SecondaryIndex& ix, const std::string& records) {
    const Header& x = ix.data;
    const std::size_t rs = x.recordSize;
    if (records.size() % rs != 0)
        throw EngineError(ix.name() + ": index records of the wrong size");
    const std::vector<std::uint32_t> order = sortedOrder(records, rs);
    const std::size_t n = order.size();
    auto record = [&](std::size_t i) { return records.data() + std::size_t(order[i]) * rs; };
    const std::size_t bs = std::size_t(x.blockSize());
    const std::size_t perBlock = std::size_t(x.recordsPerBlock());
    const std::size_t blocks = (n + perBlock - 1) / perBlock;
    if (blocks > 0xFFFF)
        throw EngineError(ix.dataPath.string() + " would need more than 65535 blocks");

    SecondaryFiles out;
    out.data = ix.dataHeader;
    out.data.resize(x.headerSize);
    std::vector<DataBlockSummary> summary;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t first = b * perBlock;
        const std::size_t count = std::min(perBlock, n - first);
        std::vector<std::uint8_t> blk(bs, 0);
        putLe16(blk.data(), b + 1 < blocks ? std::uint32_t(b + 2) : 0u);
        putLe16(blk.data() + 2, std::uint32_t(b));
        putLe16(blk.data() + 4, std::uint32_t(std::int16_t((int(count) - 1) * int(rs))));
        for (std::size_t i = 0; i < count; ++i)
            std::memcpy(blk.data() + 6 + i * rs, record(first + i), rs);
        summary.push_back(
            {std::uint16_t(b + 1), std::uint16_t(count), std::string(record(first), rs - 2)});
        out.data.insert(out.data.end(), blk.begin(), blk.end());
    }
    Header counters = x;
    counters.numRecords = std::uint32_t(n);
    counters.nextBlock = counters.fileBlocks = counters.lastBlock = std::uint16_t(blocks);
    counters.firstBlock = blocks ? 1 : 0;
    counters.firstFreeBlock = 0;
    patchCounters(out.data, counters);

    out.tree = buildTree(ix, summary);
    return out;
}

void replaceContents(TableFiles& files, std::size_t file, const std::vector<std::uint8_t>& bytes) {
    constexpr std::size_t kPage = TableFiles::kPageSize;
    const std::size_t oldSize = std::size_t(files.size(file));
    std::vector<std::uint8_t> old(std::min(oldSize, bytes.size()));
    old.resize(files.read(file, 0, old.data(), old.size()));
    for (std::size_t at = 0; at < bytes.size(); at += kPage) {
        const std::size_t n = std::min(kPage, bytes.size() - at);
        if (at + n <= old.size() && std::memcmp(old.data() + at, bytes.data() + at, n) == 0)
            continue;
        files.write(file, at, bytes.data() + at, n);
    }
    // Blocks of a larger file that the new contents no longer use go with the old tail.
    if (oldSize > bytes.size())
        files.truncate(file, bytes.size());
}

namespace {

// The files do not hold what an edit expects.
struct Mismatch {};

// One edit of an index's data file: the blocks it reads and changes are held until finish()
// writes them, so that a mismatch found halfway leaves the files untouched.
class IndexEditor {
  public:
    IndexEditor(TableFiles& files, const SecondaryIndex& ix)
        : files_(files),
          ix_(ix),
          rs_(ix.data.recordSize),
          key_(rs_ - 2),
          bs_(std::size_t(ix.data.blockSize())),
          perBlock_(ix.data.recordsPerBlock()) {}

    void load(std::uint32_t records) {
        const Header& h = ix_.data;
        if (h.numRecords != records || perBlock_ < 2 || rs_ < 3)
            throw Mismatch{};
        // A tree without levels is that of an index without entries.
        const auto tree = readIndexTree(files_, ix_.treeFile, ix_.treeHeader[0x04], key_);
        if (tree ? !readTreeLeaves(files_, *tree, chain_)
                 : records != 0 || ix_.treeHeader[0x20] != 0)
            throw Mismatch{};
        const std::uint64_t size = files_.size(ix_.dataFile);
        const std::uint64_t held = size > h.headerSize ? (size - h.headerSize) / bs_ : 0;
        if (h.fileBlocks > held)
            throw Mismatch{};
        fileBlocks_ = h.fileBlocks;
        firstFree_ = h.firstFreeBlock;
        inChain_.assign(std::size_t(fileBlocks_) + 1, false);
        std::uint64_t sum = 0;
        for (std::size_t i = 0; i < chain_.size(); ++i) {
            const DataBlockSummary& b = chain_[i];
            if (b.block > fileBlocks_ || b.records == 0 || b.records > perBlock_ ||
                (i > 0 && chain_[i - 1].firstKey >= b.firstKey))
                throw Mismatch{};
            inChain_[b.block] = true;
            sum += b.records;
        }
        if (sum != records || (chain_.empty() ? h.firstBlock != 0
                                              : h.firstBlock != chain_.front().block ||
                                                    h.lastBlock != chain_.back().block))
            throw Mismatch{};
    }

    void remove(const std::string& e) {
        if (chain_.empty())
            throw Mismatch{};
        const int pos = posFor(e);
        Blk& b = chainBlock(pos);
        bool found = false;
        const int slot = slotFor(b, e, found);
        if (!found)
            throw Mismatch{};
        std::memmove(b.record(slot), b.record(slot + 1), std::size_t(b.count - slot - 1) * rs_);
        --b.count;
        b.dirty = true;
        chain_[std::size_t(pos)].records = std::uint16_t(b.count);
        if (b.count == 0)
            freeAt(pos);
        else if (slot == 0)
            chain_[std::size_t(pos)].firstKey = keyOf(b.record(0));
    }

    void add(const std::string& e) {
        if (chain_.empty()) {
            Blk& b = fresh(allocate());
            std::memcpy(b.record(0), e.data(), rs_);
            b.count = 1;
            chain_.push_back({b.no, 1, keyOf(b.record(0))});
            return;
        }
        const int pos = posFor(e);
        Blk& b = chainBlock(pos);
        bool found = false;
        const int slot = slotFor(b, e, found);
        if (found)
            throw Mismatch{};
        if (b.count < perBlock_) {
            insertAt(b, slot, e);
            chain_[std::size_t(pos)].records = std::uint16_t(b.count);
            if (slot == 0)
                chain_[std::size_t(pos)].firstKey = keyOf(b.record(0));
            return;
        }
        // A full block: past its end the entry starts a block of its own, else the upper half
        // moves to a new block after it.
        Blk& nb = fresh(allocate());
        const std::uint16_t after = le16(b.bytes.data());
        putLe16(nb.bytes.data(), after);
        putLe16(nb.bytes.data() + 2, b.no);
        putLe16(b.bytes.data(), nb.no);
        if (after != 0) {
            Blk& a = chainBlock(pos + 1);
            putLe16(a.bytes.data() + 2, nb.no);
            a.dirty = true;
        }
        if (slot == b.count) {
            insertAt(nb, 0, e);
        } else {
            const int half = b.count / 2;
            nb.count = b.count - half;
            std::memcpy(nb.record(0), b.record(half), std::size_t(nb.count) * rs_);
            b.count = half;
            if (slot <= half)
                insertAt(b, slot, e);
            else
                insertAt(nb, slot - half, e);
        }
        b.dirty = true;
        chain_[std::size_t(pos)].records = std::uint16_t(b.count);
        chain_[std::size_t(pos)].firstKey = keyOf(b.record(0));
        chain_.insert(chain_.begin() + pos + 1,
                      DataBlockSummary{nb.no, std::uint16_t(nb.count), keyOf(nb.record(0))});
    }

    void finish() {
        for (auto& [no, b] : blocks_) {
            if (!b.dirty)
                continue;
            putLe16(b.bytes.data() + 4, std::uint32_t(std::uint16_t((b.count - 1) * int(rs_))));
            const std::size_t used = 6 + std::size_t(b.count) * rs_;
            std::memset(b.bytes.data() + used, 0, bs_ - used);
            files_.write(ix_.dataFile, offset(no), b.bytes.data(), bs_);
        }
        Header counters = ix_.data;
        counters.numRecords = 0;
        for (const auto& b : chain_)
            counters.numRecords += b.records;
        counters.nextBlock = std::uint16_t(chain_.size());
        counters.fileBlocks = fileBlocks_;
        counters.firstBlock = chain_.empty() ? 0 : chain_.front().block;
        counters.lastBlock = chain_.empty() ? 0 : chain_.back().block;
        counters.firstFreeBlock = firstFree_;
        std::vector<std::uint8_t> head(ix_.dataHeader.begin(), ix_.dataHeader.begin() + 0x58);
        patchCounters(head, counters);
        files_.write(ix_.dataFile, 0, head.data(), head.size());
        replaceContents(files_, ix_.treeFile, buildTree(ix_, chain_));
    }

  private:
    struct Blk {
        std::uint16_t no = 0;
        int count = 0;
        bool dirty = false;
        std::vector<std::uint8_t> bytes;
        std::size_t rs = 0;
        std::uint8_t* record(int slot) { return bytes.data() + 6 + std::size_t(slot) * rs; }
    };

    std::uint64_t offset(std::uint16_t no) const {
        return ix_.data.headerSize + std::uint64_t(no - 1) * bs_;
    }
    std::string keyOf(const std::uint8_t* rec) const {
        return std::string(reinterpret_cast<const char*>(rec), key_);
    }

    // The chain position of the block where `e` is or belongs: the last whose first key is at
    // most its key (the first block for keys below them all).
    int posFor(const std::string& e) const {
        auto it = std::upper_bound(chain_.begin(), chain_.end(), e,
                                   [&](const std::string& k, const DataBlockSummary& b) {
                                       return std::memcmp(k.data(), b.firstKey.data(), key_) < 0;
                                   });
        return it == chain_.begin() ? 0 : int(it - chain_.begin()) - 1;
    }

    int slotFor(Blk& b, const std::string& e, bool& found) const {
        int lo = 0, hi = b.count;
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (std::memcmp(b.record(mid), e.data(), key_) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        found = lo < b.count && std::memcmp(b.record(lo), e.data(), key_) == 0;
        return lo;
    }

    void insertAt(Blk& b, int slot, const std::string& e) {
        std::memmove(b.record(slot + 1), b.record(slot), std::size_t(b.count - slot) * rs_);
        std::memcpy(b.record(slot), e.data(), rs_);
        ++b.count;
        b.dirty = true;
    }

    // The block at chain position `pos`, read once; its records must be as many as the tree
    // says and in order.
    Blk& chainBlock(int pos) {
        const DataBlockSummary& s = chain_[std::size_t(pos)];
        auto it = blocks_.find(s.block);
        if (it != blocks_.end())
            return it->second;
        Blk b;
        b.no = s.block;
        b.rs = rs_;
        b.bytes.assign(bs_, 0);
        const std::size_t got = files_.read(ix_.dataFile, offset(s.block), b.bytes.data(), bs_);
        const int add = std::int16_t(le16(b.bytes.data() + 4));
        if (got < 6 || add < 0 || add % int(rs_) != 0)
            throw Mismatch{};
        b.count = add / int(rs_) + 1;
        if (b.count != s.records || 6 + std::size_t(b.count) * rs_ > got ||
            keyOf(b.record(0)) != s.firstKey)
            throw Mismatch{};
        for (int i = 1; i < b.count; ++i)
            if (std::memcmp(b.record(i - 1), b.record(i), key_) >= 0)
                throw Mismatch{};
        // Blocks not read yet still link as the chain says: the edit rewrites the links of
        // every block next to one it adds or frees.
        const std::size_t p = std::size_t(pos);
        if (le16(b.bytes.data()) != (p + 1 < chain_.size() ? chain_[p + 1].block : 0) ||
            le16(b.bytes.data() + 2) != (p > 0 ? chain_[p - 1].block : 0))
            throw Mismatch{};
        return blocks_.emplace(s.block, std::move(b)).first->second;
    }

    // Block `no` made empty, to be filled.
    Blk& fresh(std::uint16_t no) {
        Blk& b = blocks_[no];
        b.no = no;
        b.rs = rs_;
        b.count = 0;
        b.dirty = true;
        b.bytes.assign(bs_, 0);
        return b;
    }

    std::uint16_t allocate() {
        std::uint16_t no = 0;
        // A free list that leads into the chain or past the file is dropped, not followed.
        if (firstFree_ != 0 && firstFree_ <= fileBlocks_ && !inChain_[firstFree_]) {
            no = firstFree_;
            auto it = blocks_.find(no);
            std::uint8_t next[2] = {};
            if (it != blocks_.end())
                std::memcpy(next, it->second.bytes.data(), 2);
            else
                files_.read(ix_.dataFile, offset(no), next, 2);
            firstFree_ = le16(next);
        } else {
            if (fileBlocks_ >= 0xFFFF)
                throw EngineError(ix_.dataPath.string() + " would need more than 65535 blocks");
            no = ++fileBlocks_;
            inChain_.resize(std::size_t(no) + 1, false);
            firstFree_ = 0;
        }
        inChain_[no] = true;
        return no;
    }

    // Takes the empty block at chain position `pos` out of the chain onto the free list.
    void freeAt(int pos) {
        const std::uint16_t no = chain_[std::size_t(pos)].block;
        if (pos > 0) {
            Blk& p = chainBlock(pos - 1);
            putLe16(p.bytes.data(),
                    std::size_t(pos + 1) < chain_.size() ? chain_[std::size_t(pos + 1)].block : 0u);
            p.dirty = true;
        }
        if (std::size_t(pos + 1) < chain_.size()) {
            Blk& n = chainBlock(pos + 1);
            putLe16(n.bytes.data() + 2, pos > 0 ? chain_[std::size_t(pos - 1)].block : 0u);
            n.dirty = true;
        }
        Blk& b = fresh(no);
        putLe16(b.bytes.data(), firstFree_);
        firstFree_ = no;
        inChain_[no] = false;
        chain_.erase(chain_.begin() + pos);
    }

    TableFiles& files_;
    const SecondaryIndex& ix_;
    const std::size_t rs_, key_, bs_;
    const int perBlock_;
    std::vector<DataBlockSummary> chain_;
    std::map<std::uint16_t, Blk> blocks_;
    std::vector<bool> inChain_;
    std::uint16_t fileBlocks_ = 0, firstFree_ = 0;
};

}  // namespace

bool editSecondaryIndex(TableFiles& files, const SecondaryIndex& ix, std::uint32_t records,
                        std::vector<std::string> removed, std::vector<std::string> added) {
    const std::size_t rs = ix.data.recordSize, key = rs - 2;
    for (const auto* list : {&removed, &added})
        for (const auto& e : *list)
            if (e.size() != rs)
                throw EngineError(ix.name() + ": an index entry of the wrong size");
    std::sort(removed.begin(), removed.end());
    std::sort(added.begin(), added.end());
    // An entry that goes and comes with the same key belongs to a record that only moved to
    // another block: it keeps its block number, a hint that readers check before they trust it
    // (other programs leave these stale too). Rewriting them would cost a write in a random
    // block of each index for every record a block split moves.
    std::vector<std::string> gone, come;
    for (std::size_t i = 0, j = 0; i < removed.size() || j < added.size();) {
        const int c = i == removed.size() ? 1
                      : j == added.size() ? -1
                                          : std::memcmp(removed[i].data(), added[j].data(), key);
        if (c < 0) {
            gone.push_back(std::move(removed[i++]));
        } else if (c > 0) {
            come.push_back(std::move(added[j++]));
        } else {
            ++i;
            ++j;
        }
    }
    try {
        IndexEditor edit(files, ix);
        edit.load(records);
        for (const auto& e : gone)
            edit.remove(e);
        for (const auto& e : come)
            edit.add(e);
        edit.finish();
    } catch (const Mismatch&) {
        return false;
    }
    return true;
}

}  // namespace orn::db::paradox
