#include "jet/compact/table_copier.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <optional>
#include <string_view>
#include <unordered_set>

#include "base/error.h"
#include "jet/format/row_layout.h"
#include "jet/format/row_mend.h"
#include "jet/io/error_numbers.h"
#include "jet/io/write_failure.h"
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
        if (job.id_role == IdColumnRole::CatalogId && c.name == "Type" && c.type == ColumnType::Integer)
          type_position_ = i;
      }
    }
    // A column of a required index must not become NULL when its value is lost.
    required_.assign(job.target_table.columns.size(), false);
    for (const RealIndexDefinition& index : job.target_table.real_indexes) {
      if (!index.IsRequired()) continue;
      for (const IndexKeyColumn& k : index.columns) {
        for (std::size_t i = 0; i < job.target_table.columns.size(); ++i)
          if (job.target_table.columns[i].number == k.column_number) required_[i] = true;
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
      if (fields[i].damaged && required_[i]) {
        v.is_null = false;
        static const std::uint8_t kNothing = 0;
        v.data = &kNothing;
        v.size = 0;
      }
    }
    if (id_position_ < values_.size() && !values_[id_position_].is_null && values_[id_position_].size == 4) {
      std::int32_t id;
      std::memcpy(&id, values_[id_position_].data, 4);
      id = IsTableRow() ? TableId(id) : job_.remap.Id(id);
      std::memcpy(id_bytes_, &id, 4);
      values_[id_position_].data = id_bytes_;
    }
    return values_;
  }

 private:
  bool IsTableRow() const {
    if (type_position_ >= values_.size() || values_[type_position_].is_null || values_[type_position_].size != 2)
      return false;
    std::int16_t type;
    std::memcpy(&type, values_[type_position_].data, 2);
    return type == object_types::kTable;
  }

  // A table's Id is its definition page, which the compaction reads from the
  // Id's low 24 bits; high bits on a table row can only be damage, so the
  // row gets the new page of the table it was read as.
  std::int32_t TableId(std::int32_t old_id) const {
    const std::uint32_t page = static_cast<std::uint32_t>(old_id) & 0x00FFFFFFu;
    return job_.remap.IsTable(page) ? static_cast<std::int32_t>(job_.remap.Page(page)) : job_.remap.Id(old_id);
  }

  const CopyJob& job_;
  std::size_t id_position_ = ~std::size_t{0};
  std::size_t type_position_ = ~std::size_t{0};
  std::vector<bool> required_;
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


std::uint64_t HashKey(const KeyBytes& key) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (std::uint8_t b : key) h = (h ^ b) * 1099511628211ull;
  return h ^ key.size();
}

std::string Place(RowPointer at) {
  return "page " + std::to_string(at.page) + ", row " + std::to_string(at.row);
}

// Decides whether a converted row may be written: with checking on, every
// key must be vouched for and unique keys must not repeat; without it,
// unique keys are only remembered by hash so that a repeat can be detected.
class RowGate {
 public:
  RowGate(const CopyJob& job, const write::KeyFallback& fallback) : job_(job), fallback_(fallback) {
    const auto& indexes = job.target_table.real_indexes;
    exact_.resize(indexes.size());
    hashes_.resize(indexes.size());
    vouched_.assign(indexes.size(), false);
    Update();
  }

  // Index r has been seen to hold no key twice (the primary key, by the
  // ordering pass), so a pass without checking need not watch it.
  void Vouched(std::size_t r) {
    vouched_.at(r) = true;
    Update();
  }

  // Empty when the row may be written, else why not.
  std::string Admit(std::span<const encode::FieldValue> values, std::uint64_t row_tag) {
    if (!active_ || !job_.losses) return {};
    const auto& indexes = job_.target_table.real_indexes;
    pending_.clear();
    for (std::size_t r = 0; r < indexes.size(); ++r) {
      const RealIndexDefinition& index = indexes[r];
      if (!job_.check_keys && (!index.IsUnique() || vouched_[r])) continue;
      write::RowKey key = write::ComputeRowKey(job_.target_table, index, values, job_.key_settings);
      if (index.IgnoresNulls() && key.all_null) continue;
      if (!key.coverage.covered) {
        if (!job_.check_keys) continue;  // the writer asks the fallback itself
        std::optional<KeyBytes> vouched = fallback_ ? fallback_(r, key, row_tag) : std::nullopt;
        if (!vouched) return "its key in index " + std::to_string(r) + " cannot be vouched for (" + key.coverage.reason + ")";
        key.key = std::move(*vouched);
      }
      if (!index.IsUnique() || key.all_null) continue;
      if (!job_.check_keys) {
        hashes_[r].push_back(HashKey(key.key));
        continue;
      }
      std::string bytes(key.key.begin(), key.key.end());
      if (exact_[r].count(bytes)) return "it repeats a key of unique index " + std::to_string(r);
      pending_.emplace_back(r, std::move(bytes));
    }
    for (auto& [r, bytes] : pending_) exact_[r].insert(std::move(bytes));
    return {};
  }

