#pragma once
// The system catalog MSysObjects as every Jet 3 and Jet 4 file lays it out:
// its definition page, the object types and flags of its rows, and its
// columns and indexes (the same names, numbers, fixed offsets and variable
// slots in both versions). The writer builds the catalog it creates from this
// table, and the reader falls back on it when a file's own definition on page
// 2 was destroyed.
// Layout: docs/jet-format.md, section 11.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "jet/format/row_decode.h"
#include "jet/format/table_definition.h"

namespace jet {

inline constexpr std::uint32_t kCatalogTdefPage = 2;  // MSysObjects

// MSysObjects.Type.
namespace object_types {
inline constexpr std::int16_t kTable = 1;
inline constexpr std::int16_t kDatabase = 2;
inline constexpr std::int16_t kContainer = 3;
inline constexpr std::int16_t kLinkedOdbcTable = 4;
inline constexpr std::int16_t kQuery = 5;
inline constexpr std::int16_t kLinkedTable = 6;
inline constexpr std::int16_t kRelationship = 8;
}  // namespace object_types

// MSysObjects.Flags.
namespace object_flags {
inline constexpr std::uint32_t kEngineSystem = 0x80000000u;
inline constexpr std::uint32_t kAccessSystem = 0x00000002u;
inline constexpr std::uint32_t kHidden = 0x00000008u;
}  // namespace object_flags

// Column flags the engine gives the columns of its own system tables.
namespace system_column_flags {
inline constexpr std::uint8_t kFixed = column_flags::kFixed | column_flags::kUpdatable | column_flags::kSystem;
inline constexpr std::uint8_t kVariable = column_flags::kUpdatable | column_flags::kSystem;
inline constexpr std::uint8_t kSid = column_flags::kUpdatable | column_flags::kSystem | column_flags::kSid;
}  // namespace system_column_flags

// One column of an engine system table.
struct SystemColumnLayout {
  const char* name;
  ColumnType type;
  std::uint16_t number;
  std::uint16_t var_index;
  std::uint8_t flags;  // system_column_flags
  std::uint16_t fixed_offset;
  std::uint16_t length;  // text and binary: Jet 4 bytes, halved in Jet 3
};

// One index of an engine system table: a logical index over the real index
// of the same number.
struct SystemIndexLayout {
  const char* name;
  std::int32_t number;
  LogicalIndexType type;
  std::uint8_t jet3_flags;  // real index flags; Jet 4 adds 0x80
  std::span<const std::uint16_t> key_columns;  // ascending
};

// Column numbers of MSysObjects.
namespace msys_objects {
inline constexpr std::uint16_t kId = 0, kParentId = 1, kName = 2, kType = 3, kDateCreate = 4, kDateUpdate = 5,
                               kOwner = 6, kFlags = 7;
}

// MSysObjects' columns in number order.
std::span<const SystemColumnLayout> CatalogColumns();
// MSysObjects' indexes in number order. Files store the logical index
// descriptors in name order ("Id" before "ParentIdName").
std::span<const SystemIndexLayout> CatalogIndexes();

// The descriptor of a system table column in a file of this version.
ColumnDefinition SystemColumnDefinition(const SystemColumnLayout& layout, FormatVersion version,
                                        std::uint16_t code_page);

// MSysObjects' definition on page 2, for reading a catalog whose own
// definition was destroyed: its rows are then found on the data pages that
// page 2 owns. Indexes are rebuilt from the rows, so only their keys matter.
TableDefinition StandardCatalogDefinition(FormatVersion version, std::uint16_t code_page);

// Why a catalog definition read from a file cannot be used to read its
// rows, or nothing when it can: the columns every object row is read by (Id,
// ParentId, Name, Type, the dates, Owner and Flags) must be there, with the
// type and place (fixed offset or variable slot) of the standard layout.
std::optional<std::string> CatalogDefinitionFault(const TableDefinition& definition);

// Why a decoded row of the catalog `catalog` cannot be an object the engine
// wrote, or nothing: every object has its Id, ParentId, Name and Type, so a
// row without one of them is bytes of something else that read as a row.
std::optional<std::string> CatalogRowFault(const TableDefinition& catalog, std::span<const StoredField> fields);

}  // namespace jet
