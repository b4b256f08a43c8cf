#include "jet/compact/table_copier.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "jet/format/row_layout.h"
#include "jet/write/row_keys.h"

namespace jet::compact {
namespace {

// Converts one decoded source row to the values the writer takes, applying
// the Id remapping to the catalog's and the permissions' Id column.
class RowConverter {
 public:
  explicit RowConverter(const CopyJob& job) : job_(job) {
    const std::uint16_t id_column = 0;  // MSysObjects.Id and MSysACEs.ObjectId are column 0
    if (job.id_role != IdColumnRole::None) {
      for (std::size_t i = 0; i < job.target_table.columns.size(); ++i) {
        const ColumnDefinition& c = job.target_table.columns[i];
        if (c.number == id_column && c.type == ColumnType::Long) id_position_ = i;
      }
    }
  }

  std::span<const encode::FieldValue> Convert(std::span<const StoredField> fields) {
    values_.resize(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
      encode::FieldValue& v = values_[i];
      v.is_null = fields[i].is_null;
      v.boolean = fields[i].bool_value;
      v.data = fields[i].bytes.data();
      v.size = fields[i].bytes.size();
    }
    if (id_position_ < values_.size() && !values_[id_position_].is_null && values_[id_position_].size == 4) {
      std::int32_t id;
      std::memcpy(&id, values_[id_position_].data, 4);
      id = job_.remap.Id(id);
      std::memcpy(id_bytes_, &id, 4);
      values_[id_position_].data = id_bytes_;
    }
    return values_;
  }

 private:
  const CopyJob& job_;
  std::size_t id_position_ = ~std::size_t{0};
  std::vector<encode::FieldValue> values_;
  std::uint8_t id_bytes_[4] = {};
};

const RealIndexDefinition* PrimaryKey(const TableDefinition& table) {
  for (const LogicalIndexDefinition& logical : table.logical_indexes) {
    if (logical.type != LogicalIndexType::PrimaryKey) continue;
    for (const RealIndexDefinition& real : table.real_indexes) {
      if (static_cast<std::int32_t>(real.number) == logical.real_index) return &real;
    }
  }
  return nullptr;
}

bool UsesLongValues(const TableDefinition& table, const RealIndexDefinition& index) {
  for (const IndexKeyColumn& k : index.columns) {
    const ColumnDefinition* c = table.FindColumn(k.column_number);
    if (c && IsLongValueType(c->type)) return true;
  }
  return false;
}

}  // namespace

std::uint64_t CopyTableRows(const CopyJob& job, write::TableBuilder& first_builder, const RestartRows& restart) {
  RowConverter converter(job);
  RowPointer current_source;
  const write::KeyFallback fallback = [&](std::size_t real_index, const write::RowKey&) {
    return job.source_keys.Find(job.source_table, real_index, current_source);
  };
  write::TableBuilder* builder = &first_builder;
  std::uint64_t copied = 0;
  auto add = [&](std::span<const StoredField> fields, RowPointer listed_at) {
    current_source = listed_at;
    builder->AddRow(converter.Convert(fields), fallback);
    ++copied;
  };

  // Primary-key order: collect each row's key and place, sort, and read the
  // rows again in that order when it differs from the source's.
  const RealIndexDefinition* primary = PrimaryKey(job.target_table);
  if (primary) {
    struct Keyed {
      KeyBytes key;
      RowPointer pointer;    // the row's bytes
      RowPointer listed_at;  // the slot indexes name
      std::size_t order;
    };
    std::vector<Keyed> keyed;
    bool covered = true;
    // Most tables are stored in key order already. With a way to start the
    // table over, rows are copied while that holds, and the table starts
    // over only when a row is out of order; otherwise the order is checked
    // first without keeping keys. Keys are collected only when it differs.
    bool in_source_order = true;
    KeyBytes previous;
    ScanOptions scan;
    scan.assemble_long_values = UsesLongValues(job.target_table, *primary);
    if (restart) {
      write::RowKey key;
      job.source.ScanRows(job.source_table, [&](const Row& row) {
        const std::span<const encode::FieldValue> values = converter.Convert(row.fields);
        write::ComputeRowKey(job.target_table, *primary, values, job.key_settings, key);
        if (!key.coverage.covered) {
          covered = false;
          return false;
        }
        if (!previous.empty() && CompareKeys(previous, key.key) > 0) {
          in_source_order = false;
          return false;
        }
        previous.swap(key.key);
        current_source = row.listed_at;
        builder->AddRow(values, fallback);
        ++copied;
        return true;
      });
      if (covered && in_source_order) return copied;
      builder = &restart();
      copied = 0;
    } else {
      job.source.ScanRows(
          job.source_table,
          [&](const Row& row) {
            write::RowKey key = write::ComputeRowKey(job.target_table, *primary, converter.Convert(row.fields), job.key_settings);
            if (!key.coverage.covered) {
              covered = false;
              return false;
            }
            if (!previous.empty() && CompareKeys(previous, key.key) > 0) {
              in_source_order = false;
              return false;
            }
            previous = std::move(key.key);
            return true;
          },
          scan);
    }
    if (covered && !in_source_order) {
      job.source.ScanRows(
          job.source_table,
          [&](const Row& row) {
            write::RowKey key = write::ComputeRowKey(job.target_table, *primary, converter.Convert(row.fields), job.key_settings);
            if (!key.coverage.covered) {
              covered = false;
              return false;
            }
            keyed.push_back({std::move(key.key), row.pointer, row.listed_at, keyed.size()});
            return true;
          },
          scan);
    }
    if (covered && !in_source_order) {
      std::stable_sort(keyed.begin(), keyed.end(),
                       [](const Keyed& a, const Keyed& b) { return CompareKeys(a.key, b.key) < 0; });
      bool in_order = true;
      for (std::size_t i = 0; i < keyed.size(); ++i) in_order = in_order && keyed[i].order == i;
      if (!in_order) {
        RowStructure structure;
        std::vector<StoredField> fields;
        std::vector<std::vector<std::uint8_t>> long_values(job.source_table.columns.size());
        for (Keyed& k : keyed) {
          k.key.clear();
          k.key.shrink_to_fit();
          const io::ByteView bytes = job.source.RowBytes(k.pointer);
          DecodeRow(bytes, job.source_table, structure, fields);
          for (std::size_t c = 0; c < fields.size(); ++c) {
            StoredField& field = fields[c];
            if (field.is_null || !IsLongValueType(job.source_table.columns[c].type)) continue;
            job.source.ReadLongValue(field.bytes, long_values[c]);
            field.bytes = io::ByteView(long_values[c].data(), long_values[c].size(), field.bytes.source());
          }
          add(fields, k.listed_at);
        }
        return copied;
      }
    }
  }

  job.source.ScanRows(job.source_table, [&](const Row& row) {
    add(row.fields, row.listed_at);
    return true;
  });
  return copied;
}

}  // namespace jet::compact
