#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "dbengine/storage/codepage.h"
#include "dbengine/storage/dbase_header.h"
#include "dbengine/storage/value.h"

namespace orn::db::dbase {

// Turns the bytes of one field of a record into a Value and back. `rec` points at the record's
// deletion flag. Memo-like fields (M, B, G, P, W in the memo file) are not decoded here: their
// block number is, and the table reads the memo.
class RecordCodec {
  public:
    RecordCodec(const DbfHeader& header, const CodePage& codePage)
        : header_(header), codePage_(codePage) {}

    static bool isMemoField(const DbfHeader& h, const DbfField& f);
    bool isNull(const DbfField& f, const std::uint8_t* rec) const;

    Value decode(const DbfField& f, const std::uint8_t* rec) const;
    // The stored bytes of a character field when they are its value as they stand: not NULL,
    // not binary, plain ASCII (which reads the same in every code page), not all blanks.
    bool plainText(const DbfField& f, const std::uint8_t* rec, std::string_view& out) const;
    // 0 when the field points at no memo.
    std::uint32_t memoBlock(const DbfField& f, const std::uint8_t* rec) const;

    // Throws EngineError naming the field when the value does not fit or has the wrong kind.
    void encode(const DbfField& f, const Value& v, std::uint8_t* rec) const;
    void encodeMemoBlock(const DbfField& f, std::uint32_t block, std::uint8_t* rec) const;
    // A record of blanks, deletion flag ' '.
    void blankRecord(std::uint8_t* rec) const;

  private:
    void setNullBit(const DbfField& f, bool isNull, std::uint8_t* rec) const;
    void setBit(int bit, bool on, std::uint8_t* rec) const;
    bool bit(int bit, const std::uint8_t* rec) const;

    const DbfHeader& header_;
    const CodePage& codePage_;
};

}  // namespace orn::db::dbase
