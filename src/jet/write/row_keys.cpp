#include "jet/write/row_keys.h"

#include <vector>

namespace jet::write {

void ComputeRowKey(const TableDefinition& table, const RealIndexDefinition& index,
                   std::span<const encode::FieldValue> values, const KeyDatabaseSettings& settings, RowKey& out) {
  thread_local std::vector<KeyField> fields;
  fields.resize(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    fields[i].is_null = values[i].is_null;
    fields[i].bool_value = values[i].boolean;
    fields[i].bytes = std::span<const std::uint8_t>(values[i].data, values[i].size);
  }
  out.key.clear();
  out.coverage = jet::ComputeRowKey(table, index, fields, settings, out.key);
  out.all_null = AllKeyColumnsNull(table, index, fields);
}

RowKey ComputeRowKey(const TableDefinition& table, const RealIndexDefinition& index,
                     std::span<const encode::FieldValue> values, const KeyDatabaseSettings& settings) {
  RowKey out;
  ComputeRowKey(table, index, values, settings, out);
  return out;
}

}  // namespace jet::write
