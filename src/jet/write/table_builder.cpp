#include "jet/write/table_builder.h"

#include <algorithm>
#include <cstring>

#include "base/error.h"
#include "jet/format/index_row_key.h"
#include "jet/format/long_value_encode.h"
#include "jet/io/error_numbers.h"

namespace jet::write {
namespace {

std::int64_t ReadSigned(const std::uint8_t* data, std::size_t size) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < size && i < 8; ++i) v |= static_cast<std::uint64_t>(data[i]) << (8 * i);
  if (size > 0 && size < 8 && (data[size - 1] & 0x80)) v |= ~std::uint64_t{0} << (8 * size);
  return static_cast<std::int64_t>(v);
}

[[noreturn]] void Refuse(const TableDefinition& table, const std::string& what) {
  throw vondrel::Error(errors::kCorrupt, "table at page " + std::to_string(table.tdef_page) + ": " + what);
}

}  // namespace

TableBuilder::TableBuilder(PageSink& sink, const TableDefinition& table, const KeyDatabaseSettings& key_settings,
                           std::size_t index_memory_budget)
    : sink_(sink),
      table_(table),
      max_row_(ConstantsFor(table.version).max_row_size),
      row_encoder_(table),
      data_page_(table.version, table.tdef_page),
      moved_page_(table.version, table.tdef_page),
      index_entries_(table.real_indexes.size()),
      index_feeder_(table, key_settings, index_entries_, index_memory_budget) {
  for (IndexEntryList& entries : index_entries_) entries.StreamLeaves(table.tdef_page, IndexLayoutFor(table.version));
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    if (table.columns[i].IsAutoNumber()) autonumber_positions_.push_back(i);
    if (IsLongValueType(table.columns[i].type)) {
      long_values_.push_back({i, encode::DataPageBuilder(table.version, kLongValueOwner), 0, false, {}});
    }
  }
}

void TableBuilder::CloseLongValuePage(LongValueColumn& column) {
  if (!column.open) return;
  sink_.Write(column.page_number, column.page.page());
  column.open = false;
}

RowPointer TableBuilder::AddLongValueRow(LongValueColumn& column, std::span<const std::uint8_t> row, bool fresh_page) {
  if (column.open && (fresh_page || !column.page.Fits(row.size()))) CloseLongValuePage(column);
  if (!column.open) {
    column.page.Reset(kLongValueOwner);
    column.page_number = sink_.Allocate();
    column.pages.push_back(column.page_number);
    column.open = true;
  }
  const std::uint8_t number = column.page.Add(row.data(), row.size());
  return {column.page_number, number};
}

encode::Bytes TableBuilder::StoreLongValue(LongValueColumn& column, const encode::FieldValue& value, bool allow_inline) {
  const std::size_t length = value.size;
  if (allow_inline && length <= encode::kLongValueInlineLimit) return encode::EncodeInlineLongValue(value.data, length);
  const std::size_t single_limit = encode::DataPageBuilder::MaxRowOnEmptyPage(table_.version);
  if (length <= single_limit) {
    const RowPointer at = AddLongValueRow(column, {value.data, length}, false);
    return encode::EncodeLongValueReference(length, at, true);
  }
  // A chain: one full chunk per fresh page, so each row's successor is the
  // next page's first row, known before the row is written.
  const std::size_t chunk = single_limit - 4;
  const std::size_t chunks = (length + chunk - 1) / chunk;
  RowPointer first;
  for (std::size_t k = 0; k < chunks; ++k) {
    const std::size_t from = k * chunk;
    const std::size_t size = std::min(chunk, length - from);
    CloseLongValuePage(column);
    const std::uint32_t page = sink_.page_count();
    const RowPointer next = k + 1 < chunks ? RowPointer{page + 1, 0} : RowPointer{};
    const RowPointer at = AddLongValueRow(column, encode::EncodeLongValueChainRow(next, value.data + from, size), true);
    if (at.page != page) throw std::logic_error("long-value chain pages out of order");
    if (k == 0) first = at;
  }
  return encode::EncodeLongValueReference(length, first, false);
}

void TableBuilder::CloseDataPage() {
  if (!data_page_open_) return;
  sink_.Write(data_page_number_, data_page_.page());
  data_page_open_ = false;
}

void TableBuilder::EncodeRow(std::span<const encode::FieldValue> values, encode::Bytes& row) {
  try {
    row_encoder_.Encode(values, row);
  } catch (const std::invalid_argument& e) {
    Refuse(table_, e.what());
  }
}

// Long values go inline where they are small; they move out when the row
// gets too long.
void TableBuilder::EncodeRowWithLongValues(std::span<const encode::FieldValue> values, encode::Bytes& row) {
  scratch_.assign(values.begin(), values.end());
  scratch_fields_.assign(long_values_.size(), {});
  for (int attempt = 0; attempt < 2; ++attempt) {
    for (std::size_t k = 0; k < long_values_.size(); ++k) {
      const std::size_t position = long_values_[k].position;
      const encode::FieldValue& value = values[position];
      if (value.is_null) continue;
      const bool inline_ok = attempt == 0 && value.size <= encode::kLongValueInlineLimit;
      if (attempt == 1 && scratch_fields_[k].size() == encode::kLongValueHeaderSize) continue;  // already out of line
      scratch_fields_[k] = StoreLongValue(long_values_[k], value, inline_ok);
      scratch_[position].data = scratch_fields_[k].data();
      scratch_[position].size = scratch_fields_[k].size();
    }
    EncodeRow(scratch_, row);
    if (row.size() <= max_row_) return;
  }
}

