#include "jet/format/row_mend.h"

#include <algorithm>
#include <optional>

#include "base/error.h"
#include "jet/format/long_value_decode.h"

namespace jet {
namespace {

// The column behind one variable slot, as this row stores it.
struct VariableSlot {
  const ColumnDefinition* column = nullptr;  // none for a deleted column's slot
  bool present = false;                      // not NULL in this row
};

class OffsetMender {
 public:
  OffsetMender(const io::ByteView& row, const TableDefinition& table, const RowStructure& structure)
      : row_(row), table_(table), offsets_(structure.var_offsets), end_(structure.var_area_end) {
    const std::size_t count_size = ConstantsFor(table.version).row_count_size;
    fixed_end_ = count_size;
    slots_.resize(offsets_.size() - 1);
    for (const ColumnDefinition& column : table.columns) {
      if (column.number >= structure.column_count || column.HasNoData()) continue;
      if (column.IsFixed()) {
        fixed_end_ = std::max<std::size_t>(fixed_end_, count_size + column.fixed_offset + column.length);
      } else if (column.var_index < slots_.size()) {
        slots_[column.var_index] = {&column, ColumnPresent(row, structure, column)};
      } else if (ColumnPresent(row, structure, column)) {
        ++columns_without_slot_;
      }
    }
    lowest_ = count_size;
  }

  // Whether the offsets as they stand read the row as the format lays it
  // out: rising, the last one the end of the variable area, every value
  // well formed, and no value the null mask holds present left without a slot.
  bool ReadsWhole() const {
    if (!OthersInOrder(offsets_.size()) || offsets_.back() != end_ || columns_without_slot_) return false;
    for (std::size_t k = 0; k < slots_.size(); ++k)
      if (!SlotFits(k, offsets_[k], offsets_[k + 1])) return false;
    return true;
  }

  // Whether the stored offsets rise and stay inside the variable area.
  bool InOrder() const { return OthersInOrder(offsets_.size()); }

  // The one set of offsets that reads the row, if there is exactly one.
  std::optional<std::vector<std::uint16_t>> Mend() const {
    if (OthersInOrder(offsets_.size())) return std::nullopt;  // nothing out of order: nothing to mend
    std::optional<std::vector<std::uint16_t>> found;
    for (std::size_t damaged = 0; damaged < offsets_.size(); ++damaged) {
      if (!OthersInOrder(damaged) || !OthersFit(damaged)) continue;
      const std::size_t below = damaged == 0 ? lowest_ : offsets_[damaged - 1];
      const std::size_t above = damaged + 1 == offsets_.size() ? end_ : offsets_[damaged + 1];
      for (std::size_t value : Candidates(damaged, below, above)) {
        if (value < below || value > above) continue;
        if (!NeighboursFit(damaged, value)) continue;
        std::vector<std::uint16_t> reading = offsets_;
        reading[damaged] = static_cast<std::uint16_t>(value);
        if (found && *found != reading) return std::nullopt;  // two readings: neither can be trusted
        found = std::move(reading);
      }
    }
    return found;
  }

 private:
  // The values the structure allows for entry `i`, the start of slot i and
  // the end of slot i - 1.
  std::vector<std::size_t> Candidates(std::size_t i, std::size_t below, std::size_t above) const {
    const bool after_null = i > 0 && !slots_[i - 1].present && slots_[i - 1].column;
    const bool before_null = i < slots_.size() && !slots_[i].present && slots_[i].column;
    if (after_null && before_null) return below == above ? std::vector<std::size_t>{below} : std::vector<std::size_t>{};
    if (after_null) return {below};
    if (before_null) return {above};
    if (i == 0) return {fixed_end_};
    if (i == slots_.size()) return {end_};
    std::vector<std::size_t> all;
    for (std::size_t v = below; v <= above; ++v) all.push_back(v);
    return all;
  }

  bool OthersInOrder(std::size_t damaged) const {
    std::size_t previous = lowest_;
    for (std::size_t i = 0; i < offsets_.size(); ++i) {
      if (i == damaged) continue;
      if (offsets_[i] < previous || offsets_[i] > end_) return false;
      previous = offsets_[i];
    }
    return true;
  }

  // Every slot that does not touch the damaged entry.
  bool OthersFit(std::size_t damaged) const {
    for (std::size_t k = 0; k < slots_.size(); ++k) {
      if (k + 1 == damaged || k == damaged) continue;
      if (!SlotFits(k, offsets_[k], offsets_[k + 1])) return false;
    }
    return true;
  }

  bool NeighboursFit(std::size_t damaged, std::size_t value) const {
    if (damaged > 0 && !SlotFits(damaged - 1, offsets_[damaged - 1], value)) return false;
    if (damaged < slots_.size() && !SlotFits(damaged, value, offsets_[damaged + 1])) return false;
    return true;
  }

