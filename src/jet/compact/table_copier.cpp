#include "jet/compact/table_copier.h"

#include <algorithm>
#include <optional>
#include <string>
#include <thread>
#include <unordered_set>
#include <utility>

#include "base/error.h"
#include "jet/compact/row_converter.h"
#include "jet/compact/record_pipe.h"
#include "jet/compact/row_gate.h"
#include "jet/compact/row_record.h"
#include "jet/compact/row_sorter.h"
#include "jet/compact/sorted_row_reader.h"
#include "jet/io/write_failure.h"
#include "jet/write/row_keys.h"

namespace jet::compact {
namespace {

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

// Rows sorted into key order get a share of memory that grows with the
// file, as the index lists and the source's windows do: fewer, longer runs
// to merge.
std::size_t RowSortBudget(const Database& source) {
  return kDefaultRowSortMemory + static_cast<std::size_t>(source.file().file_size() / 64);
}

std::string Place(RowPointer at) {
  return "page " + std::to_string(at.page) + ", row " + std::to_string(at.row);
}

// What a read found wrong before the rows are written, reported in the order met.
struct Skipped {
  std::vector<std::pair<std::uint32_t, vondrel::Error>> pages;
  std::vector<std::pair<RowPointer, vondrel::Error>> rows;
};

// The copy of one table, pass by pass. Rows go in primary-key order where
// the table has a primary key whose keys the encoder vouches for: a table
// stored in that order already is read once in source order; any other is
// read once in file order, its rows sorted by key with bounded memory
// (RowSorter) and written from there, so that no row is read at random.
class TableCopy {
 public:
  TableCopy(const CopyJob& job, write::TableBuilder& builder)
      : job_(job),
        builder_(&builder),
        converter_(job),
        fallback_([&job](std::size_t real_index, const write::RowKey&, std::uint64_t row_tag) {
          // Rows are tagged with the slot the source's indexes name them by.
          return job.source_keys.Find(job.source_table, real_index, RowPointer::FromRaw(static_cast<std::uint32_t>(row_tag)));
        }),
        primary_(PrimaryKey(job.target_table)),
        long_values_collected_(primary_ && UsesLongValues(job.target_table, *primary_)),
        reporting_(Reporting()) {
    gate_.emplace(job, fallback_);
  }

  std::uint64_t Run() {
    if (primary_ && job_.restart && !job_.check_keys) {
      if (CopyWatchingKeyOrder()) return Finish();
      builder_ = &job_.restart();
      gate_.emplace(job_, fallback_);
      copied_ = 0;
    }
    if (primary_ && CopyInKeyOrder()) return Finish();
    CopyInSourceOrder();
    return Finish();
  }

 private:
  enum class SourceOrder { Ascending, NotAscending, Uncovered };

  std::size_t PrimaryPosition() const {
    return static_cast<std::size_t>(primary_ - job_.target_table.real_indexes.data());
  }
  // A row's primary key, or null when it cannot be vouched for. The key is
  // computed for every row, into a buffer reused from row to row: it holds
  // until the next call.
  const KeyBytes* PrimaryKeyOf(std::span<const StoredField> fields) {
    write::ComputeRowKey(job_.target_table, *primary_, converter_.Convert(fields), job_.key_settings, primary_key_);
    return primary_key_.coverage.covered ? &primary_key_.key : nullptr;
  }

  ScanOptions Reporting();
  ScanOptions Silent() const;
  bool CopyWatchingKeyOrder();
  SourceOrder CheckSourceOrder();
  bool CopyInKeyOrder();
  bool CollectRows(RowSorter& sorter, Skipped& skipped);
  void CopySorted(RowSorter& sorter, const Skipped& skipped);
  void CopyInSourceOrder();
  void FindKeysThatMayRepeat();
  void Add(std::span<const StoredField> fields, RowPointer listed_at);
  // Logs a loss. A copy that does not check keys is redone with checking
  // after any loss, so it ends at its first rather than copy on for nothing.
  void Lose(Loss loss, const std::string& detail_key = {}) {
    job_.losses->Add(std::move(loss), detail_key);
    if (!job_.check_keys) throw LossEndsCopy{};
  }
  void LoseRow(RowPointer at, std::int32_t code, const std::string& why) {
    Lose({LossKind::Row, code, "row at " + Place(at) + " was dropped: " + why, job_.table_name, at, true});
  }
  std::uint64_t Finish();

