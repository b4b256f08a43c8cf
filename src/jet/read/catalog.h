#pragma once
// The system catalog: one MSysObjects row per object (tables, queries,
// containers, relationships, Access documents).

#include <cstdint>
#include <string>

#include "jet/format/catalog_layout.h"
#include "jet/format/table_definition.h"

namespace jet {

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
