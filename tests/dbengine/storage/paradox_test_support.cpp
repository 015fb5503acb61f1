#include "paradox_test_support.h"

extern "C" {
#include <paradox.h>
}
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <stdexcept>

#include "dbengine/storage/codepage.h"
#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/paradox_header.h"
#include "dbengine/storage/paradox_index.h"
#include "dbengine/storage/value_text.h"

namespace orn::db::test {

namespace {
void quietErrors(pxdoc_t*, int, const char*, void*) {}
// pxlib hands out blank integers as the value their all-zero bytes would decode to.
constexpr long kBlankLong = -2147483648L;
}  // namespace

std::vector<Record> recordsOf(Table& t) {
    std::vector<Record> out;
    for (auto c = t.scan(); c->next();) {
        Record r;
        for (std::size_t i = 0; i < t.fields().size(); ++i)
            r.push_back(c->value(i));
        out.push_back(std::move(r));
    }
    return out;
}

std::string rowText(const Record& r) {
    std::string s;
    for (const auto& v : r)
        s += valueText(v) + "|";
    return s;
}

PxlibTable readWithPxlib(const std::filesystem::path& file, const std::string& codePage) {
    pxdoc_t* doc = PX_new2(quietErrors, nullptr, nullptr, nullptr);
    if (!doc)
        throw std::runtime_error("PX_new2 failed");
    if (PX_open_file(doc, file.c_str()) < 0) {
        PX_delete(doc);
        throw std::runtime_error("pxlib cannot open " + file.string());
    }
    CodePage cp(codePage);
    PxlibTable out;
    out.numRecords = PX_get_num_records(doc);
    int numFields = PX_get_num_fields(doc);
    pxfield_t* fields = PX_get_fields(doc);
    for (int i = 0; i < numFields; ++i)
        out.types.push_back(fields[i].px_ftype);
    std::vector<char> data(std::size_t(PX_get_recordsize(doc)));
    for (int r = 0; r < out.numRecords; ++r) {
        if (!PX_get_record(doc, r, data.data()))
            break;
        Record rec;
        int offset = 0;
        for (int i = 0; i < numFields; ++i) {
            char* p = data.data() + offset;
            int len = fields[i].px_flen;
            Value v;
            switch (fields[i].px_ftype) {
                case pxfAlpha: {
                    char* s = nullptr;
                    if (PX_get_data_alpha(doc, p, len, &s) > 0 && s) {
                        v = cp.toUtf8(s);
                        doc->free(doc, s);
                    }
                    break;
                }
                case pxfDate: {
                    long l;
                    if (PX_get_data_long(doc, p, len, &l) > 0 && l != kBlankLong)
                        v = Date{std::int32_t(l)};
                    break;
                }
                case pxfShort: {
                    short s;
                    if (PX_get_data_short(doc, p, len, &s) > 0 && s != -32768)
                        v = std::int64_t(s);
                    break;
                }
                case pxfLong:
                case pxfAutoInc: {
                    long l;
                    if (PX_get_data_long(doc, p, len, &l) > 0 && l != kBlankLong)
                        v = std::int64_t(l);
                    break;
                }
                case pxfTime: {
                    long l;
                    if (PX_get_data_long(doc, p, len, &l) > 0 && l != kBlankLong)
                        v = TimeOfDay{std::int32_t(l)};
                    break;
                }
                case pxfCurrency:
                case pxfNumber: {
                    double d;
                    if (PX_get_data_double(doc, p, len, &d) > 0)
                        v = d;
                    break;
                }
                case pxfTimestamp: {
                    double d;
                    if (PX_get_data_double(doc, p, len, &d) > 0)
                        v = Timestamp{d};
                    break;
                }
                case pxfLogical: {
                    char c;
                    if (PX_get_data_byte(doc, p, len, &c) > 0)
                        v = c != 0;
                    break;
                }
                case pxfBCD: {
                    char* s = nullptr;
                    if (PX_get_data_bcd(doc, reinterpret_cast<unsigned char*>(p), fields[i].px_fdc,
                                        &s) > 0 &&
                        s) {
                        v = Decimal{s};
                        doc->free(doc, s);
                    }
                    break;
                }
                case pxfBytes: {
                    char* s = nullptr;
                    if (PX_get_data_bytes(doc, p, len, &s) > 0 && s) {
                        v = Bytes(s, s + len);
                        doc->free(doc, s);
                    }
                    break;
                }
                default:
                    break;  // blobs: pxlib is not asked (it cannot read .mb files safely)
            }
            rec.push_back(std::move(v));
            offset += len;
        }
        out.records.push_back(std::move(rec));
    }
    PX_close(doc);
    PX_delete(doc);
    return out;
}

// Reads the .px of a keyed table and checks it against the data blocks.
void expectIndexMatchesBlocks(const std::filesystem::path& db,
                              const std::filesystem::path& pxFile) {
    using namespace paradox;
    auto load = [](const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
    };
    auto d = load(db), x = load(pxFile);
    Header hd = parseHeader(d.data(), d.size(), db.string());
    Header hx = parseHeader(x.data(), x.size(), pxFile.string(), true);
    std::size_t keySize = std::size_t(hx.recordSize) - 6;
    // Data blocks in chain order with their first keys and counts.
    std::vector<std::tuple<std::string, int, int>> blocks;
    for (int b = hd.firstBlock; b != 0;) {
        const std::uint8_t* p =
            d.data() + hd.headerSize + std::size_t(b - 1) * std::size_t(hd.blockSize());
        int count = std::int16_t(le16(p + 4)) / hd.recordSize + 1;
        blocks.emplace_back(std::string(reinterpret_cast<const char*>(p + 6), keySize), b, count);
        b = le16(p);
    }
    // Leaf entries, found by walking down from the root.
    std::vector<std::tuple<std::string, int, int>> leaves;
    std::function<void(int, int)> walk = [&](int block, int level) {
        const std::uint8_t* p =
            x.data() + hx.headerSize + std::size_t(block - 1) * std::size_t(hx.blockSize());
        int n = std::int16_t(le16(p + 4)) / hx.recordSize + 1;
        for (int i = 0; i < n; ++i) {
            const std::uint8_t* e = p + 6 + std::size_t(i) * hx.recordSize;
            int child = int(*getSortableInt(e + keySize, 2));
            int count = int(*getSortableInt(e + keySize + 2, 2));
            if (level == 1)
                leaves.emplace_back(std::string(reinterpret_cast<const char*>(e), keySize), child,
                                    count);
            else
                walk(child, level - 1);
        }
    };
    if (hx.indexLevels > 0)
        walk(hx.indexRoot, hx.indexLevels);
    EXPECT_EQ(leaves, blocks);
}

void expectSoundIndex(const std::filesystem::path& db, const std::filesystem::path& pxFile) {
    using namespace paradox;
    expectIndexMatchesBlocks(db, pxFile);
    {
        // The table's header counts the blocks in its chain and names the last one.
        std::ifstream table(db, std::ios::binary);
        const std::vector<std::uint8_t> d{std::istreambuf_iterator<char>(table), {}};
        const Header hd = parseHeader(d.data(), d.size(), db.string());
        int inChain = 0, last = 0;
        for (int b = hd.firstBlock; b != 0 && inChain <= hd.fileBlocks; ++inChain) {
            last = b;
            b = le16(d.data() + hd.headerSize + std::size_t(b - 1) * std::size_t(hd.blockSize()));
        }
        EXPECT_EQ(hd.nextBlock, inChain);
        EXPECT_EQ(hd.lastBlock, last);
    }
    std::ifstream in(pxFile, std::ios::binary);
    const std::vector<std::uint8_t> x{std::istreambuf_iterator<char>(in), {}};
    const Header hx = parseHeader(x.data(), x.size(), pxFile.string(), true);
    const std::size_t entry = std::size_t(hx.recordSize), keySize = entry - 6;
    const std::size_t blockSize = std::size_t(hx.blockSize());
    const std::size_t blocks = (x.size() - hx.headerSize + blockSize - 1) / blockSize;
    ASSERT_EQ(hx.fileBlocks, blocks);
    auto blockAt = [&](int no) {
        return x.data() + hx.headerSize + std::size_t(no - 1) * blockSize;
    };
    auto entriesIn = [&](int no) { return std::int16_t(le16(blockAt(no) + 4)) / int(entry) + 1; };
    std::vector<int> reached(blocks + 1, 0);
    std::uint64_t entries = 0;
    // The first key and count sum of block `no` at `level`, checked below it.
    std::function<std::pair<std::string, std::uint64_t>(int, int)> walk = [&](int no, int level) {
        EXPECT_GE(no, 1);
        EXPECT_LE(std::size_t(no), blocks);
        if (no < 1 || std::size_t(no) > blocks || reached[std::size_t(no)]++)
            return std::pair<std::string, std::uint64_t>{};
        const int n = entriesIn(no);
        EXPECT_GE(n, 1) << "block " << no;
        EXPECT_LE(std::size_t(n), (blockSize - 6) / entry) << "block " << no;
        entries += std::uint64_t(n);
        std::uint64_t sum = 0;
        for (int i = 0; i < n; ++i) {
            const std::uint8_t* e = blockAt(no) + 6 + std::size_t(i) * entry;
            const std::string key(reinterpret_cast<const char*>(e), keySize);
            const auto count = std::uint64_t(indexEntryBlock(e + keySize + 2));
            sum += count;
            if (level > 1) {
                const auto [first, below] = walk(int(indexEntryBlock(e + keySize)), level - 1);
                EXPECT_EQ(key, first) << "entry " << i << " of block " << no;
                EXPECT_EQ(count, std::min<std::uint64_t>(below, 0xFFFF))
                    << "entry " << i << " of block " << no;
            }
        }
        return std::pair{std::string(reinterpret_cast<const char*>(blockAt(no) + 6), keySize), sum};
    };
    walk(hx.indexRoot, hx.indexLevels);
    EXPECT_EQ(std::count(reached.begin() + 1, reached.end(), 1), std::ptrdiff_t(blocks))
        << "every block reached once";
    EXPECT_EQ(hx.numRecords, entries);
    // The chain of all blocks, from the first to the last the header names.
    std::vector<bool> linked(blocks + 1, false);
    int prev = 0, visited = 0;
    for (int no = hx.firstBlock; no != 0 && visited <= int(blocks); ++visited) {
        ASSERT_LE(std::size_t(no), blocks);
        EXPECT_FALSE(linked[std::size_t(no)]) << "block " << no << " linked twice";
        linked[std::size_t(no)] = true;
        EXPECT_EQ(le16(blockAt(no) + 2), prev) << "block " << no;
        prev = no;
        no = le16(blockAt(no));
    }
    EXPECT_EQ(visited, int(blocks));
    EXPECT_EQ(hx.lastBlock, prev);
}

}  // namespace orn::db::test