  const CopyJob& job_;
  write::TableBuilder* builder_;
  RowConverter converter_;
  const write::KeyFallback fallback_;
  std::optional<RowGate> gate_;
  const RealIndexDefinition* primary_;
  write::RowKey primary_key_;
  const bool long_values_collected_;  // the key-order copy reads long values with their rows
  const ScanOptions reporting_;  // the reads whose losses are reported as met
  std::uint64_t copied_ = 0;
};

ScanOptions TableCopy::Reporting() {
  ScanOptions plain;
  plain.pages = job_.pages;
  plain.moved_rows = job_.moved_rows;
  plain.on_page = job_.on_page;
  if (!job_.losses) return plain;
  plain.on_damaged_row = [this](RowPointer at, const vondrel::Error& error) {
    LoseRow(at, error.number(), error.description());
  };
  plain.on_mended_row = [this](RowPointer at, const vondrel::Error& error) {
    Lose({LossKind::Object, error.number(),
          "the row at " + Place(at) + " was damaged (" + error.description() +
              ") and was kept as read in the only way its structure allows",
          job_.table_name, at, true});
  };
  plain.on_damaged_page = [this](std::uint32_t page, const vondrel::Error& error) {
    Lose({LossKind::Page, error.number(),
          "data page " + std::to_string(page) + " cannot be read, its rows are lost: " + error.description(),
          job_.table_name, {page, 0}, true});
  };
  plain.on_damaged_value = [this](RowPointer at, const ColumnDefinition& column, const vondrel::Error& error) {
    Lose({LossKind::Value, error.number(),
          "the value of " + column.name + " in the row at " + Place(at) + " was emptied: " + error.description(),
          job_.table_name, at, true},
         column.name);
  };
  return plain;
}

// A read that reports nothing itself (the pass that writes the rows does,
// so that each loss is reported once), but still survives what the
// reporting read survives.
ScanOptions TableCopy::Silent() const {
  ScanOptions scan = reporting_;
  if (job_.losses) {
    scan.on_damaged_row = [](RowPointer, const vondrel::Error&) {};
    scan.on_mended_row = [](RowPointer, const vondrel::Error&) {};
    scan.on_damaged_page = [](std::uint32_t, const vondrel::Error&) {};
    scan.on_damaged_value = [](RowPointer, const ColumnDefinition&, const vondrel::Error&) {};
  }
  return scan;
}

// Where the table may start over, it is first copied in source order while
// the writer watches the primary key: most tables are stored in key order,
// and are then read once. True when the keys came in order; at the first key
// out of order (or one the encoder cannot vouch for) the copy stops.
bool TableCopy::CopyWatchingKeyOrder() {
  builder_->WatchKeyOrder(PrimaryPosition());
  job_.source.ScanRows(
      job_.source_table,
      [&](const Row& row) {
        Add(row.fields, row.listed_at);
        return builder_->WatchedKeysAscending();
      },
      reporting_);
  builder_->WaitForKeys();  // the verdict on the last rows
  return builder_->WatchedKeysAscending();
}

// Whether the source holds the rows in strictly ascending primary-key
// order, read without keeping keys up to the first one out of order.
TableCopy::SourceOrder TableCopy::CheckSourceOrder() {
  ScanOptions scan = Silent();
  scan.assemble_long_values = long_values_collected_;
  SourceOrder order = SourceOrder::Ascending;
  KeyBytes previous;
  job_.source.ScanRows(
      job_.source_table,
      [&](const Row& row) {
        const KeyBytes* key = PrimaryKeyOf(row.fields);
        if (!key) {
          order = SourceOrder::Uncovered;
          return false;
        }
        // Equal keys count as out of order: the sort finds them.
        if (!previous.empty() && CompareKeys(previous, *key) >= 0) {
          order = SourceOrder::NotAscending;
          return false;
        }
        previous.assign(key->begin(), key->end());
        return true;
      },
      scan);
  return order;
}

// Copies the rows in primary-key order; false when the copy is to be made
// in source order instead (rows already in key order, or a key the encoder
// cannot vouch for), with nothing written yet.
bool TableCopy::CopyInKeyOrder() {
  const SourceOrder order = CheckSourceOrder();
  if (order == SourceOrder::Ascending) gate_->ArrivesInOrder(PrimaryPosition());
  if (order != SourceOrder::NotAscending) return false;
  RowSorter sorter(RowSortBudget(job_.source));
  Skipped skipped;
  if (!CollectRows(sorter, skipped)) return false;
  if (sorter.in_added_order()) return false;  // keys that only repeat: the sort would move no row
  // A repeated key meets its twin in key order: the gate need not remember every key.
  gate_->ArrivesInOrder(PrimaryPosition());
  CopySorted(sorter, skipped);
  return true;
}

// Reads the table once in file order into the sorter: each row with its
// key and what went wrong reading it. False at a key the encoder cannot
// vouch for. The long values stay behind in the source, read when their rows
// are written, so that the sorter's runs hold little more than the rows'
// own bytes; a key made of long values needs them read here.
//
// This thread reads the rows and encodes each as a record; a second one
// computes the records' keys and sorts them, so that reading the source
// never waits on the sort. Every callback of the read stays on this thread.
bool TableCopy::CollectRows(RowSorter& sorter, Skipped& skipped) {
  // Without checking, the first loss ends the copy: it is reported as met.
  ScanOptions scan = job_.check_keys ? Silent() : reporting_;
  scan.assemble_long_values = long_values_collected_;
  std::vector<RowEvent> events;  // of the row being read
  if (job_.losses && job_.check_keys) {
    scan.on_damaged_row = [&](RowPointer at, const vondrel::Error& error) { skipped.rows.emplace_back(at, error); };
    scan.on_damaged_page = [&](std::uint32_t page, const vondrel::Error& error) { skipped.pages.emplace_back(page, error); };
    scan.on_mended_row = [&](RowPointer, const vondrel::Error& error) {
      events.push_back({RowEvent::Kind::Mended, 0, error.number(), error.description()});
    };
    scan.on_damaged_value = [&](RowPointer, const ColumnDefinition& column, const vondrel::Error& error) {
      const auto position = static_cast<std::uint16_t>(&column - job_.source_table.columns.data());
      events.push_back({RowEvent::Kind::DamagedValue, position, error.number(), error.description()});
    };
  }
  RecordPipe records;
  bool covered = true;
  std::exception_ptr sort_failure;
  std::thread sorting([&] {
    try {
      RowRecord row;
      std::span<const std::uint8_t> record;
      while (records.Next(record)) {
        DecodeRowRecord(record, row);
        const KeyBytes* key = PrimaryKeyOf(row.fields);
        if (!key) {
          covered = false;
          break;
        }
        sorter.Add(*key, record);
      }
    } catch (...) {
      sort_failure = std::current_exception();
    }
    records.Abandon();
  });
  std::exception_ptr read_failure;
  try {
    job_.source.ScanRows(
        job_.source_table,
        [&](const Row& row) {
          EncodeRowRecord(row.pointer, row.listed_at, events, row.fields,
                          records.Append(RowRecordSize(events, row.fields)));
          events.clear();
          return true;
        },
        scan);
  } catch (const RecordPipe::Abandoned&) {  // the sort has stopped: it says why
  } catch (...) {
    read_failure = std::current_exception();
  }
  records.Close();
  sorting.join();
  if (read_failure) std::rethrow_exception(read_failure);
  if (sort_failure) std::rethrow_exception(sort_failure);
  return covered;
}

// Writes the sorted rows, reporting first what the read skipped, then each
// row's own losses as it is written.
void TableCopy::CopySorted(RowSorter& sorter, const Skipped& skipped) {
  FindKeysThatMayRepeat();
  for (const auto& [page, error] : skipped.pages) reporting_.on_damaged_page(page, error);
  for (const auto& [at, error] : skipped.rows) reporting_.on_damaged_row(at, error);
  SortedRowReader rows(sorter, job_.source, job_.source_table, !long_values_collected_, job_.losses != nullptr);
  while (const SortedRow* row = rows.Next()) {
    for (const RowEvent& e : row->events) {
      const vondrel::Error error(e.number, e.description);
      if (e.kind == RowEvent::Kind::Mended) reporting_.on_mended_row(row->listed_at, error);
      else reporting_.on_damaged_value(row->pointer, job_.source_table.columns.at(e.column), error);
    }
    for (const LongValueDamage& damage : row->long_value_damage) {
      reporting_.on_damaged_value(row->pointer, job_.source_table.columns.at(damage.column),
                                  vondrel::Error(damage.number, damage.description));
    }
    Add(row->fields, row->listed_at);
  }
}

void TableCopy::CopyInSourceOrder() {
  FindKeysThatMayRepeat();
  job_.source.ScanRows(
      job_.source_table,
      [&](const Row& row) {
        Add(row.fields, row.listed_at);
        return true;
      },
      reporting_);
}

// A pass that checks each row refuses a unique key it admitted before. So
// that it need not remember every key of a unique index whose keys do not
// arrive in order, the table is read once first and its keys sorted with
// bounded memory: only keys met more than once are remembered then. The keys
// are computed as the gate computes them, of every row read (a superset of
// the rows admitted); an index with long values in its key keeps every key.
void TableCopy::FindKeysThatMayRepeat() {
  if (!job_.check_keys || !job_.losses) return;
  const auto& indexes = job_.target_table.real_indexes;
  std::vector<std::size_t> sorted;  // indexes whose keys are sorted here
  // A sorted key is tagged with its index's number in one byte: indexes past
  // 255 (none in a real table) keep every key.
  for (std::size_t r = 0; r < indexes.size() && r < 256; ++r) {
    if (indexes[r].IsUnique() && !gate_->in_order(r) && !UsesLongValues(job_.target_table, indexes[r]))
      sorted.push_back(r);
  }
  if (sorted.empty()) return;
  RowSorter sorter;
  ScanOptions scan = Silent();
  scan.assemble_long_values = false;
  KeyBytes tagged;  // the index's number, then the key
  write::RowKey key;  // reused from key to key
  job_.source.ScanRows(
      job_.source_table,
      [&](const Row& row) {
        const std::span<const encode::FieldValue> values = converter_.Convert(row.fields);
        for (std::size_t r : sorted) {
          write::ComputeRowKey(job_.target_table, indexes[r], values, job_.key_settings, key);
          if (key.all_null) continue;  // never checked for repeats
          if (!key.coverage.covered) {
            std::optional<KeyBytes> vouched = fallback_(r, key, row.listed_at.ToRaw());
            if (!vouched) continue;  // the gate refuses the row
            key.key = std::move(*vouched);
          }
          tagged.assign(1, static_cast<std::uint8_t>(r));
          tagged.insert(tagged.end(), key.key.begin(), key.key.end());
          sorter.Add(tagged, {});
        }
        return true;
      },
      scan);
  std::vector<std::unordered_set<std::string>> may_repeat(indexes.size());
  std::vector<std::uint8_t> previous;
  bool have_previous = false;
  sorter.Merge([&](RowSorter::Bytes key, std::uint64_t, RowSorter::Bytes) {
    if (have_previous && std::equal(key.begin(), key.end(), previous.begin(), previous.end()))
      may_repeat[key[0]].emplace(key.begin() + 1, key.end());
    previous.assign(key.begin(), key.end());
    have_previous = true;
  });
  for (std::size_t r : sorted) gate_->RemembersOnly(r, std::move(may_repeat[r]));
}

void TableCopy::Add(std::span<const StoredField> fields, RowPointer listed_at) {
  if (job_.keep && !job_.keep(fields)) return;
  const std::uint64_t tag = listed_at.ToRaw();
  const std::span<const encode::FieldValue> values = converter_.Convert(fields);
  if (!job_.losses) {
    builder_->AddRow(values, tag);
    ++copied_;
    return;
  }
  if (const std::optional<Refusal> refused = gate_->Admit(values, tag)) {
    LoseRow(listed_at, refused->number, refused->reason);
    return;
  }
  if (!job_.check_keys) {
    builder_->AddRow(values, tag);  // a refusal here fails this pass; the caller retries with checking
  } else {
    try {
      builder_->AddRow(values, tag);
    } catch (const io::WriteFailure&) {
      throw;  // the destination's disk failed: no fault of this row
    } catch (const vondrel::Error& error) {
      LoseRow(listed_at, error.number(), error.description());
      return;
    }
  }
  ++copied_;
}

std::uint64_t TableCopy::Finish() {
  builder_->SettleKeys(fallback_);
  return copied_;
}

}  // namespace

std::uint64_t CopyTableRows(const CopyJob& job, write::TableBuilder& builder) {
  return TableCopy(job, builder).Run();
}

}  // namespace jet::compact
