#include "jet/format/row_encode.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

namespace jet::encode {

Bytes EncodeRow(const TableDefinition& table, std::span<const FieldValue> values) {
  Bytes row;
  EncodeRow(table, values, row);
  return row;
}

void EncodeRow(const TableDefinition& table, std::span<const FieldValue> values, Bytes& row) {
  RowEncoder(table).Encode(values, row);
}

RowEncoder::RowEncoder(const TableDefinition& table)
    : table_(table), jet3_(table.version == FormatVersion::Jet3), max_columns_(table.max_columns),
      var_slots_(table.var_slots) {
  for (const ColumnDefinition& column : table.columns) {
    max_columns_ = std::max<std::size_t>(max_columns_, column.number + 1u);
    if (!column.IsFixed() && column.type != ColumnType::Boolean)
      var_slots_ = std::max<std::size_t>(var_slots_, column.var_index + 1u);
    if (column.IsFixed() && !column.HasNoData())
      fixed_size_ = std::max<std::size_t>(fixed_size_, std::size_t{column.fixed_offset} + column.length);
  }
  var_position_.assign(var_slots_, kNoColumn);
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnDefinition& column = table.columns[i];
    if (column.number < max_columns_) mask_.push_back({i, column.number, column.type == ColumnType::Boolean});
    if (column.type == ColumnType::Boolean) continue;
    if (column.IsFixed()) {
      fixed_.push_back({i, column.fixed_offset, column.length});
    } else {
      var_position_[column.var_index] = i;  // a later column in the same slot wins, as in the general path
    }
  }
}

void RowEncoder::RefuseLongValue(std::size_t position) const {
  throw std::invalid_argument("value too long for fixed column " + table_.columns[position].name);
}

void RowEncoder::EncodeJet4(std::span<const FieldValue> values, Bytes& row) {
  const std::size_t fixed_start = 2;
  const std::size_t var_start = fixed_start + fixed_size_;
  const std::size_t eod = var_start + VariableBytes(values);
  const std::size_t offsets_bytes = var_slots_ > 0 ? 2 * (var_slots_ + 2) : 0;
  const std::size_t mask_start = eod + offsets_bytes;
  const std::size_t mask_bytes = (max_columns_ + 7) / 8;
  row.resize(mask_start + mask_bytes);
  std::uint8_t* out = row.data();
  auto put16 = [](std::uint8_t* at, std::size_t v) {
    at[0] = static_cast<std::uint8_t>(v);
    at[1] = static_cast<std::uint8_t>(v >> 8);
  };
  put16(out, max_columns_);
  PutFixed(values, out + fixed_start);
  if (var_slots_ > 0) {
    // The values, then eod, the offsets from the last slot down, the slot count.
    std::uint8_t* offsets = out + eod + 2 * var_slots_;  // slot 0's offset, written last
    std::size_t at = var_start;
    for (std::size_t slot = 0; slot < var_slots_; ++slot, offsets -= 2) {
      put16(offsets, at);
      at += PutVariable(values, slot, out + at);
    }
    put16(out + eod, eod);
    put16(out + eod + 2 * (var_slots_ + 1), var_slots_);
  }
  PutNullMask(values, out + mask_start, mask_bytes);
}

std::size_t RowEncoder::VariableBytes(std::span<const FieldValue> values) const {
  std::size_t bytes = 0;
  for (std::size_t position : var_position_) {
    if (position == kNoColumn) continue;
    const FieldValue& value = values[position];
    if (!value.is_null) bytes += value.size;
  }
  return bytes;
}

void RowEncoder::PutFixed(std::span<const FieldValue> values, std::uint8_t* fixed) const {
  std::memset(fixed, 0, fixed_size_);
  for (const FixedPlace& place : fixed_) {
    const FieldValue& value = values[place.position];
    if (value.is_null) continue;
    if (value.size > place.length) RefuseLongValue(place.position);
    if (value.size != 0) std::memcpy(fixed + place.offset, value.data, value.size);
  }
}

std::size_t RowEncoder::PutVariable(std::span<const FieldValue> values, std::size_t slot, std::uint8_t* at) const {
  const std::size_t position = var_position_[slot];
  if (position == kNoColumn) return 0;
  const FieldValue& value = values[position];
  if (value.is_null || value.size == 0) return 0;
  std::memcpy(at, value.data, value.size);
  return value.size;
}

