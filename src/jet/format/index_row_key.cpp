// Row keys: one key part per index column, by column type.

#include "jet/format/index_row_key.h"

#include <cstring>
#include <optional>

namespace jet {
namespace {

constexpr std::uint16_t kGeneralSortOrder = 1033;
constexpr std::uint8_t kGeneralLegacyVersion = 0;

std::optional<std::size_t> ColumnPosition(const TableDefinition& table, std::uint16_t number) {
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    if (table.columns[i].number == number) return i;
  }
  return std::nullopt;
}

KeyCoverage SizeMismatch(const ColumnDefinition& column, std::size_t size) {
  return KeyCoverage::NotCovered("column " + column.name + " holds " + std::to_string(size) +
                                 " bytes, not a " + ColumnTypeName(column.type) + " value");
}

KeyCoverage AppendColumn(const ColumnDefinition& column, const KeyField& field, bool ascending,
                         const KeyDatabaseSettings& settings, KeyBytes& key) {
  if (column.type == ColumnType::Boolean) {
    key::AppendBoolean(key, field.bool_value, ascending);
    return KeyCoverage::Covered();
  }
  if (field.is_null) {
    key::AppendNull(key, ascending);
    return KeyCoverage::Covered();
  }
  const auto bytes = field.bytes;
  switch (column.type) {
    case ColumnType::Byte:
      if (bytes.size() != 1) return SizeMismatch(column, bytes.size());
      key::AppendByte(key, bytes[0], ascending);
      return KeyCoverage::Covered();
    case ColumnType::Integer:
    case ColumnType::Long:
    case ColumnType::Currency: {
      const std::size_t width = column.type == ColumnType::Integer ? 2 : column.type == ColumnType::Long ? 4 : 8;
      if (bytes.size() != width) return SizeMismatch(column, bytes.size());
      key::AppendSignedInteger(key, bytes, ascending);
      return KeyCoverage::Covered();
    }
    case ColumnType::Single:
    case ColumnType::Double:
    case ColumnType::DateTime: {
      const std::size_t width = column.type == ColumnType::Single ? 4 : 8;
      if (bytes.size() != width) return SizeMismatch(column, bytes.size());
      key::AppendFloatingPoint(key, bytes, ascending);
      return KeyCoverage::Covered();
    }
    case ColumnType::Binary:
      key::AppendBinary(key, bytes, ascending);
      return KeyCoverage::Covered();
    case ColumnType::Guid:
      if (!key::AppendGuid(key, bytes, ascending)) return SizeMismatch(column, bytes.size());
      return KeyCoverage::Covered();
    case ColumnType::Numeric:
      if (!key::AppendNumeric(key, bytes, ascending)) return SizeMismatch(column, bytes.size());
      // Confirmed on Access-written keys of both signs in both directions.
      return KeyCoverage::Covered();
    case ColumnType::Text:
    case ColumnType::Memo: {
      const auto order = TextOrderFor(column, settings);
      if (!order) {
        return KeyCoverage::NotCovered("collation " + std::to_string(column.sort_order) + " version " +
                                       std::to_string(column.sort_order_version) + " of column " +
                                       column.name + " has no sort-code table");
      }
      if (*order == TextKeyOrder::kGeneral97) {
        key::AppendText97(key, bytes, ascending);
      } else {
        // Compressed text without a switch to two-byte units (a zero byte)
        // is its characters already, one byte each.
        const bool compressed = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
        if (compressed && std::memchr(bytes.data() + 2, 0, bytes.size() - 2) == nullptr) {
          key::AppendLatin1Text(key, bytes.subspan(2), ascending);
        } else {
          thread_local std::u16string units;  // reused: keys are computed for every row
          Jet4TextUnitsInto(bytes, units);
          key::AppendText(key, units, ascending);
        }
      }
      return KeyCoverage::Covered();
    }
    default:
      return KeyCoverage::NotCovered("column " + column.name + " of type " + ColumnTypeName(column.type) +
                                     " has no key encoding");
  }
}

}  // namespace

std::optional<TextKeyOrder> TextOrderFor(const ColumnDefinition& column, const KeyDatabaseSettings& settings) {
  const std::uint16_t sort_order = column.sort_order != 0 ? column.sort_order : settings.sort_order;
  if (sort_order != kGeneralSortOrder) return std::nullopt;
  if (settings.version == FormatVersion::Jet3) {
    // Jet 3 text is keyed by its code-page bytes; the table is for 1252.
    const std::uint16_t code_page = column.code_page != 0 ? column.code_page : settings.code_page;
    if (code_page != 1252) return std::nullopt;
    return TextKeyOrder::kGeneral97;
  }
  if (column.sort_order_version != kGeneralLegacyVersion) return std::nullopt;
  return TextKeyOrder::kGeneralLegacy;
}

KeyCoverage ComputeRowKey(const TableDefinition& table, const RealIndexDefinition& index,
                          std::span<const KeyField> fields, const KeyDatabaseSettings& settings,
                          KeyBytes& key) {
  KeyCoverage coverage;
  for (const IndexKeyColumn& slot : index.columns) {
    const auto position = ColumnPosition(table, slot.column_number);
    if (!position || *position >= fields.size()) {
      return KeyCoverage::NotCovered("index names column number " + std::to_string(slot.column_number) +
                                     ", which the table does not have");
    }
    KeyCoverage part = AppendColumn(table.columns[*position], fields[*position], slot.ascending, settings, key);
    if (!part.covered && coverage.covered) coverage = std::move(part);
  }
  return coverage;
}

bool AllKeyColumnsNull(const TableDefinition& table, const RealIndexDefinition& index,
                       std::span<const KeyField> fields) {
  for (const IndexKeyColumn& slot : index.columns) {
    const auto position = ColumnPosition(table, slot.column_number);
    if (!position || *position >= fields.size()) return false;
    const ColumnDefinition& column = table.columns[*position];
    if (column.type == ColumnType::Boolean || !fields[*position].is_null) return false;
  }
  return true;
}

std::u16string Jet4TextUnits(std::span<const std::uint8_t> stored) {
  std::u16string units;
  Jet4TextUnitsInto(stored, units);
  return units;
}

void Jet4TextUnitsInto(std::span<const std::uint8_t> stored, std::u16string& units) {
  units.clear();
  const bool compressed_form = stored.size() >= 2 && stored[0] == 0xFF && stored[1] == 0xFE;
  if (!compressed_form) {
    units.resize(stored.size() / 2);
    for (std::size_t k = 0; k < units.size(); ++k) {
      units[k] = static_cast<char16_t>(stored[2 * k] | (stored[2 * k + 1] << 8));
    }
    return;
  }
  // A zero byte switches between one-byte characters and two-byte units.
  // There are never more units than bytes: the buffer is sized once.
  units.resize(stored.size());
  char16_t* out = units.data();
  bool one_byte = true;
  for (std::size_t k = 2; k < stored.size();) {
    if (stored[k] == 0x00) {
      one_byte = !one_byte;
      ++k;
    } else if (one_byte) {
      *out++ = stored[k];
      ++k;
    } else if (k + 1 < stored.size()) {
      *out++ = static_cast<char16_t>(stored[k] | (stored[k + 1] << 8));
      k += 2;
    } else {
      break;
    }
  }
  units.resize(static_cast<std::size_t>(out - units.data()));
}

}  // namespace jet
