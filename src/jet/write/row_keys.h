#pragma once
// The index key of a row being written, from the writer's field values,
// computed by the engine's key encoder together with its verdict on whether
// the key can be vouched for.

#include <span>

#include "jet/format/index_row_key.h"
#include "jet/format/row_encode.h"
#include "jet/format/table_definition.h"

namespace jet::write {

struct RowKey {
  KeyBytes key;
  KeyCoverage coverage;
  bool all_null = false;  // every key column is null (left out of "ignore nulls" indexes)
};

// values[i] belongs to table.columns[i]; long values hold their full data.
RowKey ComputeRowKey(const TableDefinition& table, const RealIndexDefinition& index,
                     std::span<const encode::FieldValue> values, const KeyDatabaseSettings& settings);
// The same into `out`, whose key buffer is reused.
void ComputeRowKey(const TableDefinition& table, const RealIndexDefinition& index,
                   std::span<const encode::FieldValue> values, const KeyDatabaseSettings& settings, RowKey& out);

}  // namespace jet::write
