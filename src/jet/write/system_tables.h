#pragma once
// The four tables Jet puts into every database (MSysObjects, MSysACEs,
// MSysQueries, MSysRelationships) and the catalog Ids that every file shares.

#include <cstdint>
#include <string>

#include "jet/format/table_definition.h"

namespace jet::write {

inline constexpr std::int32_t kRootId = 0x0F000000;
inline constexpr std::int32_t kTablesContainerId = 0x0F000001;
inline constexpr std::int32_t kDatabasesContainerId = 0x0F000002;
inline constexpr std::int32_t kRelationshipsContainerId = 0x0F000003;
inline constexpr std::int32_t kMSysDbId = 0x10000000;
inline constexpr std::int32_t kEngineObjectFlags = static_cast<std::int32_t>(0x80000000u);

inline constexpr std::int16_t kObjectTypeTable = 1;
inline constexpr std::int16_t kObjectTypeDatabase = 2;
inline constexpr std::int16_t kObjectTypeContainer = 3;

// Column numbers of MSysObjects and MSysACEs.
namespace msys_objects {
inline constexpr std::uint16_t kId = 0, kParentId = 1, kName = 2, kType = 3, kDateCreate = 4, kDateUpdate = 5,
                               kOwner = 6, kFlags = 7;
}
namespace msys_aces {
inline constexpr std::uint16_t kObjectId = 0, kSid = 1, kAcm = 2, kInheritable = 3;
}

TableDefinition MSysObjectsDefinition(FormatVersion version, std::uint16_t code_page);
TableDefinition MSysACEsDefinition(FormatVersion version, std::uint16_t code_page);
TableDefinition MSysQueriesDefinition(FormatVersion version, std::uint16_t code_page);
TableDefinition MSysRelationshipsDefinition(FormatVersion version, std::uint16_t code_page);

}  // namespace jet::write
