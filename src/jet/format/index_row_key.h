#pragma once
// The key of one row in one real index, computed from the row's stored
// field bytes and the table definition, with a verdict on whether the
// encoder can vouch for it (known type, known collation).
// Layout: docs/jet-format.md, section 10.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "jet/format/index_key.h"
#include "jet/format/index_page.h"
#include "jet/format/table_definition.h"

namespace jet {

// What a key needs to know of one field of a row.
struct KeyField {
  bool is_null = true;
  bool bool_value = false;              // Boolean columns
  std::span<const std::uint8_t> bytes;  // stored bytes; memo values fully assembled
};

// Database-wide settings that column definitions may defer to.
struct KeyDatabaseSettings {
  FormatVersion version = FormatVersion::Jet4;
  std::uint16_t sort_order = 1033;  // default collation LCID
  std::uint16_t code_page = 1252;   // Jet 3 text encoding
};

// The collation for a text column, or nothing when our tables do not cover it.
std::optional<TextKeyOrder> TextOrderFor(const ColumnDefinition& column, const KeyDatabaseSettings& settings);

// Appends the key of a row to `key`. `fields` are in the order of
// table.columns. Returns not covered (the key bytes then are incomplete or a
// best effort and must not be trusted) for unknown columns, types without a
// confirmed encoding, collations without tables, and malformed values.
KeyCoverage ComputeRowKey(const TableDefinition& table, const RealIndexDefinition& index,
                          std::span<const KeyField> fields, const KeyDatabaseSettings& settings,
                          KeyBytes& key);

// True when every key column of the row is null (ignore-nulls indexes leave
// such rows out).
bool AllKeyColumnsNull(const TableDefinition& table, const RealIndexDefinition& index,
                       std::span<const KeyField> fields);

// Jet 4 stored text (plain UTF-16LE, or compressed after FF FE) as code units.
std::u16string Jet4TextUnits(std::span<const std::uint8_t> stored);
// The same into `units`, whose buffer is reused.
void Jet4TextUnitsInto(std::span<const std::uint8_t> stored, std::u16string& units);

// The page layout of this format version.
inline IndexPageLayout IndexLayoutFor(FormatVersion version) {
  return version == FormatVersion::Jet3 ? IndexPageLayout::Jet3() : IndexPageLayout::Jet4();
}

}  // namespace jet