void TableBuilder::EncodeForPage(std::span<const encode::FieldValue> values, encode::Bytes& row) {
  if (values.size() != table_.columns.size()) throw std::logic_error("row has the wrong number of values");
  if (long_values_.empty()) {
    EncodeRow(values, row);
  } else {
    EncodeRowWithLongValues(values, row);
  }
  if (row.size() > max_row_) Refuse(table_, "a row is longer than a page holds");
}

RowPointer TableBuilder::PlaceOnDataPage(const encode::Bytes& row) {
  if (data_page_open_ && !data_page_.Fits(row.size())) CloseDataPage();
  if (!data_page_open_) {
    data_page_.Reset(table_.tdef_page);
    data_page_number_ = sink_.Allocate();
    result_.data_pages.push_back(data_page_number_);
    data_page_open_ = true;
  }
  return {data_page_number_, data_page_.Add(row)};
}

void TableBuilder::IndexRow(std::span<const encode::FieldValue> values, RowPointer at, std::uint64_t row_tag) {
  ++result_.row_count;
  for (std::size_t i : autonumber_positions_) {
    if (!values[i].is_null && values[i].size > 0 && values[i].size <= 8)
      result_.largest_autonumber = std::max(result_.largest_autonumber, ReadSigned(values[i].data, values[i].size));
  }
  // The key encoder's view of the row, made once for all indexes.
  key_fields_.resize(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    key_fields_[i].is_null = values[i].is_null;
    key_fields_[i].bool_value = values[i].boolean;
    key_fields_[i].bytes = std::span<const std::uint8_t>(values[i].data, values[i].size);
  }
  index_feeder_.AddRow(key_fields_, at, row_tag);
}

RowPointer TableBuilder::AddRow(std::span<const encode::FieldValue> values, std::uint64_t row_tag) {
  EncodeForPage(values, row_scratch_);
  const RowPointer at = PlaceOnDataPage(row_scratch_);
  IndexRow(values, at, row_tag);
  return at;
}

RowPointer TableBuilder::AddDeletedRow(std::span<const encode::FieldValue> values) {
  EncodeForPage(values, row_scratch_);
  const RowPointer at = PlaceOnDataPage(row_scratch_);
  // Both flags, as Access marks a row it deletes: readers that take either
  // flag alone for "deleted" skip it too.
  data_page_.FlagRow(at.row, kRowDeletedFlag | kRowOverflowFlag);
  return at;
}

RowPointer TableBuilder::AddMovedRow(std::span<const encode::FieldValue> stale, std::span<const encode::FieldValue> values,
                                     std::uint64_t row_tag) {
  // The row's present version, on the page that takes moved rows; flagged
  // deleted there, so that page scans reach it only through its pointer.
  EncodeForPage(values, row_scratch_);
  if (moved_page_open_ && !moved_page_.Fits(row_scratch_.size())) CloseMovedPage();
  if (!moved_page_open_) {
    moved_page_.Reset(table_.tdef_page);
    moved_page_number_ = sink_.Allocate();
    result_.data_pages.push_back(moved_page_number_);
    moved_page_open_ = true;
  }
  const std::uint8_t moved_row = moved_page_.Add(row_scratch_);
  moved_page_.FlagRow(moved_row, kRowDeletedFlag);
  // The slot the indexes name keeps the old version, its first bytes
  // overwritten by the pointer to the present one.
  encode::Bytes slot;
  EncodeForPage(stale, slot);
  if (slot.size() < 4) slot.resize(4);
  slot[0] = moved_row;
  slot[1] = static_cast<std::uint8_t>(moved_page_number_);
  slot[2] = static_cast<std::uint8_t>(moved_page_number_ >> 8);
  slot[3] = static_cast<std::uint8_t>(moved_page_number_ >> 16);
  const RowPointer at = PlaceOnDataPage(slot);
  data_page_.FlagRow(at.row, kRowOverflowFlag);
  IndexRow(values, at, row_tag);
  return at;
}

void TableBuilder::CloseMovedPage() {
  if (!moved_page_open_) return;
  sink_.Write(moved_page_number_, moved_page_.page());
  moved_page_open_ = false;
}

void TableBuilder::SettleKeys(const KeyFallback& fallback) { Settle(index_feeder_.TakeUnvouched(), fallback); }

void TableBuilder::Settle(std::vector<IndexFeeder::UnvouchedKey> keys, const KeyFallback& fallback) {
  for (IndexFeeder::UnvouchedKey& unvouched : keys) {
    std::optional<KeyBytes> vouched =
        fallback ? fallback(unvouched.real_index, unvouched.key, unvouched.tag) : std::nullopt;
    if (!vouched) Refuse(table_, "index key not covered: " + unvouched.key.coverage.reason);
    index_entries_[unvouched.real_index].Add(*vouched, unvouched.row);
  }
}

TableResult TableBuilder::Finish() {
  CloseDataPage();
  CloseMovedPage();
  for (LongValueColumn& column : long_values_) {
    CloseLongValuePage(column);
    result_.long_value_pages.push_back({table_.columns[column.position].number, std::move(column.pages)});
  }
  Settle(index_feeder_.Finish(), {});
  std::vector<std::size_t> entry_counts;
  for (const IndexEntryList& entries : index_entries_) entry_counts.push_back(entries.size());
  std::vector<IndexTree> trees = WriteIndexTrees(sink_, index_entries_, table_.tdef_page);
  for (std::size_t r = 0; r < trees.size(); ++r) {
    IndexResult out;
    out.entries = static_cast<std::uint32_t>(entry_counts[r]);
    out.distinct_keys = trees[r].distinct_keys;
    out.repeated_keys = trees[r].repeated_keys;
    out.root_page = trees[r].root_page;
    out.pages = std::move(trees[r].pages);
    result_.indexes.push_back(std::move(out));
  }
  return std::move(result_);
}

}  // namespace jet::write
