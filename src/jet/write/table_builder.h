#pragma once
// Writes the rows of one table: packs them densely into data pages, moves
// long values to LVAL pages, and collects every index's entries, then writes
// the index trees. What it produced (pages, roots, counts) is handed back for
// the usage maps and the table definition.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "jet/format/data_page_encode.h"
#include "jet/format/row_encode.h"
#include "jet/format/table_definition.h"
#include "jet/write/index_feeder.h"
#include "jet/write/index_tree_writer.h"
#include "jet/write/page_sink.h"
#include "jet/write/row_keys.h"

namespace jet::write {

// Supplies an index key the encoder cannot vouch for (e.g. the key the
// source's own index holds for the row that AddRow was given `row_tag` for);
// nothing = no trustworthy key, the write fails.
using KeyFallback =
    std::function<std::optional<KeyBytes>(std::size_t real_index, const RowKey& computed, std::uint64_t row_tag)>;

struct LongValuePages {
  std::uint16_t column_number = 0;
  std::vector<std::uint32_t> pages;
};

struct IndexResult {
  std::uint32_t root_page = 0;
  std::vector<std::uint32_t> pages;
  std::uint32_t entries = 0;
  std::uint32_t distinct_keys = 0;
  std::size_t repeated_keys = 0;  // non-null keys equal to the one before, which a unique index may not hold
};

struct TableResult {
  std::vector<std::uint32_t> data_pages;
  std::vector<LongValuePages> long_value_pages;  // one per memo/OLE column, in column order
  std::vector<IndexResult> indexes;              // one per real index
  std::uint32_t row_count = 0;
  std::int64_t largest_autonumber = 0;           // 0 when there is none
};

// Memory the index entries of one table may take before the largest index's
// entries are spilled to a temporary file as a sorted run.
inline constexpr std::size_t kDefaultIndexMemoryBudget = std::size_t{32} << 20;

class TableBuilder {
 public:
  // table.tdef_page must be the table's final TDEF page (the data pages' owner).
  TableBuilder(PageSink& sink, const TableDefinition& table, const KeyDatabaseSettings& key_settings,
               std::size_t index_memory_budget = kDefaultIndexMemoryBudget);

  // values[i] belongs to table.columns[i]; memo/OLE values carry their full
  // data. Returns where the row was stored. Throws vondrel::Error when the
  // row cannot be stored. Keys the encoder cannot vouch for are settled by
  // SettleKeys, which hands `row_tag` to the fallback.
  RowPointer AddRow(std::span<const encode::FieldValue> values, std::uint64_t row_tag = 0);

  // Rows as years of use leave them, for files that test and measure the
  // reading of aged databases. A deleted row: stored, flagged deleted (with
  // both flag bits, 0xC000, as Access does), in no index and not counted.
  RowPointer AddDeletedRow(std::span<const encode::FieldValue> values);
  // A row updated to a version that no longer fits its page: `values` is
  // stored on a page of moved rows, flagged deleted there, and the slot the
  // indexes name holds `stale` (the old version, without long values) with
  // its first 4 bytes replaced by an overflow pointer to it.
  RowPointer AddMovedRow(std::span<const encode::FieldValue> stale, std::span<const encode::FieldValue> values,
                         std::uint64_t row_tag = 0);

  // Waits until the keys of every row added so far are in their indexes'
  // lists, asking `fallback` for each one the encoder could not vouch for.
  // Throws vondrel::Error when one stays unvouched. Finish does it without a
  // fallback for rows added since.
  void SettleKeys(const KeyFallback& fallback);

  // Follows the keys real index `real_index` receives from now on (null keys
  // included), so that a caller copying rows can tell afterwards whether they
  // came in that index's order.
  void WatchKeyOrder(std::size_t real_index) { index_feeder_.Watch(real_index); }
  // True while every key the watched index received was computed by the
  // encoder (none needed a fallback) and came strictly after the one before.
  // For a large table the keys are followed on a second thread, and the
  // verdict may lag a few thousand rows behind until WaitForKeys.
  bool WatchedKeysAscending() const { return index_feeder_.WatchedKeysAscending(); }
  void WaitForKeys() { index_feeder_.WaitUntilIdle(); }

  // Writes the last pages and the index trees.
  TableResult Finish();

 private:
  struct LongValueColumn {
    std::size_t position;  // in table.columns
    encode::DataPageBuilder page;
    std::uint32_t page_number = 0;
    bool open = false;
    std::vector<std::uint32_t> pages;
  };

  void EncodeRow(std::span<const encode::FieldValue> values, encode::Bytes& row);
  void EncodeRowWithLongValues(std::span<const encode::FieldValue> values, encode::Bytes& row);
  encode::Bytes StoreLongValue(LongValueColumn& column, const encode::FieldValue& value, bool allow_inline);
  RowPointer AddLongValueRow(LongValueColumn& column, std::span<const std::uint8_t> row, bool fresh_page);
  void CloseLongValuePage(LongValueColumn& column);
  void CloseDataPage();
  void CloseMovedPage();
  void EncodeForPage(std::span<const encode::FieldValue> values, encode::Bytes& row);
  RowPointer PlaceOnDataPage(const encode::Bytes& row);
  void IndexRow(std::span<const encode::FieldValue> values, RowPointer at, std::uint64_t row_tag);
  void Settle(std::vector<IndexFeeder::UnvouchedKey> keys, const KeyFallback& fallback);

  PageSink& sink_;
  const TableDefinition& table_;
  std::size_t max_row_;
  encode::RowEncoder row_encoder_;
  encode::DataPageBuilder data_page_;
  std::uint32_t data_page_number_ = 0;
  bool data_page_open_ = false;
  encode::DataPageBuilder moved_page_;  // rows moved there by updates
  std::uint32_t moved_page_number_ = 0;
  bool moved_page_open_ = false;
  std::vector<LongValueColumn> long_values_;
  std::vector<std::size_t> autonumber_positions_;  // in table.columns
  std::vector<IndexEntryList> index_entries_;
  IndexFeeder index_feeder_;  // after the lists it fills
  TableResult result_;
  std::vector<encode::FieldValue> scratch_;
  std::vector<encode::Bytes> scratch_fields_;
  std::vector<KeyField> key_fields_;
  encode::Bytes row_scratch_;
};

}  // namespace jet::write
