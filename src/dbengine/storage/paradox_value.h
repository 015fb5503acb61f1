#pragma once

// Field values of a Paradox record: bytes of the record to Value and back. Blob fields keep only
// their leader and pointer in the record; the table reads and writes the .mb part.

#include <cstdint>
#include <string>

#include "dbengine/storage/codepage.h"
#include "dbengine/storage/paradox_header.h"
#include "dbengine/storage/value.h"

namespace orn::db::paradox {

// Every field but the blob kinds.
Value decodeScalar(const FieldSpec& f, const std::uint8_t* record, const CodePage& cp);

// Stores a value into the field's bytes of `record` (blob kinds excluded). Throws EngineError
// naming the field when the value does not fit or has a kind the field cannot hold.
void encodeScalar(const FieldSpec& f, const std::string& fieldName, const Value& v,
                  std::uint8_t* record, const CodePage& cp);

// The bytes a blob field stores for a value (text converted to the code page, graphics with their
// prefix); throws like encodeScalar. Blank values give an empty result.
std::string blobPayload(const FieldSpec& f, const std::string& fieldName, const Value& v,
                        const CodePage& cp);
// The value of a blob field from its stored bytes.
Value blobValue(const FieldSpec& f, std::string payload, const CodePage& cp);

}  // namespace orn::db::paradox
