#pragma once

// Secondary indexes of a Paradox table, kept up to date inside every commit that changes the
// table's records: edited in place entry by entry, or written anew when a commit changed much.
//
// A secondary index is a pair of files beside the table. The data file (NAME.Xnn for one field,
// NAME.XGn for several fields or for one compared without regard to letter case) is laid out like
// a keyed table: each record holds the indexed fields, then the table's key fields, then a short
// naming the .DB block the record was in when the index was written; all fields but that last one
// form its key, so it lists every record of the table once, in index order. The tree file
// (NAME.Ynn, NAME.YGn) is a primary index over the data file's blocks, like a .PX.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "dbengine/storage/paradox_header.h"

namespace orn::db {
class TableFiles;
}

namespace orn::db::paradox {

struct SecondaryIndex {
    std::filesystem::path dataPath;   // .Xnn / .XGn (empty when only the tree file exists)
    std::filesystem::path treePath;   // .Ynn / .YGn (empty when only the data file exists)
    std::size_t dataFile = SIZE_MAX;  // slots in the table's TableFiles
    std::size_t treeFile = SIZE_MAX;

    // Filled by examine():
    std::string problem;  // why ORN cannot keep it up to date; empty when it can
    std::vector<std::uint8_t> dataHeader, treeHeader;
    Header data;                   // the data file's header
    std::vector<int> tableFields;  // for each indexed field, the table field it holds
    int treeBlockSize = 0;

    std::string name() const;  // the file names, for messages
};

// The secondary index files beside `table`, paired by their extensions (.X02 with .Y02, .XG0
// with .YG0); a file without its partner is listed alone.
std::vector<SecondaryIndex> findSecondaryIndexes(const std::filesystem::path& table);

// Reads both headers through `files` and decides whether the index is one ORN can rebuild for
// `table` (whose header is `table`, sorting its Alpha keys in byte order). Sets `problem` when
// not: a missing partner, a damaged header, fields that do not match the table, a descending or
// case-insensitive order, or Alpha keys under a national sort order.
void examine(SecondaryIndex& ix, const TableFiles& files, const Header& table);

// The name the index states for itself in its data file header (after the sort order name),
// empty when the header holds none or cannot be read.
std::string statedName(const SecondaryIndex& ix);

// A new composite index (.XGn/.YGn, kept up to date, ascending) named `name` over the table
// fields `fields` (places in `table`, whose header bytes are `tableHeader`): both headers as
// the files will hold them with no records, and everything examine() would fill in. The table
// must be keyed and of version 4 or later; the files are `dataPath` and `treePath`, the tree's
// blocks `treeBlockKiB` KiB (other programs give it the block size of the table's .px).
SecondaryIndex describeCompositeIndex(const Header& table,
                                      const std::vector<std::uint8_t>& tableHeader,
                                      const std::vector<int>& fields, const std::string& name,
                                      const std::filesystem::path& dataPath,
                                      const std::filesystem::path& treePath, int treeBlockKiB);

// A new one-field index (.Xnn/.Ynn, kept up to date, ascending, letter case counting) over
// table field `field`, named after it as one-field indexes are: the field is called "Sec Key" in
// the data file and the header names the field's place. Otherwise as describeCompositeIndex.
SecondaryIndex describeSingleFieldIndex(const Header& table, int field,
                                        const std::filesystem::path& dataPath,
                                        const std::filesystem::path& treePath, int treeBlockKiB);

// The data file record of a table record `rec` that lies in .DB block `block`.
void appendIndexRecord(const SecondaryIndex& ix, const Header& table, const std::uint8_t* rec,
                       std::uint16_t block, std::string& out);

// Both files anew for `records` (the data file records one after another, each
// data.recordSize bytes, in any order): the headers as found with their counters set, the data
// file's blocks filled in key order, the tree over them.
struct SecondaryFiles {
    std::vector<std::uint8_t> data, tree;
};
SecondaryFiles buildSecondaryIndex(const SecondaryIndex& ix, const std::string& records);

// Makes file `file` hold `bytes`, writing only the pages that differ (a change of one record
// journals and writes a few pages rather than the whole file).
void replaceContents(TableFiles& files, std::size_t file, const std::vector<std::uint8_t>& bytes);

// Edits index `ix` (examined, without a problem) in place through `files`: the data file records
// `removed` go, those in `added` come (each data.recordSize bytes); an entry in both lists with
// the same key and another block number (a record that only moved) is left as it stands. Data
// blocks fill, split and empty as in a keyed table, freed ones going to the file's free list;
// the tree is written anew over the data blocks, leaving unchanged pages alone. Returns false,
// having written nothing, when the files do not hold what the changes expect: the header counts
// other than `records` entries before the change, an entry to remove is missing, one to add is
// there already, or a block or the tree does not read as one.
bool editSecondaryIndex(TableFiles& files, const SecondaryIndex& ix, std::uint32_t records,
                        std::vector<std::string> removed, std::vector<std::string> added);

}  // namespace orn::db::paradox