void RowEncoder::PutNullMask(std::span<const FieldValue> values, std::uint8_t* mask, std::size_t mask_bytes) const {
  if (mask_bytes <= 8) {
    // Gathered in a register: ORed into the mask's bytes one by one, each bit
    // would wait for the store of the one before (most tables have all their
    // bits in one or two bytes).
    std::uint64_t bits = 0;
    for (const MaskBit& bit : mask_) {
      const FieldValue& value = values[bit.position];
      const bool set = bit.boolean ? value.boolean : !value.is_null;
      bits |= std::uint64_t{set} << bit.number;
    }
    for (std::size_t i = 0; i < mask_bytes; ++i) mask[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    return;
  }
  std::memset(mask, 0, mask_bytes);
  for (const MaskBit& bit : mask_) {
    const FieldValue& value = values[bit.position];
    if (bit.boolean ? value.boolean : !value.is_null) mask[bit.number / 8] |= static_cast<std::uint8_t>(1u << (bit.number % 8));
  }
}

void RowEncoder::Encode(std::span<const FieldValue> values, Bytes& row) {
  if (values.size() != table_.columns.size()) throw std::invalid_argument("row has the wrong number of values");
  if (jet3_) {
    EncodeJet3(values, row);
  } else {
    EncodeJet4(values, row);
  }
}

// Jet 3: one-byte counts and offsets, and a jump table for rows past 255
// bytes. Each offset is stored as its low byte; jump entry k names the first
// offset entry (the last being eod) at or beyond 256 * (k + 1). More entries
// may be needed than eod reaches, for the trailer itself; those hold 0xFF.
void RowEncoder::EncodeJet3(std::span<const FieldValue> values, Bytes& row) {
  if (max_columns_ > 255) throw std::invalid_argument("too many columns for a Jet 3 row");
  const std::size_t fixed_start = 1;
  const std::size_t var_start = fixed_start + fixed_size_;
  const std::size_t eod = var_start + VariableBytes(values);
  const std::size_t mask_bytes = (max_columns_ + 7) / 8;
  std::size_t reached_jumps = 0, jumps = 0, trailer_bytes = 0;
  if (var_slots_ > 0) {
    reached_jumps = eod / 256;
    jumps = reached_jumps;
    while ((eod + (var_slots_ + 1) + jumps + 1 + mask_bytes - 1) / 256 > jumps) ++jumps;
    if (jumps > 255) throw std::invalid_argument("row too long for Jet 3");
    trailer_bytes = 1 + var_slots_ + jumps + 1;  // eod, the offsets, the jumps, the slot count
  }
  const std::size_t mask_start = eod + trailer_bytes;
  row.resize(mask_start + mask_bytes);
  std::uint8_t* out = row.data();
  out[0] = static_cast<std::uint8_t>(max_columns_);
  PutFixed(values, out + fixed_start);
  if (var_slots_ > 0) {
    // From eod on: eod, the offsets from the last slot down, the jumps from
    // the last down, the slot count.
    std::uint8_t* trailer = out + eod;
    trailer[0] = static_cast<std::uint8_t>(eod);
    std::uint8_t* offsets = trailer + var_slots_;  // slot 0's, written last
    std::uint8_t* jump_table = trailer + 1 + var_slots_;
    std::memset(jump_table, 0xFF, jumps);
    const auto set_jump = [&](std::size_t k, std::size_t entry) {
      jump_table[jumps - 1 - k] = static_cast<std::uint8_t>(entry);
    };
    std::size_t next_jump = 0;
    std::size_t at = var_start;
    for (std::size_t slot = 0; slot < var_slots_; ++slot, --offsets) {
      for (; next_jump < reached_jumps && at >= 256 * (next_jump + 1); ++next_jump) set_jump(next_jump, slot);
      *offsets = static_cast<std::uint8_t>(at);
      at += PutVariable(values, slot, out + at);
    }
    for (; next_jump < reached_jumps; ++next_jump) set_jump(next_jump, var_slots_);
    trailer[trailer_bytes - 1] = static_cast<std::uint8_t>(var_slots_);
  }
  PutNullMask(values, out + mask_start, mask_bytes);
}

}  // namespace jet::encode
