#pragma once
// Copies the live rows of one source table into the table being written:
// in primary-key order where the table has a primary key whose keys the
// encoder vouches for, else in source order; table Ids in the catalog and the
// permissions table follow their tables.

#include <cstdint>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "jet/compact/id_remap.h"
#include "jet/compact/loss_log.h"
#include "jet/compact/source_keys.h"
#include "jet/read/database.h"
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

  // Salvage. With a loss log, rows, values and pages that cannot be read are
  // recorded there and left out (a broken memo/OLE value becomes NULL, or
  // empty where a required index needs a value) instead of failing the copy.
  LossLog* losses = nullptr;
  std::string table_name;
  const std::vector<std::uint32_t>* pages = nullptr;  // the data pages to read, else the map's
  const std::set<RowPointer>* moved_rows = nullptr;  // read although marked deleted (ScanOptions)
  // Rows for which this returns false are left out on purpose (not a loss).
  std::function<bool(std::span<const StoredField>)> keep;
  // Vouch for every key of a row before it is written: a row whose key can
  // be neither computed nor taken from the source index, or that repeats the
  // key of a unique index, is left out and recorded. Without it, repeated
  // unique keys are only detected (as a loss) so that the caller can redo the
  // copy with checking on, and the copy ends at its first loss of any kind
  // (LossEndsCopy).
  bool check_keys = false;
  // Discards the rows written so far and returns the table's fresh builder.
  // Given only to a pass that does not check keys, where a copy can start
  // over without anything to undo (a loss there abandons the pass anyway).
  std::function<write::TableBuilder&()> restart;
  // Called with each data page the copy reads, before its rows (it may throw to end the copy).
  std::function<void(std::uint32_t page, const DataPage& data_page)> on_page;
};

// Thrown by a copy that does not check keys at its first loss, once it is
// logged: such a copy is redone with checking, so the rest would be wasted.
struct LossEndsCopy {};

// Returns the number of rows copied.
std::uint64_t CopyTableRows(const CopyJob& job, write::TableBuilder& builder);

}  // namespace jet::compact
