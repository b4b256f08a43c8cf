#include "jet/format/table_definition.h"

#include <algorithm>
#include <cctype>

namespace jet {

std::string ColumnTypeName(ColumnType type) {
  switch (type) {
    case ColumnType::Boolean: return "Boolean";
    case ColumnType::Byte: return "Byte";
    case ColumnType::Integer: return "Integer";
    case ColumnType::Long: return "Long";
    case ColumnType::Currency: return "Currency";
    case ColumnType::Single: return "Single";
    case ColumnType::Double: return "Double";
    case ColumnType::DateTime: return "DateTime";
    case ColumnType::Binary: return "Binary";
    case ColumnType::Text: return "Text";
    case ColumnType::OLE: return "OLE";
    case ColumnType::Memo: return "Memo";
    case ColumnType::Guid: return "GUID";
    case ColumnType::Numeric: return "Numeric";
    case ColumnType::FixedBinary: return "FixedBinary";
    case ColumnType::Complex: return "Complex";
    case ColumnType::BigInt: return "BigInt";
    case ColumnType::ExtendedDateTime: return "ExtendedDateTime";
    default: break;
  }
  static const char* const kHex = "0123456789ABCDEF";
  auto code = static_cast<unsigned>(type);
  return std::string("Type 0x") + kHex[code >> 4] + kHex[code & 15];
}

std::size_t TableDefinition::FixedAreaSize() const {
  std::size_t size = 0;
  for (const auto& column : columns) {
    if (!column.IsFixed() || column.HasNoData()) continue;
    size = std::max<std::size_t>(size, std::size_t{column.fixed_offset} + column.length);
  }
  return size;
}

const ColumnDefinition* TableDefinition::FindColumn(std::uint16_t number) const {
  for (const auto& column : columns)
    if (column.number == number) return &column;
  return nullptr;
}

const ColumnDefinition* TableDefinition::FindColumn(const std::string& name) const {
  auto equal = [&](const std::string& other) {
    return other.size() == name.size() &&
           std::equal(other.begin(), other.end(), name.begin(), [](unsigned char a, unsigned char b) {
             return std::tolower(a) == std::tolower(b);
           });
  };
  for (const auto& column : columns)
    if (equal(column.name)) return &column;
  return nullptr;
}

}  // namespace jet
