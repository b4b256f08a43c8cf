#include "jet/compact/compact_error_table.h"

#include <cstring>

#include "base/unicode.h"
#include "jet/format/text_encode.h"

namespace jet::compact {
namespace {

constexpr std::uint16_t kTextCharacters = 255;

ColumnDefinition UserColumn(const char* name, ColumnType type, std::uint16_t number, FormatVersion version,
                            std::uint16_t code_page, std::uint16_t sort_order) {
  ColumnDefinition c;
  c.name = name;
  c.type = type;
  c.number = number;
  c.second_number = number;
  c.sort_order = sort_order;
  c.flags = column_flags::kUpdatable;
  if (version == FormatVersion::Jet3) {
    c.jet3_unknown = 1;
    c.code_page = code_page;
  }
  return c;
}

}  // namespace

TableDefinition CompactErrorDefinition(FormatVersion version, std::uint16_t code_page, std::uint16_t sort_order) {
  const bool jet4 = version == FormatVersion::Jet4;
  TableDefinition t;
  t.version = version;
  t.table_type = kTableTypeNormal;

  ColumnDefinition code = UserColumn("ErrorCode", ColumnType::Long, 0, version, code_page, sort_order);
  code.flags |= column_flags::kFixed;
  code.fixed_offset = 0;
  code.length = 4;
  code.var_index = 0;

  ColumnDefinition description = UserColumn("ErrorDescription", ColumnType::Memo, 1, version, code_page, sort_order);
  description.var_index = 0;
  if (jet4) description.ext_flags = column_ext_flags::kCompressedUnicode;

  ColumnDefinition recid = UserColumn("ErrorRecid", ColumnType::Binary, 2, version, code_page, sort_order);
  recid.var_index = 1;
  recid.length = kTextCharacters;

  ColumnDefinition table = UserColumn("ErrorTable", ColumnType::Text, 3, version, code_page, sort_order);
  table.var_index = 2;
  table.length = jet4 ? 2 * kTextCharacters : kTextCharacters;
  if (jet4) table.ext_flags = column_ext_flags::kCompressedUnicode;

  t.columns = {code, description, recid, table};
  t.max_columns = 4;
  t.var_slots = 3;
  t.column_count = 4;
  return t;
}

NamedRow::NamedRow(const TableDefinition& table)
    : table_(table), stored_(table.columns.size()), values_(table.columns.size()) {}

std::size_t NamedRow::Position(const char* column) const {
  const ColumnDefinition* found = table_.FindColumn(std::string(column));
  return found ? static_cast<std::size_t>(found - table_.columns.data()) : table_.columns.size();
}

bool NamedRow::Set(const char* column, encode::Bytes stored) {
  const std::size_t i = Position(column);
  if (i >= table_.columns.size()) return false;
  stored_[i] = std::move(stored);
  values_[i].is_null = false;
  return true;
}

bool NamedRow::SetBoolean(const char* column, bool value) {
  const std::size_t i = Position(column);
  if (i >= table_.columns.size()) return false;
  values_[i].is_null = false;
  values_[i].boolean = value;
  return true;
}

const std::vector<encode::FieldValue>& NamedRow::values() {
  for (std::size_t i = 0; i < values_.size(); ++i) {
    if (table_.columns[i].type == ColumnType::Boolean) {
      values_[i].is_null = false;  // Boolean columns are never null
      continue;
    }
    values_[i].data = stored_[i].data();
    values_[i].size = stored_[i].size();
  }
  return values_;
}

encode::Bytes StoredLong(std::int32_t value) {
  encode::Bytes b(4);
  std::memcpy(b.data(), &value, 4);
  return b;
}

encode::Bytes StoredInteger(std::int16_t value) {
  encode::Bytes b(2);
  std::memcpy(b.data(), &value, 2);
  return b;
}

encode::Bytes StoredDouble(double value) {
  encode::Bytes b(8);
  std::memcpy(b.data(), &value, 8);
  return b;
}

encode::Bytes StoredText(const std::string& utf8, FormatVersion version, std::uint16_t code_page,
                         bool compressed_unicode, std::size_t max_bytes) {
  // Shorten by whole characters until the stored form fits the column.
  std::string text = utf8;
  for (;;) {
    encode::Bytes stored = version == FormatVersion::Jet4 ? encode::EncodeJet4Text(text, compressed_unicode)
                                                          : encode::EncodeCodePageText(text, code_page);
    const std::size_t counted =
        version == FormatVersion::Jet4 ? 2 * vondrel::unicode::Utf8ToUtf16(text).size() : stored.size();
    if (max_bytes == 0 || counted <= max_bytes || text.empty()) return stored;
    while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80) text.pop_back();
    if (!text.empty()) text.pop_back();
  }
}

void FillErrorRow(NamedRow& row, const Loss& loss, FormatVersion version, std::uint16_t code_page) {
  row.Set("ErrorCode", StoredLong(loss.code));
  row.Set("ErrorDescription", StoredText(loss.description, version, code_page, true, 0));
  if (loss.has_where) row.Set("ErrorRecid", StoredLong(static_cast<std::int32_t>(loss.where.ToRaw())));
  if (!loss.table.empty()) {
    const std::size_t limit = version == FormatVersion::Jet4 ? 2 * kTextCharacters : kTextCharacters;
    row.Set("ErrorTable", StoredText(loss.table, version, code_page, true, limit));
  }
}

}  // namespace jet::compact
