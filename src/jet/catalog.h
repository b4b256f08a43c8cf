#pragma once
// The system catalog: one MSysObjects row per object (tables, queries,
// containers, relationships, Access documents).

#include <cstdint>
#include <string>

#include "jet/format/table_definition.h"

namespace jet {

inline constexpr std::uint32_t kCatalogTdefPage = 2;  // MSysObjects

namespace object_types {
inline constexpr std::int16_t kTable = 1;
inline constexpr std::int16_t kDatabase = 2;
inline constexpr std::int16_t kContainer = 3;
inline constexpr std::int16_t kLinkedOdbcTable = 4;
inline constexpr std::int16_t kQuery = 5;
inline constexpr std::int16_t kLinkedTable = 6;
inline constexpr std::int16_t kRelationship = 8;
}  // namespace object_types

namespace object_flags {
inline constexpr std::uint32_t kEngineSystem = 0x80000000u;
inline constexpr std::uint32_t kAccessSystem = 0x00000002u;
inline constexpr std::uint32_t kHidden = 0x00000008u;
}  // namespace object_flags

struct CatalogEntry {
  std::int32_t id = 0;
  std::int32_t parent_id = 0;
  std::string name;  // UTF-8
  std::int16_t type = 0;
  std::uint32_t flags = 0;
  double date_create = 0;
  double date_update = 0;
  RowPointer row;  // where the MSysObjects row is stored

  bool IsTable() const { return type == object_types::kTable; }
  // A local table's definition page: the Id's low 24 bits.
  std::uint32_t TdefPage() const { return static_cast<std::uint32_t>(id) & 0x00FFFFFFu; }
  bool IsSystemObject() const {
    return (flags & (object_flags::kEngineSystem | object_flags::kAccessSystem)) != 0;
  }
};

}  // namespace jet
