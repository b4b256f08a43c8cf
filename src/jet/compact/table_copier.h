#pragma once
// Copies the live rows of one source table into the table being written:
// in primary-key order where the table has a primary key whose keys the
// encoder vouches for, else in source order; table Ids in the catalog and the
// permissions table follow their tables.

#include <cstdint>
#include <functional>

#include "jet/compact/id_remap.h"
#include "jet/compact/source_keys.h"
#include "jet/database.h"
#include "jet/write/table_builder.h"

namespace jet::compact {

enum class IdColumnRole { None, CatalogId, AceObjectId };

struct CopyJob {
  const Database& source;
  const TableDefinition& source_table;  // as read (source pages)
  const TableDefinition& target_table;  // as declared in the destination
  IdColumnRole id_role = IdColumnRole::None;
  const IdRemap& remap;
  SourceKeyCache& source_keys;
  KeyDatabaseSettings key_settings;
};

// Discards the rows written so far and gives a fresh builder for the table.
using RestartRows = std::function<write::TableBuilder&()>;

// Returns the number of rows copied. With `restart`, a table with a primary
// key is copied in one pass when its rows are in key order already.
std::uint64_t CopyTableRows(const CopyJob& job, write::TableBuilder& builder, const RestartRows& restart = {});

}  // namespace jet::compact
