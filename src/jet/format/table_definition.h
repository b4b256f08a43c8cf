#pragma once
// The engine's model of a table definition (TDEF): every field a Jet 3 or
// Jet 4 file stores for a table, its columns and its indexes, so a table can
// be read through it and written back from it. Names are UTF-8.
// Layout: docs/jet-format.md, section 6.

#include <cstdint>
#include <string>
#include <vector>

#include "jet/format/format_constants.h"

namespace jet {

// Stored type code of a column (byte 0 of its descriptor). Codes not listed
// are kept as their raw value.
enum class ColumnType : std::uint8_t {
  Boolean = 0x01,
  Byte = 0x02,
  Integer = 0x03,
  Long = 0x04,
  Currency = 0x05,
  Single = 0x06,
  Double = 0x07,
  DateTime = 0x08,
  Binary = 0x09,
  Text = 0x0A,
  OLE = 0x0B,
  Memo = 0x0C,
  Unknown0D = 0x0D,
  Guid = 0x0F,
  Numeric = 0x10,
  FixedBinary = 0x11,  // Jet 4 MSysAccessObjects.Data (3992 bytes)
  Complex = 0x12,      // ACE only
  BigInt = 0x13,       // ACE only
  ExtendedDateTime = 0x14,  // ACE only
};

// Long values (memo, OLE) store a 12-byte header in the row and the data
// inline or on LVAL pages.
inline bool IsLongValueType(ColumnType type) { return type == ColumnType::OLE || type == ColumnType::Memo; }
inline bool IsTextType(ColumnType type) { return type == ColumnType::Text || type == ColumnType::Memo; }
// A short readable name, e.g. "Long", "Text"; "Type 0x1E" for unknown codes.
std::string ColumnTypeName(ColumnType type);

// A row's address: 3-byte page number and 1-byte row number. On disk as a
// little-endian uint32: row in the low byte, page in the upper 24 bits.
struct RowPointer {
  std::uint32_t page = 0;
  std::uint8_t row = 0;

  static RowPointer FromRaw(std::uint32_t raw) { return {raw >> 8, static_cast<std::uint8_t>(raw & 0xFF)}; }
  std::uint32_t ToRaw() const { return (page << 8) | row; }
  bool IsNull() const { return page == 0 && row == 0; }
  friend bool operator==(const RowPointer&, const RowPointer&) = default;
  friend auto operator<=>(const RowPointer&, const RowPointer&) = default;
};

// Column flag bits.
namespace column_flags {
inline constexpr std::uint8_t kFixed = 0x01;
inline constexpr std::uint8_t kUpdatable = 0x02;
inline constexpr std::uint8_t kAutoNumber = 0x04;
inline constexpr std::uint8_t kSystem = 0x10;
inline constexpr std::uint8_t kSid = 0x20;
inline constexpr std::uint8_t kAutoGuid = 0x40;
inline constexpr std::uint8_t kHyperlink = 0x80;
}  // namespace column_flags
namespace column_ext_flags {
inline constexpr std::uint8_t kCompressedUnicode = 0x01;
inline constexpr std::uint8_t kCalculated = 0xC0;
}  // namespace column_ext_flags

struct ColumnDefinition {
  ColumnType type = ColumnType::Long;
  std::uint16_t number = 0;         // column number (gaps after deletions)
  std::uint16_t var_index = 0;      // variable-length slot (fixed columns: var columns before it)
  std::uint16_t second_number = 0;  // J3 5-6 / J4 9-10 (0 in system tables, number in user tables)
  std::uint16_t jet3_unknown = 0;   // J3 7-8 (0x0001 or 0)
  std::uint16_t sort_order = 0;     // LCID of the column's collation (1033 "General")
  std::uint16_t code_page = 0;      // J3 only
  std::uint8_t precision = 0;       // J4 Numeric only
  std::uint8_t scale = 0;           // J4 Numeric only
  std::uint8_t jet4_unknown13 = 0;  // J4 byte 13
  std::uint8_t sort_order_version = 0;  // J4 byte 14 (0 = General legacy)
  std::uint8_t flags = 0;           // column_flags
  std::uint8_t ext_flags = 0;       // J4 only; column_ext_flags
  std::uint32_t jet4_unknown17 = 0; // J4 17-20
  std::uint16_t fixed_offset = 0;   // offset in the fixed area (fixed columns)
  std::uint16_t length = 0;         // bytes (0 for memo/OLE; J4 text 2 x characters)
  std::string name;

