#include "jet/write/row_keys.h"

namespace jet::write {
namespace {

constexpr std::uint16_t kGeneralSortOrder = 1033;

bool TextOrderCovered(const TableDefinition& table, const ColumnDefinition& column, std::string& why) {
  // A column written without a collation uses the database's own.
  const bool general = column.sort_order == kGeneralSortOrder || column.sort_order == 0;
  if (!general) {
    why = "column " + column.name + " uses sort order " + std::to_string(column.sort_order);
    return false;
  }
  if (table.version == FormatVersion::Jet4 && column.sort_order_version != 0) {
    why = "column " + column.name + " uses a newer sort-order version";
    return false;
  }
  if (table.version == FormatVersion::Jet3 && column.code_page != 0 && column.code_page != 1252) {
    why = "column " + column.name + " uses code page " + std::to_string(column.code_page);
    return false;
  }
  return true;
}

}  // namespace

std::u16string DecodeJet4Text(const std::uint8_t* data, std::size_t size) {
  std::u16string out;
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    bool compressed = true;
    std::size_t i = 2;
    while (i < size) {
      if (data[i] == 0x00) {
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        out.push_back(data[i++]);
      } else {
        if (i + 1 >= size) break;
        out.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
        i += 2;
      }
    }
    return out;
  }
  out.reserve(size / 2);
  for (std::size_t i = 0; i + 1 < size; i += 2) out.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  return out;
}

RowKey ComputeRowKey(const TableDefinition& table, const RealIndexDefinition& index,
                     std::span<const encode::FieldValue> values) {
  RowKey result;
  for (const IndexKeyColumn& key_column : index.columns) {
    std::size_t position = table.columns.size();
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
      if (table.columns[i].number == key_column.column_number) position = i;
    }
    if (position == table.columns.size()) {
      result.coverage = KeyCoverage::NotCovered("index names a missing column");
      return result;
    }
    const ColumnDefinition& column = table.columns[position];
    const encode::FieldValue& value = values[position];
    const bool asc = key_column.ascending;
    if (column.type == ColumnType::Boolean) {
      key::AppendBoolean(result.key, value.boolean, asc);
      result.all_null = false;
      continue;
    }
    if (value.is_null) {
      key::AppendNull(result.key, asc);
      continue;
    }
    result.all_null = false;
    const std::span<const std::uint8_t> bytes(value.data, value.size);
    std::string why;
    switch (column.type) {
      case ColumnType::Byte:
        if (value.size < 1) return result.coverage = KeyCoverage::NotCovered("short Byte value"), result;
        key::AppendByte(result.key, value.data[0], asc);
        break;
      case ColumnType::Integer:
      case ColumnType::Long:
      case ColumnType::Currency:
        key::AppendSignedInteger(result.key, bytes, asc);
        break;
      case ColumnType::Single:
      case ColumnType::Double:
      case ColumnType::DateTime:
        key::AppendFloatingPoint(result.key, bytes, asc);
        break;
      case ColumnType::Binary:
      case ColumnType::FixedBinary:
      case ColumnType::OLE:
        key::AppendBinary(result.key, bytes, asc);
        break;
      case ColumnType::Guid:
        if (!key::AppendGuid(result.key, bytes, asc)) return result.coverage = KeyCoverage::NotCovered("bad GUID"), result;
        break;
      case ColumnType::Numeric:
        if (!key::AppendNumeric(result.key, bytes, asc)) return result.coverage = KeyCoverage::NotCovered("bad Decimal"), result;
        break;
      case ColumnType::Text:
      case ColumnType::Memo:
        if (!TextOrderCovered(table, column, why)) {
          result.coverage = KeyCoverage::NotCovered(why);
          return result;
        }
        if (table.version == FormatVersion::Jet4) {
          key::AppendText(result.key, DecodeJet4Text(value.data, value.size), asc);
        } else {
          key::AppendText97(result.key, bytes, asc);
        }
        break;
      default:
        result.coverage = KeyCoverage::NotCovered("column " + column.name + " has a type the key encoder does not know");
        return result;
    }
  }
  return result;
}

}  // namespace jet::write
