#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace orn::db {

// The kinds of field both formats share; each format maps its own type letters onto these.
enum class FieldType : std::uint8_t {
    Alpha,      // Paradox A, dBASE C: text of at most `size` bytes in the file's code page
    Date,       // Paradox D, dBASE D
    Short,      // Paradox S
    Long,       // Paradox I, FoxPro I
    AutoInc,    // Paradox +, FoxPro I with autoincrement
    Number,     // Paradox N, dBASE F and N (dBASE N keeps `size` digits and `decimals`)
    Money,      // Paradox $, FoxPro Y
    Logical,    // Paradox L, dBASE L
    Bcd,        // Paradox #: `decimals` digits after the point
    Time,       // Paradox T
    Timestamp,  // Paradox @, FoxPro T
    Memo,       // Paradox M, dBASE M: text in the memo file
    FmtMemo,    // Paradox F
    Blob,       // Paradox B, dBASE/FoxPro binary memo (B in dBASE IV+ is binary, in VFP double)
    Graphic,    // Paradox G, FoxPro G/P
    Ole,        // Paradox O
    Bytes,      // Paradox Y
};

struct Field {
    std::string name;  // UTF-8
    FieldType type = FieldType::Alpha;
    int size = 0;      // Alpha/Bytes: bytes; blobs: Paradox leader + 10; dBASE N/F: width
    int decimals = 0;  // Bcd and dBASE N/F: digits after the point
    char letter = 0;   // the file format's own type letter ('A', 'C', '#', ...)
};

// A field description for creating a table; a zero letter lets the format choose its own.
inline Field makeField(std::string name, FieldType type, int size = 0, int decimals = 0,
                       char letter = 0) {
    Field f;
    f.name = std::move(name);
    f.type = type;
    f.size = size;
    f.decimals = decimals;
    f.letter = letter;
    return f;
}

bool isNumeric(FieldType t);   // Short, Long, AutoInc, Number, Money, Bcd
bool isBlobLike(FieldType t);  // Memo, FmtMemo, Blob, Graphic, Ole
const char* typeName(FieldType t);

}  // namespace orn::db
