#include "jet/format/row_decode.h"

#include <optional>

namespace jet {
namespace {

// A row records how many columns its table had when it was written, and no
// table has none: a count of 0 is a page area that never held a row (zeros,
// or bytes of another structure).
constexpr const char* kNoColumns = "the row holds no columns";

// Jet 4: every count and offset is 2 bytes, no jump table.
void ParseJet4(const io::ByteView& row, const TableDefinition& table, RowStructure& out,
               std::optional<std::size_t> var_count_instead) {
  const std::size_t length = row.size();
  out.column_count = row.U16(0);
  if (out.column_count == 0) row.Fail(kNoColumns);
  out.null_mask_size = (out.column_count + 7u) / 8u;
  if (out.null_mask_size + 2 > length) row.Fail("the row is too short for its null mask");
  out.null_mask_offset = length - out.null_mask_size;
  out.var_offsets.clear();
  if (table.var_slots == 0) {
    out.var_area_end = out.null_mask_offset;
    return;
  }
  const std::size_t count_at = out.null_mask_offset - 2;
  if (count_at < 2) row.Fail("the row is too short for its variable-column count");
  const std::size_t var_count = var_count_instead ? *var_count_instead : row.U16(count_at);
  // var offsets 0..V-1 then eod, going towards the row start.
  if (2 * (var_count + 1) + 2 > count_at) row.Fail("the variable-column table does not fit in the row");
  for (std::size_t i = 0; i <= var_count; ++i) out.var_offsets.push_back(row.U16(count_at - 2 * (i + 1)));
  out.var_area_end = count_at - 2 * (var_count + 1);
}

// Jet 3: one-byte counts and offsets; offsets past 255 are rebuilt with the
// jump table that sits between the variable-column count and the offsets.
void ParseJet3(const io::ByteView& row, const TableDefinition& table, RowStructure& out,
               std::optional<std::size_t> var_count_instead) {
  const std::size_t length = row.size();
  out.column_count = row.U8(0);
  if (out.column_count == 0) row.Fail(kNoColumns);
  out.null_mask_size = (out.column_count + 7u) / 8u;
  if (out.null_mask_size + 1 > length) row.Fail("the row is too short for its null mask");
  out.null_mask_offset = length - out.null_mask_size;
  out.var_offsets.clear();
  if (table.var_slots == 0) {
    out.var_area_end = out.null_mask_offset;
    return;
  }
  if (out.null_mask_offset < 2) row.Fail("the row is too short for its variable-column count");
  const std::size_t count_at = out.null_mask_offset - 1;
  const std::size_t var_count = var_count_instead ? *var_count_instead : row.U8(count_at);
  std::size_t jumps = (length - 1) / 256;
  if (jumps + var_count + 1 + 1 > count_at) row.Fail("the variable-column table does not fit in the row");
  const std::size_t first_offset_at = count_at - jumps - 1;  // offset[0]
  const std::size_t eod_at = first_offset_at - var_count;
  // The farthest jump byte is a filler when eod lies below it.
  if (eod_at / 256 < jumps) --jumps;
  std::size_t jumps_used = 0;
  for (std::size_t i = 0; i <= var_count; ++i) {
    while (jumps_used < jumps && row.U8(count_at - 1 - jumps_used) == i) ++jumps_used;
    out.var_offsets.push_back(static_cast<std::uint16_t>(row.U8(first_offset_at - i) + 256 * jumps_used));
  }
  out.var_area_end = eod_at;
}

bool NullBit(const io::ByteView& row, const RowStructure& structure, std::uint16_t column) {
  if (column >= structure.column_count) return false;
  return (row.U8(structure.null_mask_offset + column / 8) >> (column % 8)) & 1;
}

}  // namespace

void ParseRowStructureUnordered(const io::ByteView& row, const TableDefinition& table, RowStructure& out,
                                std::optional<std::size_t> var_count_instead) {
  if (table.version == FormatVersion::Jet3)
    ParseJet3(row, table, out, var_count_instead);
  else
    ParseJet4(row, table, out, var_count_instead);
}

void ParseRowStructure(const io::ByteView& row, const TableDefinition& table, RowStructure& out) {
  ParseRowStructureUnordered(row, table, out, std::nullopt);
  // Offsets must rise and stay inside the variable area.
  std::uint16_t previous = 0;
  for (std::size_t i = 0; i < out.var_offsets.size(); ++i) {
    const std::uint16_t offset = out.var_offsets[i];
    if (offset > out.var_area_end || offset < previous)
      row.Fail("variable column offset " + std::to_string(i) + " (" + std::to_string(offset) + ") is out of order");
    previous = offset;
  }
}

void DecodeRow(const io::ByteView& row, const TableDefinition& table, RowStructure& scratch,
               std::vector<StoredField>& fields) {
  ParseRowStructure(row, table, scratch);
  DecodeFields(row, table, scratch, fields);
}

bool ColumnPresent(const io::ByteView& row, const RowStructure& structure, const ColumnDefinition& column) {
  return NullBit(row, structure, column.number);
}

void DecodeFields(const io::ByteView& row, const TableDefinition& table, const RowStructure& scratch,
                  std::vector<StoredField>& fields) {
  const auto& constants = ConstantsFor(table.version);
  const std::size_t fixed_start = constants.row_count_size;
  const std::size_t var_count = scratch.var_offsets.empty() ? 0 : scratch.var_offsets.size() - 1;
  fields.resize(table.columns.size());
  for (std::size_t k = 0; k < table.columns.size(); ++k) {
    const ColumnDefinition& column = table.columns[k];
    StoredField& field = fields[k];
    field.bytes = io::ByteView(nullptr, 0, row.source());
    field.damaged = false;
    const bool present = NullBit(row, scratch, column.number);
    if (column.HasNoData()) {
      field.is_null = false;
      field.bool_value = present;
      continue;
    }
    field.bool_value = false;
    field.is_null = !present || column.number >= scratch.column_count;
    if (field.is_null) continue;
    if (column.IsFixed()) {
      const std::size_t at = fixed_start + column.fixed_offset;
      if (at + column.length > scratch.var_area_end)
        row.Fail("fixed column '" + column.name + "' lies outside the row's fixed area");
      field.bytes = row.Sub(at, column.length, "fixed column");
      continue;
    }
    if (column.var_index >= var_count) {
      field.is_null = true;  // written before the column was added
      continue;
    }
    const std::size_t start = scratch.var_offsets[column.var_index];
    const std::size_t end = scratch.var_offsets[column.var_index + 1u];
    field.bytes = row.Sub(start, end - start, "variable column");
  }
}

}  // namespace jet
