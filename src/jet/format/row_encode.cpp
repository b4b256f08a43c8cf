#include "jet/format/row_encode.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

namespace jet::encode {
namespace {

void WriteNullMask(Bytes& row, const TableDefinition& table, std::span<const FieldValue> values, std::size_t columns) {
  const std::size_t start = row.size();
  row.resize(start + (columns + 7) / 8, 0);
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnDefinition& column = table.columns[i];
    const bool bit = column.type == ColumnType::Boolean ? values[i].boolean : !values[i].is_null;
    if (bit && column.number < columns) row[start + column.number / 8] |= static_cast<std::uint8_t>(1u << (column.number % 8));
  }
}

}  // namespace

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
  std::size_t var_bytes = 0;
  for (std::size_t position : var_position_) {
    if (position == kNoColumn) continue;
    const FieldValue& value = values[position];
    if (!value.is_null) var_bytes += value.size;
  }
  const std::size_t fixed_start = 2;
  const std::size_t var_start = fixed_start + fixed_size_;
  const std::size_t eod = var_start + var_bytes;
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
  std::memset(out + fixed_start, 0, fixed_size_);
  for (const FixedPlace& place : fixed_) {
    const FieldValue& value = values[place.position];
    if (value.is_null) continue;
    if (value.size > place.length) RefuseLongValue(place.position);
    if (value.size != 0) std::memcpy(out + fixed_start + place.offset, value.data, value.size);
  }
  if (var_slots_ > 0) {
    // The values, then eod, the offsets from the last slot down, the slot count.
    std::uint8_t* offsets = out + eod + 2 * var_slots_;  // slot 0's offset, written last
    std::size_t at = var_start;
    for (std::size_t slot = 0; slot < var_slots_; ++slot, offsets -= 2) {
      put16(offsets, at);
      const std::size_t position = var_position_[slot];
      if (position == kNoColumn) continue;
      const FieldValue& value = values[position];
      if (value.is_null || value.size == 0) continue;
      std::memcpy(out + at, value.data, value.size);
      at += value.size;
    }
    put16(out + eod, eod);
    put16(out + eod + 2 * (var_slots_ + 1), var_slots_);
  }
  std::uint8_t* mask = out + mask_start;
  std::memset(mask, 0, mask_bytes);
  for (const MaskBit& bit : mask_) {
    const FieldValue& value = values[bit.position];
    if (bit.boolean ? value.boolean : !value.is_null) mask[bit.number / 8] |= static_cast<std::uint8_t>(1u << (bit.number % 8));
  }
}

void RowEncoder::Encode(std::span<const FieldValue> values, Bytes& row) {
  const TableDefinition& table = table_;
  if (values.size() != table.columns.size()) throw std::invalid_argument("row has the wrong number of values");
  if (!jet3_) {
    EncodeJet4(values, row);
    return;
  }
  // Jet 3: one-byte counts and offsets, with a jump table past 255 bytes.
  if (max_columns_ > 255) throw std::invalid_argument("too many columns for a Jet 3 row");
  const std::size_t max_columns = max_columns_;
  const std::size_t var_slots = var_slots_;

  row.clear();
  Appender out(row);
  out.U8(static_cast<std::uint8_t>(max_columns));

  const std::size_t fixed_start = row.size();
  row.resize(fixed_start + fixed_size_, 0);
  slots_.assign(var_slots, nullptr);
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnDefinition& column = table.columns[i];
    const FieldValue& value = values[i];
    if (column.type == ColumnType::Boolean) continue;
    if (column.IsFixed()) {
      if (value.is_null) continue;
      if (value.size > column.length) throw std::invalid_argument("value too long for fixed column " + column.name);
      PutBytes(row, fixed_start + column.fixed_offset, value.data, value.size);
    } else {
      slots_[column.var_index] = &value;
    }
  }

  if (var_slots > 0) {
    std::vector<std::size_t>& offsets = offsets_;
    offsets.assign(var_slots + 1, 0);
    for (std::size_t s = 0; s < var_slots; ++s) {
      offsets[s] = row.size();
      const FieldValue* value = slots_[s];
      if (value && !value->is_null && value->size) out.Raw(value->data, value->size);
    }
    const std::size_t eod = row.size();
    offsets[var_slots] = eod;
    const std::size_t mask_bytes = (max_columns + 7) / 8;
    const std::size_t real_jumps = eod / 256;
    std::size_t jumps = real_jumps;
    while ((eod + (var_slots + 1) + jumps + 1 + mask_bytes - 1) / 256 > jumps) ++jumps;
    if (jumps > 255) throw std::invalid_argument("row too long for Jet 3");
    // Offsets are stored as their low byte; the jump table says where each
    // further 256 bytes begin.
    out.U8(static_cast<std::uint8_t>(eod));
    for (std::size_t s = var_slots; s-- > 0;) out.U8(static_cast<std::uint8_t>(offsets[s]));
    std::vector<std::uint8_t> jump(jumps, 0xFF);
    for (std::size_t k = 0; k < real_jumps; ++k) {
      std::size_t entry = 0;
      while (entry <= var_slots && offsets[entry] < 256 * (k + 1)) ++entry;
      jump[k] = static_cast<std::uint8_t>(entry);
    }
    for (std::size_t k = jumps; k-- > 0;) out.U8(jump[k]);
    out.U8(static_cast<std::uint8_t>(var_slots));
  }
  WriteNullMask(row, table, values, max_columns);
}

}  // namespace jet::encode
