#pragma once
// Encodes one table row (Jet 3 or Jet 4 layout) from its stored field bytes:
// column count, fixed area, variable area, variable offsets (with the Jet 3
// jump table) and the null mask, in which Boolean columns keep their value.

#include <cstddef>
#include <cstdint>
#include <span>

#include "jet/format/bytes_encode.h"
#include "jet/format/table_definition.h"

namespace jet::encode {

// One column's value as stored: fixed bytes, variable bytes, or for memo/OLE
// the long-value field (12-byte header plus any inline data).
struct FieldValue {
  bool is_null = true;
  bool boolean = false;  // Boolean columns: the value (they are never null)
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

// values[i] belongs to table.columns[i]. Throws std::invalid_argument when the
// row cannot be represented (a value too long for its column, a Jet 3 row over
// the jump table's reach).
Bytes EncodeRow(const TableDefinition& table, std::span<const FieldValue> values);
// The same into `row`, whose buffer is reused (a writer encodes every row).
void EncodeRow(const TableDefinition& table, std::span<const FieldValue> values, Bytes& row);

}  // namespace jet::encode
