#pragma once
// Encodes one table row (Jet 3 or Jet 4 layout) from its stored field bytes:
// column count, fixed area, variable area, variable offsets (with the Jet 3
// jump table) and the null mask, in which Boolean columns keep their value.
// Layout: docs/jet-format.md, section 5.2.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

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

// Encodes the rows of one table: what the rows share (column count, the
// fixed area's size, each column's place) is worked out once. The table must
// outlive the encoder.
class RowEncoder {
 public:
  explicit RowEncoder(const TableDefinition& table);

  // values[i] belongs to table.columns[i]. Throws std::invalid_argument when
  // the row cannot be represented (a value too long for its column, a Jet 3
  // row over the jump table's reach). `row`'s buffer is reused.
  void Encode(std::span<const FieldValue> values, Bytes& row);

 private:
  // Each layout, from the plan below in one pass over a buffer sized ahead.
  void EncodeJet3(std::span<const FieldValue> values, Bytes& row);
  void EncodeJet4(std::span<const FieldValue> values, Bytes& row);
  // Bytes of the variable values present.
  std::size_t VariableBytes(std::span<const FieldValue> values) const;
  // Writes the fixed area (zeroed first) at `fixed`.
  void PutFixed(std::span<const FieldValue> values, std::uint8_t* fixed) const;
  // Writes the value in variable `slot`, if any, at `at`; returns its size.
  std::size_t PutVariable(std::span<const FieldValue> values, std::size_t slot, std::uint8_t* at) const;
  void PutNullMask(std::span<const FieldValue> values, std::uint8_t* mask, std::size_t mask_bytes) const;
  [[noreturn]] void RefuseLongValue(std::size_t position) const;

  const TableDefinition& table_;
  bool jet3_;
  std::size_t max_columns_ = 0;
  std::size_t var_slots_ = 0;
  std::size_t fixed_size_ = 0;
  // Where each column goes, kept apart from the (large) column definitions.
  struct FixedPlace {
    std::size_t position, offset, length;
  };
  struct MaskBit {
    std::size_t position, number;
    bool boolean;
  };
  std::vector<FixedPlace> fixed_;
  std::vector<std::size_t> var_position_;  // per variable slot, the column in it, or kNoColumn
  std::vector<MaskBit> mask_;
  static constexpr std::size_t kNoColumn = ~std::size_t{0};
};

// One row, as above.
Bytes EncodeRow(const TableDefinition& table, std::span<const FieldValue> values);
void EncodeRow(const TableDefinition& table, std::span<const FieldValue> values, Bytes& row);

}  // namespace jet::encode
