#pragma once

// The order of the primary keys of a Paradox table. Numbers, dates and times sort by their
// encoded bytes. Alpha values sort by the table's sort order (the name after the field names in
// a v4+ header): "ascii" is byte order; the national orders of the desktop engine are collation
// tables that ORN does not have.
//
// What ORN does know of the national orders it accepts (see nationalOrderKnown) is what every
// pair of neighbouring keys in the tables of other programs confirms: where two values first
// differ in two digits, two capital letters or two small letters of ASCII, or where one of them
// ends while the other goes on with a digit or a letter, they sort as in ASCII. Any other first
// difference (capital against small letter, accents, punctuation, blanks) is undecided: a write
// that would have to place a key by such a comparison is refused rather than guessed.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dbengine/storage/paradox_header.h"

namespace orn::db::paradox {

// compare() result when the order of two keys is not known.
constexpr int kUndecided = 2;

class KeyOrder {
  public:
    enum class Kind {
        Bytes,     // byte order decides every comparison
        National,  // a national order of which the part above is known
        Unknown,   // an order ORN does not know: Alpha values compare equal or undecided
    };

    KeyOrder() = default;
    // The order of the first `keyFields` fields of `fields` under the sort order of `h`.
    KeyOrder(const Header& h, const std::vector<FieldSpec>& fields, int keyFields);
    // The order of the primary key of table `h`.
    explicit KeyOrder(const Header& h) : KeyOrder(h, h.fields, h.keyFields) {}

    Kind kind() const { return kind_; }
    bool bytewise() const { return kind_ == Kind::Bytes; }
    // The sort order's name as the header states it ("intl850"; "ascii" when it states none).
    const std::string& name() const { return name_; }
    // Bytes at the start of the key that compare in byte order under any sort order: the key
    // fields before its first Alpha field (the whole key when the order is bytewise).
    std::size_t bytewisePrefix() const { return bytewisePrefix_; }

    // -1, 0 or 1 as key `a` sorts before, equal to or after key `b` (whole keys), or kUndecided.
    int compare(const std::uint8_t* a, const std::uint8_t* b) const;

  private:
    struct Part {
        std::size_t offset = 0;
        std::size_t width = 0;
        bool alpha = false;
    };
    Kind kind_ = Kind::Bytes;
    std::string name_ = "ascii";
    std::size_t keySize_ = 0;
    std::size_t bytewisePrefix_ = 0;
    std::vector<Part> parts_;  // key fields, merged where neighbours compare alike
};

// Whether `name` (any letter case) is "ascii" or one of the national orders whose known part
// the tables of other programs confirm.
bool sortOrderIsByteOrder(const std::string& name);
bool nationalOrderKnown(const std::string& name);
// Whether table `h` sorts its Alpha values in byte order: its order is "ascii" (or, before
// level 4, stated by no name and number 0).
bool alphaInByteOrder(const Header& h);

// The order of two Alpha values of `width` bytes (NUL padded) under the known part of a
// national order: -1, 0, 1 or kUndecided.
int compareNationalAlpha(const std::uint8_t* a, const std::uint8_t* b, std::size_t width);

}  // namespace orn::db::paradox
