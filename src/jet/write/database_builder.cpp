#include "jet/write/database_builder.h"

#include <algorithm>
#include <stdexcept>

#include "jet/format/data_page_encode.h"
#include "jet/format/tdef_encode.h"
#include "jet/format/usage_map_encode.h"

namespace jet::write {
namespace {

// Pages named by a usage map, sorted.
using PageList = std::vector<std::uint32_t>;

// Usage-map rows are collected first and placed on map pages at the end; a
// map's row pointer is known once it is placed.
struct PendingMap {
  encode::Bytes row;
  RowPointer* target;
};

}  // namespace

DatabaseBuilder::DatabaseBuilder(const std::filesystem::path& path, const encode::HeaderSettings& settings,
                                 std::optional<encode::Bytes> source_header)
    : settings_(settings), source_header_(std::move(source_header)), sink_(path, settings.version, settings.database_key) {
  sink_.Allocate(2);  // page 0 header, page 1 global usage map
}

DatabaseBuilder::Slot& DatabaseBuilder::Find(std::uint32_t tdef_page) {
  for (auto& slot : slots_) if (slot->table.tdef_page == tdef_page) return *slot;
  throw std::logic_error("no table at page " + std::to_string(tdef_page));
}
const DatabaseBuilder::Slot& DatabaseBuilder::Find(std::uint32_t tdef_page) const {
  for (const auto& slot : slots_) if (slot->table.tdef_page == tdef_page) return *slot;
  throw std::logic_error("no table at page " + std::to_string(tdef_page));
}

const TableDefinition& DatabaseBuilder::Table(std::uint32_t tdef_page) const { return Find(tdef_page).table; }
TableDefinition& DatabaseBuilder::MutableTable(std::uint32_t tdef_page) { return Find(tdef_page).table; }

std::uint32_t DatabaseBuilder::DeclareTable(TableDefinition table) {
  auto slot = std::make_unique<Slot>();
  table.version = settings_.version;
  table.long_value_maps.clear();
  for (const ColumnDefinition& column : table.columns) {
    if (IsLongValueType(column.type)) table.long_value_maps.push_back({column.number, {}, {}});
  }
  table.column_count = static_cast<std::uint16_t>(table.columns.size());
  table.real_index_count = static_cast<std::uint32_t>(table.real_indexes.size());
  table.logical_index_count = static_cast<std::uint32_t>(table.logical_indexes.size());
  const encode::Bytes stream = encode::EncodeTdefStream(table, settings_.code_page);
  slot->stream_length = stream.size();
  const std::size_t count = encode::TdefPageCount(stream.size(), sink_.page_size());
  const std::uint32_t first = sink_.Allocate(static_cast<std::uint32_t>(count));
  for (std::size_t i = 0; i < count; ++i) slot->tdef_pages.push_back(first + static_cast<std::uint32_t>(i));
  table.tdef_page = first;
  table.pages = slot->tdef_pages;
  slot->table = std::move(table);
  order_.push_back(first);
  slots_.push_back(std::move(slot));
  return first;
}

TableBuilder& DatabaseBuilder::BeginRows(std::uint32_t tdef_page) {
  if (current_ || !alongside_.empty()) throw std::logic_error("the previous table is still being written");
  Slot& slot = Find(tdef_page);
  if (slot.result) throw std::logic_error("table written twice");
  current_slot_ = &slot;
  rows_first_page_ = sink_.page_count();
  current_ = std::make_unique<TableBuilder>(sink_, slot.table, KeyDatabaseSettings{settings_.version, settings_.sort_order, settings_.code_page},
                                            index_memory_budget_);
  return *current_;
}

TableBuilder& DatabaseBuilder::RestartRows() {
  if (!current_) throw std::logic_error("no table is being written");
  current_.reset();
  sink_.Rewind(rows_first_page_);
  current_ = std::make_unique<TableBuilder>(sink_, current_slot_->table,
                                            KeyDatabaseSettings{settings_.version, settings_.sort_order, settings_.code_page},
                                            index_memory_budget_);
  return *current_;
}

const TableResult& DatabaseBuilder::EndRows() {
  if (!current_) throw std::logic_error("no table is being written");
  Slot& slot = *current_slot_;
  slot.result = current_->Finish();
  current_.reset();
  current_slot_ = nullptr;
  return *slot.result;
}

TableBuilder& DatabaseBuilder::BeginRowsAlongside(std::uint32_t tdef_page) {
  if (current_) throw std::logic_error("a table is being written alone");
  Slot& slot = Find(tdef_page);
  for (const auto& open : alongside_)
    if (open.first == &slot) throw std::logic_error("table begun twice");
  if (slot.result) throw std::logic_error("table written twice");
  alongside_.emplace_back(&slot, std::make_unique<TableBuilder>(
                                     sink_, slot.table,
                                     KeyDatabaseSettings{settings_.version, settings_.sort_order, settings_.code_page},
                                     index_memory_budget_));
  return *alongside_.back().second;
}

void DatabaseBuilder::EndRows(std::uint32_t tdef_page) {
  for (auto it = alongside_.begin(); it != alongside_.end(); ++it) {
    if (it->first->table.tdef_page != tdef_page) continue;
    it->first->result = it->second->Finish();
    alongside_.erase(it);
    return;
  }
  throw std::logic_error("no such table is being written");
}

void DatabaseBuilder::WriteUsageMapsAndDefinitions() {
  const std::size_t page_size = sink_.page_size();
  const FormatVersion version = settings_.version;
  const std::uint32_t per_bitmap = encode::PagesPerBitmapPage(page_size);
  const std::size_t inline_bytes = encode::StandardInlineBitmapBytes(version);
  std::vector<PendingMap> maps;

  // A map of the given pages: inline when their span fits Access's usual row,
  // otherwise a reference map whose bitmap pages are written now.
  auto make_map = [&](PageList pages, RowPointer* target) {
    std::sort(pages.begin(), pages.end());
    const std::uint32_t start = pages.empty() ? 0 : pages.front() / 8 * 8;
    if (pages.empty() || pages.back() - start < inline_bytes * 8) {
      maps.push_back({encode::EncodeInlineMap(start, inline_bytes, pages), target});
      return;
    }
    const std::size_t slots = pages.back() / per_bitmap + 1;
    std::vector<std::uint32_t> bitmap_pages(slots, 0);
    for (std::size_t k = 0; k < slots; ++k) {
      const std::uint32_t first = static_cast<std::uint32_t>(k) * per_bitmap;
      const auto it = std::lower_bound(pages.begin(), pages.end(), first);
      if (it == pages.end() || *it >= first + per_bitmap) continue;
      bitmap_pages[k] = sink_.Allocate();
      sink_.Write(bitmap_pages[k], encode::EncodeMapBitmapPage(page_size, first, pages));
    }
    maps.push_back({encode::EncodeReferenceMap(bitmap_pages), target});
  };

  for (const std::uint32_t tdef_page : order_) {
    Slot& slot = Find(tdef_page);
    if (!slot.result) throw std::logic_error("table at page " + std::to_string(tdef_page) + " has no rows written");
  }
  for (const std::uint32_t tdef_page : order_) {
    Slot& slot = Find(tdef_page);
    TableDefinition& t = slot.table;
    TableResult& r = *slot.result;
    t.row_count = r.row_count;
    bool has_autonumber = false;
    for (const ColumnDefinition& c : t.columns) has_autonumber |= c.IsAutoNumber() && c.type == ColumnType::Long;
    if (has_autonumber) t.autonumber = static_cast<std::uint32_t>(std::max<std::int64_t>(0, r.largest_autonumber));
    make_map(r.data_pages, &t.owned_map);
    make_map({}, &t.free_map);
    for (std::size_t i = 0; i < t.real_indexes.size(); ++i) {
      RealIndexDefinition& index = t.real_indexes[i];
      const IndexResult& ir = r.indexes[i];
      index.root_page = ir.root_page;
      index.stats_rows = ir.entries;
      index.stats_distinct_keys = ir.distinct_keys;
      index.stats_jet4_extra = 0;
      make_map(ir.pages, &index.usage_map);
    }
    for (LongValueColumnMaps& lv : t.long_value_maps) {
      PageList pages;
      for (const LongValuePages& p : r.long_value_pages) if (p.column_number == lv.column_number) pages = p.pages;
      make_map(pages, &lv.owned_map);
      make_map({}, &lv.free_map);
    }
  }

  // Place the map rows on data pages owned by no table.
  encode::DataPageBuilder page(version, 0);
  std::uint32_t page_number = 0;
  bool open = false;
  for (PendingMap& map : maps) {
    if (open && !page.Fits(map.row.size())) {
      sink_.Write(page_number, page.page());
      open = false;
    }
    if (!open) {
      page.Reset(0);
      page_number = sink_.Allocate();
      open = true;
    }
    *map.target = RowPointer{page_number, page.Add(map.row)};
  }
  if (open) sink_.Write(page_number, page.page());

  for (const std::uint32_t tdef_page : order_) {
    Slot& slot = Find(tdef_page);
    const encode::Bytes stream = encode::EncodeTdefStream(slot.table, settings_.code_page);
    if (stream.size() != slot.stream_length) throw std::logic_error("table definition changed size");
    const auto pages = encode::EncodeTdefPages(stream, version, slot.tdef_pages);
    for (std::size_t i = 0; i < pages.size(); ++i) sink_.Write(slot.tdef_pages[i], pages[i]);
  }
}

void DatabaseBuilder::WriteGlobalMap() {
  const std::size_t page_size = sink_.page_size();
  const FormatVersion version = settings_.version;
  const std::uint32_t per_bitmap = encode::PagesPerBitmapPage(page_size);
  const FormatConstants& c = ConstantsFor(version);
  // Two rows of equal size on page 1; set bits = free, which in a fresh file
  // is every page from the end of the file on.
  const std::size_t room_per_row = (page_size - c.data_row_table_offset - 4) / 2 - 5;
  std::uint32_t total = sink_.page_count();
  encode::Bytes row0, row1;
  if ((total + 7) / 8 <= room_per_row) {
    const std::size_t bytes = std::max<std::size_t>(encode::StandardInlineBitmapBytes(version), (total + 7) / 8);
    row0 = encode::EncodeInlineMap(0, bytes, [total](std::uint32_t p) { return p >= total; });
    row1 = encode::EncodeInlineMap(0, bytes, [](std::uint32_t) { return false; });
  } else {
    const std::uint32_t slots = (total + 2) / per_bitmap + 1;
    const std::uint32_t first = sink_.Allocate(slots);
    total = sink_.page_count();
    std::vector<std::uint32_t> bitmap_pages;
    for (std::uint32_t k = 0; k < slots; ++k) {
      bitmap_pages.push_back(first + k);
      sink_.Write(first + k, encode::EncodeMapBitmapPage(page_size, k * per_bitmap, [total](std::uint32_t p) { return p >= total; }));
    }
    row0 = encode::EncodeReferenceMap(bitmap_pages);
    row1 = encode::EncodeInlineMap(0, encode::StandardInlineBitmapBytes(version), [](std::uint32_t) { return false; });
  }
  encode::DataPageBuilder page1(version, 1);
  page1.Add(row0);
  page1.Add(row1);
  sink_.Write(1, page1.page());
}

void DatabaseBuilder::Commit() {
  if (current_ || !alongside_.empty()) throw std::logic_error("a table is still being written");
  WriteUsageMapsAndDefinitions();
  WriteGlobalMap();
  const encode::Bytes header = encode::BuildHeaderPage(settings_, source_header_ ? &*source_header_ : nullptr);
  sink_.Write(0, encode::MaskHeaderPage(header, settings_.version));
  sink_.Commit();
}

}  // namespace jet::write
