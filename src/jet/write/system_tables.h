#pragma once
// The four tables Jet puts into every database (MSysObjects, MSysACEs,
// MSysQueries, MSysRelationships) and the catalog Ids that every file shares.

#include <cstdint>
#include <string>

#include "jet/format/catalog_layout.h"
#include "jet/format/table_definition.h"

namespace jet::write {

inline constexpr std::int32_t kRootId = 0x0F000000;
inline constexpr std::int32_t kTablesContainerId = 0x0F000001;
inline constexpr std::int32_t kDatabasesContainerId = 0x0F000002;
inline constexpr std::int32_t kRelationshipsContainerId = 0x0F000003;
inline constexpr std::int32_t kMSysDbId = 0x10000000;

// Column numbers of MSysACEs (those of MSysObjects are in the catalog layout).
namespace msys_aces {
inline constexpr std::uint16_t kObjectId = 0, kSid = 1, kAcm = 2, kInheritable = 3;
}

TableDefinition MSysObjectsDefinition(FormatVersion version, std::uint16_t code_page);
TableDefinition MSysACEsDefinition(FormatVersion version, std::uint16_t code_page);
TableDefinition MSysQueriesDefinition(FormatVersion version, std::uint16_t code_page);
TableDefinition MSysRelationshipsDefinition(FormatVersion version, std::uint16_t code_page);

}  // namespace jet::write
