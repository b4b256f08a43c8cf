#pragma once
// The index key of a row, computed from its stored field values with the
// engine's key encoder. Keys that the encoder cannot vouch for (a collation
// other than the two the encoder knows) are reported as not covered.

#include <span>
#include <string>

#include "jet/format/index_key.h"
#include "jet/format/row_encode.h"
#include "jet/format/table_definition.h"

namespace jet::write {

struct RowKey {
  KeyBytes key;
  KeyCoverage coverage;
  bool all_null = true;  // every key column is null (omitted by "ignore nulls" indexes)
};

// values[i] belongs to table.columns[i]; long values hold their full data.
RowKey ComputeRowKey(const TableDefinition& table, const RealIndexDefinition& index,
                     std::span<const encode::FieldValue> values);

// UTF-16 code units of a stored Jet 4 text value (compressed or plain).
std::u16string DecodeJet4Text(const std::uint8_t* data, std::size_t size);

}  // namespace jet::write
