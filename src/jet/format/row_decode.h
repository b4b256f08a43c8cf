#pragma once
// Splitting one stored row into its fields: column count, fixed area,
// variable area (J3 with its jump table), null mask.
// Layout: docs/jet-format.md, section 5.2.

#include <cstdint>
#include <optional>
#include <vector>

#include "jet/format/table_definition.h"
#include "jet/io/byte_view.h"

namespace jet {

// One field of a decoded row, in the order of TableDefinition::columns.
struct StoredField {
  bool is_null = true;      // NULL, or the column did not exist when the row was written
  bool bool_value = false;  // Boolean columns: the null-mask bit (true = Yes)
  io::ByteView bytes;       // fixed bytes, variable bytes, or a long-value header (+ inline data)
  bool damaged = false;     // set by readers that could not assemble a memo/OLE value
};

// The row's own structure, reused between rows to avoid allocations.
struct RowStructure {
  std::uint16_t column_count = 0;  // N stored in the row
  std::size_t null_mask_offset = 0;
  std::size_t null_mask_size = 0;
  std::size_t var_area_end = 0;         // eod: end of the variable data
  std::vector<std::uint16_t> var_offsets;  // V + 1 entries, the last one is eod
};

// Reads the structure of a row. Throws 3049 (via the view) when it is not a
// consistent row of `table`.
void ParseRowStructure(const io::ByteView& row, const TableDefinition& table, RowStructure& out);

// ParseRowStructure without the check that the variable-column offsets rise
// and stay inside the variable area, for readers that mend them; with
// `var_count_instead`, that count of variable columns in place of the stored one.
void ParseRowStructureUnordered(const io::ByteView& row, const TableDefinition& table, RowStructure& out,
                                std::optional<std::size_t> var_count_instead = std::nullopt);

// Decodes every column of `table` from `row` into `fields` (resized to the
// column count). Throws 3049 when the row is inconsistent.
void DecodeRow(const io::ByteView& row, const TableDefinition& table, RowStructure& scratch,
               std::vector<StoredField>& fields);

// The second half of DecodeRow: the fields, from a structure already read
// (and whose offsets rise).
void DecodeFields(const io::ByteView& row, const TableDefinition& table, const RowStructure& structure,
                  std::vector<StoredField>& fields);

// The column's bit in the null mask: set when a value is present (and, for a
// Boolean column, when it is Yes). Columns the row predates read as unset.
bool ColumnPresent(const io::ByteView& row, const RowStructure& structure, const ColumnDefinition& column);

}  // namespace jet