  // Without checking: whether some unique index received a key twice.
  bool RepeatedUniqueKey() {
    for (std::vector<std::uint64_t>& hashes : hashes_) {
      std::sort(hashes.begin(), hashes.end());
      if (std::adjacent_find(hashes.begin(), hashes.end()) != hashes.end()) return true;
    }
    return false;
  }

 private:
  void Update() {
    active_ = false;
    const auto& indexes = job_.target_table.real_indexes;
    for (std::size_t r = 0; r < indexes.size(); ++r) active_ |= job_.check_keys || (indexes[r].IsUnique() && !vouched_[r]);
  }
  const CopyJob& job_;
  const write::KeyFallback& fallback_;
  std::vector<bool> vouched_;
  bool active_ = false;
  std::vector<std::unordered_set<std::string>> exact_;
  std::vector<std::vector<std::uint64_t>> hashes_;
  std::vector<std::pair<std::size_t, std::string>> pending_;
};

}  // namespace

std::uint64_t CopyTableRows(const CopyJob& job, write::TableBuilder& first_builder) {
  write::TableBuilder* builder = &first_builder;
  RowConverter converter(job);
  // Rows are tagged with the slot the source's indexes name them by.
  const write::KeyFallback fallback = [&](std::size_t real_index, const write::RowKey&, std::uint64_t row_tag) {
    return job.source_keys.Find(job.source_table, real_index, RowPointer::FromRaw(static_cast<std::uint32_t>(row_tag)));
  };
  std::optional<RowGate> gate;
  gate.emplace(job, fallback);
  auto lose_row = [&](RowPointer at, std::int32_t code, const std::string& why) {
    job.losses->Add({LossKind::Row, code, "row at " + Place(at) + " was dropped: " + why, job.table_name, at, true});
  };
  std::uint64_t copied = 0;
  auto add = [&](std::span<const StoredField> fields, RowPointer listed_at) {
    if (job.keep && !job.keep(fields)) return;
    const std::uint64_t tag = listed_at.ToRaw();
    const std::span<const encode::FieldValue> values = converter.Convert(fields);
    if (!job.losses) {
      builder->AddRow(values, tag);
      ++copied;
      return;
    }
    const std::string refused = gate->Admit(values, tag);
    if (!refused.empty()) {
      lose_row(listed_at, refused.find("repeats") != std::string::npos ? 3022 : errors::kCorrupt, refused);
      return;
    }
    if (!job.check_keys) {
      builder->AddRow(values, tag);  // a refusal here fails this pass; the caller retries with checking
    } else {
      try {
        builder->AddRow(values, tag);
      } catch (const io::WriteFailure&) {
        throw;  // the destination's disk failed: no fault of this row
      } catch (const vondrel::Error& error) {
        lose_row(listed_at, error.number(), error.description());
        return;
      }
    }
    ++copied;
  };
  auto finish = [&]() {
    builder->SettleKeys(fallback);
    if (job.losses && !job.check_keys && gate->RepeatedUniqueKey())
      job.losses->Add({LossKind::Object, 3022, "a unique index receives a key twice", job.table_name, {}, false});
    return copied;
  };

  ScanOptions plain;
  plain.pages = job.pages;
  plain.on_page = job.on_page;
  if (job.losses) {
    plain.on_damaged_row = [&](RowPointer at, const vondrel::Error& error) {
      lose_row(at, error.number(), error.description());
    };
    plain.on_mended_row = [&](RowPointer at, const vondrel::Error& error) {
      job.losses->Add({LossKind::Object, error.number(),
                       "the row at " + Place(at) + " was damaged (" + error.description() +
                           ") and was kept as read in the only way its structure allows",
                       job.table_name, at, true});
    };
    plain.on_damaged_page = [&](std::uint32_t page, const vondrel::Error& error) {
      job.losses->Add({LossKind::Page, error.number(),
                       "data page " + std::to_string(page) + " cannot be read, its rows are lost: " + error.description(),
                       job.table_name, {page, 0}, true});
    };
    plain.on_damaged_value = [&](RowPointer at, const ColumnDefinition& column, const vondrel::Error& error) {
      job.losses->Add({LossKind::Value, error.number(),
                       "the value of " + column.name + " in the row at " + Place(at) + " was emptied: " + error.description(),
                       job.table_name, at, true},
                      column.name);
    };
  }

  // Primary-key order: collect each row's key and place, sort, and read the
  // rows again in that order when it differs from the source's.
  const RealIndexDefinition* primary = PrimaryKey(job.target_table);
  // Where the table may start over, it is first copied in source order while
  // the writer watches the primary key: most tables are stored in key order,
  // and are then read once. At the first key out of order (or one the encoder
  // cannot vouch for) the copy starts over the way below.
  if (primary && job.restart && !job.check_keys) {
    const auto position = static_cast<std::size_t>(primary - job.target_table.real_indexes.data());
    builder->WatchKeyOrder(position);
    gate->Vouched(position);  // keys in strictly ascending order are unique
    job.source.ScanRows(
        job.source_table,
        [&](const Row& row) {
          add(row.fields, row.listed_at);
          return builder->WatchedKeysAscending();
        },
        plain);
    builder->WaitForKeys();  // the verdict on the last rows
    if (builder->WatchedKeysAscending()) return finish();
    builder = &job.restart();
    gate.emplace(job, fallback);
    copied = 0;
  }
  if (primary) {
    struct Keyed {
      KeyBytes key;
      RowPointer pointer;    // the row's bytes
      RowPointer listed_at;  // the slot indexes name
      std::size_t order;
    };
    std::vector<Keyed> keyed;
    bool covered = true;
    // Most tables are stored in key order already: check that first without
    // keeping keys, and collect them only when the order differs.
    bool in_source_order = true;
    KeyBytes previous;
    // The ordering passes report nothing themselves: the pass that copies
    // the rows does, so that each loss is reported once.
    ScanOptions scan = plain;
    scan.assemble_long_values = UsesLongValues(job.target_table, *primary);
    if (job.losses) {
      scan.on_damaged_row = [](RowPointer, const vondrel::Error&) {};
      scan.on_mended_row = [](RowPointer, const vondrel::Error&) {};
      scan.on_damaged_page = [](std::uint32_t, const vondrel::Error&) {};
      scan.on_damaged_value = [](RowPointer, const ColumnDefinition&, const vondrel::Error&) {};
    }
    std::vector<std::pair<RowPointer, vondrel::Error>> skipped_rows;  // by the collecting pass
    std::vector<std::pair<std::uint32_t, vondrel::Error>> skipped_pages;
    job.source.ScanRows(
        job.source_table,
        [&](const Row& row) {
          write::RowKey key = write::ComputeRowKey(job.target_table, *primary, converter.Convert(row.fields), job.key_settings);
          if (!key.coverage.covered) {
            covered = false;
            return false;
          }
          // Equal keys count as out of order: the sort below finds them.
          if (!previous.empty() && CompareKeys(previous, key.key) >= 0) {
            in_source_order = false;
            return false;
          }
          previous = std::move(key.key);
          return true;
        },
        scan);
    if (covered && !in_source_order) {
      ScanOptions collect = scan;
      if (job.losses) {
        collect.on_damaged_row = [&](RowPointer at, const vondrel::Error& error) { skipped_rows.emplace_back(at, error); };
        collect.on_damaged_page = [&](std::uint32_t page, const vondrel::Error& error) {
          skipped_pages.emplace_back(page, error);
        };
      }
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
          collect);
    }
    const auto primary_position = static_cast<std::size_t>(primary - job.target_table.real_indexes.data());
    if (covered && in_source_order) gate->Vouched(primary_position);
    if (covered && !in_source_order) {
      std::stable_sort(keyed.begin(), keyed.end(),
                       [](const Keyed& a, const Keyed& b) { return CompareKeys(a.key, b.key) < 0; });
      const bool repeated = std::adjacent_find(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
                              return CompareKeys(a.key, b.key) == 0;
                            }) != keyed.end();
      if (!repeated) gate->Vouched(primary_position);
      bool in_order = true;
      for (std::size_t i = 0; i < keyed.size(); ++i) in_order = in_order && keyed[i].order == i;
      if (!in_order) {
        for (const auto& [page, error] : skipped_pages) plain.on_damaged_page(page, error);
        for (const auto& [at, error] : skipped_rows) plain.on_damaged_row(at, error);
        RowStructure structure;
        std::vector<StoredField> fields;
        std::vector<std::vector<std::uint8_t>> long_values(job.source_table.columns.size());
        for (Keyed& k : keyed) {
          k.key.clear();
          k.key.shrink_to_fit();
          const io::ReadHold row_hold(job.source.file());  // the row's bytes while its long values are read
          io::ByteView bytes;
          try {
            bytes = job.source.RowBytes(k.pointer);
            DecodeRow(bytes, job.source_table, structure, fields);
          } catch (const vondrel::Error& error) {
            if (plain.on_mended_row && DecodeRowMendingOffsets(bytes, job.source_table, structure, fields)) {
              plain.on_mended_row(k.listed_at, error);
            } else {
              if (!plain.on_damaged_row) throw;
              plain.on_damaged_row(k.listed_at, error);
              continue;
            }
          }
          for (std::size_t c = 0; c < fields.size(); ++c) {
            StoredField& field = fields[c];
            if (field.is_null || !IsLongValueType(job.source_table.columns[c].type)) continue;
            try {
              job.source.ReadLongValue(field.bytes, long_values[c]);
              field.bytes = io::ByteView(long_values[c].data(), long_values[c].size(), field.bytes.source());
            } catch (const vondrel::Error& error) {
              if (!plain.on_damaged_value) throw;
              field.is_null = true;
              field.damaged = true;
              field.bytes = io::ByteView();
              plain.on_damaged_value(k.pointer, job.source_table.columns[c], error);
            }
          }
          add(fields, k.listed_at);
        }
        return finish();
      }
    }
  }

  job.source.ScanRows(
      job.source_table,
      [&](const Row& row) {
        add(row.fields, row.listed_at);
        return true;
      },
      plain);
  return finish();
}

}  // namespace jet::compact