  bool SlotFits(std::size_t k, std::size_t start, std::size_t end) const {
    if (start > end) return false;
    const VariableSlot& slot = slots_[k];
    const std::size_t size = end - start;
    if (!slot.column) return true;  // a deleted column's bytes may be anything
    if (!slot.present) return size == 0;
    const ColumnDefinition& column = *slot.column;
    if (IsLongValueType(column.type)) return LongValueFits(start, size);
    if (column.length != 0 && size > column.length) return false;
    if (column.type == ColumnType::Text && table_.version == FormatVersion::Jet4) {
      const bool compressed = size >= 2 && row_.U8(start) == 0xFF && row_.U8(start + 1) == 0xFE;
      return compressed || size % 2 == 0;
    }
    return true;
  }

  bool LongValueFits(std::size_t start, std::size_t size) const {
    if (size < kLongValueHeaderSize) return false;
    const LongValueHeader header = DecodeLongValueHeader(row_.Sub(start, size));
    switch (header.kind) {
      case LongValueKind::Inline: return size == kLongValueHeaderSize + header.length;
      case LongValueKind::SingleRow:
      case LongValueKind::Chain: return size == kLongValueHeaderSize && header.length > 0;
      case LongValueKind::Invalid: break;
    }
    return false;
  }

  const io::ByteView& row_;
  const TableDefinition& table_;
  const std::vector<std::uint16_t>& offsets_;  // V + 1 entries, as stored
  std::size_t end_;                            // end of the variable area
  std::size_t lowest_ = 0;                     // no variable data before the column count
  std::size_t fixed_end_ = 0;                  // end of the fixed columns this row has
  std::vector<VariableSlot> slots_;
  std::size_t columns_without_slot_ = 0;  // present in the null mask, past the count of slots
};

// A damaged count of variable columns moves every offset the row is read
// with: each other count the table allows is tried, and kept when the row
// then reads whole.
std::vector<RowStructure> ReadingsWithOtherCounts(const io::ByteView& row, const TableDefinition& table,
                                                  std::size_t stored_count) {
  std::vector<RowStructure> readings;
  // Each count needs an offset of one byte (Jet 3) or two (Jet 4) inside the
  // row: a larger one cannot be read, however many slots the table claims.
  const std::size_t offset_size = table.version == FormatVersion::Jet3 ? 1 : 2;
  const std::size_t most = std::min<std::size_t>(table.var_slots, row.size() / offset_size);
  for (std::size_t count = 0; count <= most; ++count) {
    if (count == stored_count) continue;
    RowStructure structure;
    try {
      ParseRowStructureUnordered(row, table, structure, count);
      if (structure.var_offsets.empty() || !OffsetMender(row, table, structure).ReadsWhole()) continue;
    } catch (const vondrel::Error&) {
      continue;
    }
    readings.push_back(std::move(structure));
    if (readings.size() > 1) break;
  }
  return readings;
}

// The count of variable columns as stored, when the row is long enough to hold it.
std::optional<std::size_t> StoredVarCount(const io::ByteView& row, const TableDefinition& table) {
  RowStructure structure;
  try {
    ParseRowStructureUnordered(row, table, structure);
    return structure.var_offsets.size() - 1;
  } catch (const vondrel::Error&) {
    return std::nullopt;
  }
}

}  // namespace

bool DecodeRowMendingOffsets(const io::ByteView& row, const TableDefinition& table, RowStructure& scratch,
                             std::vector<StoredField>& fields) {
  if (table.var_slots == 0) return false;
  try {
    // Either one offset is damaged and the count stands, or the count is.
    std::vector<RowStructure> readings;
    const std::optional<std::size_t> stored_count = StoredVarCount(row, table);
    if (stored_count && *stored_count <= table.var_slots) {
      RowStructure structure;
      ParseRowStructureUnordered(row, table, structure);
      const OffsetMender mender(row, table, structure);
      if (mender.InOrder()) return false;  // nothing to mend: the row failed for another reason
      if (structure.column_count <= table.max_columns && !structure.var_offsets.empty()) {
        if (std::optional<std::vector<std::uint16_t>> mended = mender.Mend()) {
          structure.var_offsets = std::move(*mended);
          readings.push_back(std::move(structure));
        }
      }
    }
    for (RowStructure& other : ReadingsWithOtherCounts(row, table, stored_count.value_or(~std::size_t{0})))
      readings.push_back(std::move(other));
    if (readings.size() != 1 || readings.front().column_count > table.max_columns) return false;
    scratch = std::move(readings.front());
    DecodeFields(row, table, scratch, fields);
    return true;
  } catch (const vondrel::Error&) {
    return false;
  }
}

}  // namespace jet
