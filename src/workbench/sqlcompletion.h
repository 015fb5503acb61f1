#pragma once
// Names a user may want next while writing a statement: the tables of the SQL directory and the
// fields of the tables the statement names. The windows only show what this finds.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace orn {

// A table a statement names, with the name it goes by in the statement (its correlation name
// when it has one, else the name as written).
struct TNamedTable {
    std::string name;   // as written, quotes removed: customers, "orders.dbf", "/data/x.db"
    std::string alias;  // C in `from customers C`; empty without one
};

// The tables after FROM (and its commas), JOIN, UPDATE and INTO, in order. Texts, comments and
// a statement cut off in the middle of a word or a quote are taken in their stride.
std::vector<TNamedTable> TablesNamed(const std::string& statement);

struct TCompletions {
    std::size_t start = 0;  // byte offset where the word being completed begins
    std::string prefix;     // what of it is typed (without a qualifier or an opening quote)
    std::vector<std::string> words;
};

class TSqlCompletion {
  public:
    // Reads the field names of a table file; throws when it cannot.
    using FieldReader = std::function<std::vector<std::string>(const std::string& file)>;
    explicit TSqlCompletion(FieldReader reader = ReadFieldNames);

    // What fits the word that ends at byte offset `cursor` of `statement`. After a qualifier
    // ("c." or "customers.") only that table's fields; in a table position (after FROM, JOIN,
    // UPDATE, INTO) only tables; elsewhere the fields of the tables named, then the tables.
    // Words are matched without regard to letter case and given as they are to be inserted:
    // tables of the default format by their bare name, dBASE tables by their quoted file name,
    // and names that are not plain words in double quotes.
    TCompletions Complete(const std::string& directory, const std::string& statement,
                          std::size_t cursor);

    // The tables of a directory as they are written in a statement.
    std::vector<std::string> TableWords(const std::string& directory);
    // Field names of the table a statement calls `name` (as TablesNamed gives it); none when
    // the table is not found or cannot be read (locked, damaged).
    std::vector<std::string> FieldsOf(const std::string& directory, const std::string& name);

    // Opens the table for reading and lists its fields.
    static std::vector<std::string> ReadFieldNames(const std::string& file);

  private:
    struct Stamp {
        std::filesystem::file_time_type time{};
        std::uintmax_t size = 0;
        bool operator==(const Stamp&) const = default;
    };
    struct Listing {
        std::filesystem::file_time_type time{};
        std::vector<std::string> words;
        std::map<std::string, std::string> files;  // lower-case bare name or file name -> path
    };
    struct Fields {
        Stamp stamp;
        std::vector<std::string> names;
    };
    const Listing& ListingOf(const std::string& directory);

    FieldReader reader_;
    // Each keystroke may ask again: a directory is listed again only when it changed, a table's
    // header read again only when its file changed.
    std::map<std::string, Listing> listings_;
    std::map<std::string, Fields> fields_;
};

}  // namespace orn