  bool IsFixed() const { return (flags & column_flags::kFixed) != 0; }
  bool IsAutoNumber() const { return (flags & column_flags::kAutoNumber) != 0; }
  bool IsCompressedUnicode() const { return (ext_flags & column_ext_flags::kCompressedUnicode) != 0; }
  // Boolean columns live in the null mask only.
  bool HasNoData() const { return type == ColumnType::Boolean; }
};

// Real (physical) index flag bits.
namespace index_flags {
inline constexpr std::uint8_t kUnique = 0x01;
inline constexpr std::uint8_t kIgnoreNulls = 0x02;
inline constexpr std::uint8_t kRequired = 0x08;
}  // namespace index_flags

struct IndexKeyColumn {
  std::uint16_t column_number = 0;
  bool ascending = true;  // stored order byte 0x01 ascending, 0x00 descending
};

struct RealIndexDefinition {
  std::uint32_t number = 0;           // position among the table's real indexes
  std::vector<IndexKeyColumn> columns;  // used key slots in slot order (at most 10)
  RowPointer usage_map;               // the index's page map
  std::uint32_t root_page = 0;
  std::uint8_t flags = 0;             // index_flags; Access adds 0x80 in J4
  std::uint32_t jet4_unknown42 = 0;   // J4 42-45 (garbage in Access files)
  // Statistics block at the start of the TDEF body.
  std::uint32_t stats_rows = 0;           // bytes 0-3 (a row count or 0)
  std::uint32_t stats_distinct_keys = 0;  // bytes 4-7
  std::uint32_t stats_jet4_extra = 0;     // J4 bytes 8-11

  bool IsUnique() const { return (flags & index_flags::kUnique) != 0; }
  bool IgnoresNulls() const { return (flags & index_flags::kIgnoreNulls) != 0; }
  bool IsRequired() const { return (flags & index_flags::kRequired) != 0; }
};

enum class LogicalIndexType : std::uint8_t { Normal = 0, PrimaryKey = 1, ForeignKey = 2 };

struct LogicalIndexDefinition {
  std::int32_t number = 0;            // logical index number (gaps allowed)
  std::int32_t real_index = 0;        // real index it uses
  std::uint8_t related_side = 0;      // 1 referenced (primary) side, 2 referencing side, 0 none
  std::int32_t related_index = -1;    // related logical index number, -1 = none
  std::uint32_t related_table_page = 0;  // related table's TDEF page
  std::uint8_t cascade_update = 0;    // 0x01 cascade updates (Access writes 0x04 on non-FK indexes)
  std::uint8_t cascade_delete = 0;    // 0x01 delete, 0x02 set null
  LogicalIndexType type = LogicalIndexType::Normal;
  std::uint32_t jet4_unknown24 = 0;   // J4 24-27
  std::string name;
};

// One entry of the trailer listing the page maps of each memo/OLE column.
struct LongValueColumnMaps {
  std::uint16_t column_number = 0;
  RowPointer owned_map;
  RowPointer free_map;
};

inline constexpr std::uint8_t kTableTypeSystem = 0x53;  // 'S': engine system table
inline constexpr std::uint8_t kTableTypeNormal = 0x4E;  // 'N': every other table

struct TableDefinition {
  FormatVersion version = FormatVersion::Jet4;
  std::uint32_t tdef_page = 0;           // first TDEF page (= the table's MSysObjects Id)
  std::vector<std::uint32_t> pages;      // TDEF pages in stream order (first page first)
  std::uint32_t tdef_length = 0;         // bytes of the definition stream
  std::uint32_t row_count = 0;           // live rows as recorded (may be stale)
  std::uint32_t autonumber = 0;          // last AutoNumber value issued
  std::uint8_t jet4_autonumber_flag = 1; // J4 byte 24, always 1
  std::uint8_t table_type = kTableTypeNormal;
  std::uint16_t max_columns = 0;         // highest column number + 1 (deleted included)
  std::uint16_t var_slots = 0;           // highest var index + 1 (deleted included)
  std::uint16_t column_count = 0;        // live columns as stored
  std::uint32_t logical_index_count = 0;
  std::uint32_t real_index_count = 0;
  RowPointer owned_map;                  // data pages of this table
  RowPointer free_map;                   // data pages with room
  std::vector<ColumnDefinition> columns;  // sorted by column number
  // Column numbers in the order the descriptors were stored: Jet 4 stores a
  // system table's columns by name, otherwise they go by number. A
  // definition written again keeps the stored order. Empty: number order.
  std::vector<std::uint16_t> stored_column_order;
  std::vector<RealIndexDefinition> real_indexes;     // in stored order (= real index number)
  std::vector<LogicalIndexDefinition> logical_indexes;  // in stored order
  std::vector<LongValueColumnMaps> long_value_maps;

  // Size of the fixed area of rows: largest fixed offset + length over fixed
  // non-Boolean columns.
  std::size_t FixedAreaSize() const;
  // The column with this number, or null.
  const ColumnDefinition* FindColumn(std::uint16_t number) const;
  // The column with this name (case-insensitive ASCII), or null.
  const ColumnDefinition* FindColumn(const std::string& name) const;
  bool IsSystemTable() const { return table_type == kTableTypeSystem; }
};

}  // namespace jet
