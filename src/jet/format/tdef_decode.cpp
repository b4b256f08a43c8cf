#include "jet/format/tdef_decode.h"

#include <algorithm>
#include <set>
#include <unordered_set>

#include "base/error.h"
#include "jet/format/text_decode.h"

namespace jet {
namespace {

constexpr std::size_t kTdefPageHeader = 8;
constexpr std::size_t kIndexKeySlots = 10;

// Reads fields one after another from the stream.
class StreamCursor {
 public:
  explicit StreamCursor(const io::ByteView& view, std::size_t at) : view_(view), at_(at) {}
  std::size_t at() const { return at_; }
  io::ByteView Take(std::size_t length, const char* what) {
    io::ByteView part = view_.Sub(at_, length, what);
    at_ += length;
    return part;
  }
  std::string Name(FormatVersion version, std::uint16_t code_page) {
    if (version == FormatVersion::Jet3) {
      const std::size_t length = Take(1, "name length").U8(0);
      io::ByteView bytes = Take(length, "name");
      return DecodeJet3Text(std::span(bytes.data(), bytes.size()), code_page);
    }
    const std::size_t length = Take(2, "name length").U16(0);
    io::ByteView bytes = Take(length, "name");
    return Utf16LeToUtf8(std::span(bytes.data(), bytes.size()));
  }

 private:
  const io::ByteView& view_;
  std::size_t at_;
};

ColumnDefinition DecodeColumn(const io::ByteView& d, FormatVersion version) {
  ColumnDefinition column;
  column.type = static_cast<ColumnType>(d.U8(0));
  if (version == FormatVersion::Jet3) {
    column.number = d.U16(1);
    column.var_index = d.U16(3);
    column.second_number = d.U16(5);
    column.jet3_unknown = d.U16(7);
    column.sort_order = d.U16(9);
    column.code_page = d.U16(11);
    column.flags = d.U8(13);
    column.fixed_offset = d.U16(14);
    column.length = d.U16(16);
  } else {
    column.number = d.U16(5);
    column.var_index = d.U16(7);
    column.second_number = d.U16(9);
    if (column.type == ColumnType::Numeric) {
      column.precision = d.U8(11);
      column.scale = d.U8(12);
    } else {
      column.sort_order = d.U16(11);
    }
    column.jet4_unknown13 = d.U8(13);
    column.sort_order_version = d.U8(14);
    column.flags = d.U8(15);
    column.ext_flags = d.U8(16);
    column.jet4_unknown17 = d.U32(17);
    column.fixed_offset = d.U16(21);
    column.length = d.U16(23);
  }
  return column;
}

RealIndexDefinition DecodeRealIndex(const io::ByteView& d, FormatVersion version, std::uint32_t number) {
  RealIndexDefinition index;
  index.number = number;
  const std::size_t base = version == FormatVersion::Jet3 ? 0 : 4;
  for (std::size_t slot = 0; slot < kIndexKeySlots; ++slot) {
    const std::uint16_t column = d.U16(base + 3 * slot);
    if (column == 0xFFFF) continue;
    index.columns.push_back({column, d.U8(base + 3 * slot + 2) != 0x00});
  }
  index.usage_map = RowPointer::FromRaw(d.U32(base + 30));
  index.root_page = d.U32(base + 34);
  if (version == FormatVersion::Jet3) {
    index.flags = d.U8(38);
  } else {
    index.jet4_unknown42 = d.U32(42);
    index.flags = d.U8(46);
  }
  return index;
}

LogicalIndexDefinition DecodeLogicalIndex(const io::ByteView& d, FormatVersion version) {
  LogicalIndexDefinition index;
  const std::size_t base = version == FormatVersion::Jet3 ? 0 : 4;
  index.number = d.I32(base + 0);
  index.real_index = d.I32(base + 4);
  index.related_side = d.U8(base + 8);
  index.related_index = d.I32(base + 9);
  index.related_table_page = d.U32(base + 13);
  index.cascade_update = d.U8(base + 17);
  index.cascade_delete = d.U8(base + 18);
  index.type = static_cast<LogicalIndexType>(d.U8(base + 19));
  if (version == FormatVersion::Jet4) index.jet4_unknown24 = d.U32(24);
  return index;
}

// Collects the TDEF chain from `first_page`. With `stop_at_damage`, a page
// that lies past the end, is not a definition page or closes a loop ends
// the stream before it instead of failing the read.
TdefStream FollowTdefChain(const io::PageFile& file, std::uint32_t first_page, bool stop_at_damage) {
  TdefStream stream;
  std::unordered_set<std::uint32_t> seen;
  std::uint32_t page_number = first_page;
  while (page_number != 0 || stream.pages.empty()) {
    if (stop_at_damage && !file.HasPage(page_number)) break;
    const io::ByteView page = file.Page(page_number);
    if (page.U8(0) != static_cast<std::uint8_t>(PageType::TableDefinition)) {
      if (stop_at_damage) break;
      page.Fail("expected a table definition page, found page type " + std::to_string(page.U8(0)));
    }
    if (!seen.insert(page_number).second) {
      if (stop_at_damage) break;
      page.Fail("the table definition pages form a loop");
    }
    stream.pages.push_back(page_number);
    const std::size_t from = stream.bytes.empty() ? 0 : kTdefPageHeader;
    stream.bytes.insert(stream.bytes.end(), page.data() + from, page.data() + page.size());
    page_number = page.U32(4);
  }
  return stream;
}

}  // namespace

TdefStream ReadTdefStream(const io::PageFile& file, FormatVersion version, std::uint32_t first_page) {
  (void)version;
  return FollowTdefChain(file, first_page, false);
}

TdefStream ReadTdefStreamUntilDamage(const io::PageFile& file, std::uint32_t first_page) {
  return FollowTdefChain(file, first_page, true);
}

namespace {

// The header, the index statistics and the column descriptors; leaves the
// cursor at the column names.
TableDefinition DecodeHead(const io::ByteView& view, const TdefStream& stream, FormatVersion version,
                           StreamCursor& cursor) {
  const auto& c = ConstantsFor(version);
  TableDefinition table;
  table.version = version;
  table.tdef_page = stream.pages.empty() ? 0 : stream.pages.front();
  table.pages = stream.pages;
  table.tdef_length = view.U32(8);
  table.row_count = view.U32(c.tdef_row_count);
  table.autonumber = view.U32(c.tdef_autonumber);
  if (version == FormatVersion::Jet4) table.jet4_autonumber_flag = view.U8(24);
  table.table_type = view.U8(c.tdef_table_type);
  table.max_columns = view.U16(c.tdef_max_columns);
  table.var_slots = view.U16(c.tdef_var_slots);
  table.column_count = view.U16(c.tdef_column_count);
  table.logical_index_count = view.U32(c.tdef_logical_index_count);
  table.real_index_count = view.U32(c.tdef_real_index_count);
  table.owned_map = RowPointer::FromRaw(view.U32(c.tdef_owned_map));
  table.free_map = RowPointer::FromRaw(view.U32(c.tdef_free_map));

  // Counts come from the file: bound them by the stream before allocating.
  const std::size_t room = view.size();
  if (table.real_index_count > room / c.real_index_stats_size)
    view.Fail("the real index count " + std::to_string(table.real_index_count) + " is impossible");
  if (table.logical_index_count > room / c.logical_index_descriptor_size)
    view.Fail("the logical index count " + std::to_string(table.logical_index_count) + " is impossible");
  if (table.column_count > room / c.column_descriptor_size)
    view.Fail("the column count " + std::to_string(table.column_count) + " is impossible");

  table.real_indexes.resize(table.real_index_count);
  for (auto& index : table.real_indexes) {
    io::ByteView stats = cursor.Take(c.real_index_stats_size, "index statistics");
    index.stats_rows = stats.U32(0);
    index.stats_distinct_keys = stats.U32(4);
    if (version == FormatVersion::Jet4) index.stats_jet4_extra = stats.U32(8);
  }
  table.columns.reserve(table.column_count);
  for (std::size_t k = 0; k < table.column_count; ++k)
    table.columns.push_back(DecodeColumn(cursor.Take(c.column_descriptor_size, "column descriptor"), version));
  return table;
}

// Puts the columns in number order (keeping the stored order apart) and
// refuses numbers that repeat and fixed columns that leave the page.
void SettleColumns(TableDefinition& table, const io::ByteView& view) {
  const auto& c = ConstantsFor(table.version);
  for (const auto& column : table.columns) table.stored_column_order.push_back(column.number);
  std::stable_sort(table.columns.begin(), table.columns.end(),
                   [](const ColumnDefinition& a, const ColumnDefinition& b) { return a.number < b.number; });
  for (std::size_t k = 1; k < table.columns.size(); ++k)
    if (table.columns[k].number == table.columns[k - 1].number)
      view.Fail("two columns share the number " + std::to_string(table.columns[k].number));
  for (const auto& column : table.columns) {
    if (column.IsFixed() && !column.HasNoData() &&
        std::size_t{column.fixed_offset} + column.length > c.page_size)
      view.Fail("column '" + column.name + "' has an impossible fixed offset");
  }
}

// Names differ when they differ in more than the case of ASCII letters.
std::string FoldName(const std::string& name) {
  std::string folded = name;
  for (char& ch : folded)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return folded;
}

// A name as Access allows it: 1 to 64 characters, none below a space.
bool PlausibleName(const std::string& name) {
  if (name.empty()) return false;
  std::size_t characters = 0;
  for (const char ch : name) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte < 0x20) return false;
    if ((byte & 0xC0) != 0x80) ++characters;
  }
  return characters <= 64;
}

}  // namespace

TableDefinition DecodeTableDefinition(const TdefStream& stream, FormatVersion version, std::uint16_t code_page,
                                      const std::string& file_name, std::size_t* end_of_definition) {
  const auto& c = ConstantsFor(version);
  const std::int64_t first_page = stream.pages.empty() ? -1 : stream.pages.front();
  const io::ByteView view(stream.bytes.data(), stream.bytes.size(), io::ByteSource{&file_name, first_page});
  StreamCursor cursor(view, c.tdef_body);
  TableDefinition table = DecodeHead(view, stream, version, cursor);
  for (auto& column : table.columns) column.name = cursor.Name(version, code_page);
  for (std::uint32_t k = 0; k < table.real_index_count; ++k) {
    RealIndexDefinition decoded =
        DecodeRealIndex(cursor.Take(c.real_index_descriptor_size, "real index descriptor"), version, k);
    decoded.stats_rows = table.real_indexes[k].stats_rows;
    decoded.stats_distinct_keys = table.real_indexes[k].stats_distinct_keys;
    decoded.stats_jet4_extra = table.real_indexes[k].stats_jet4_extra;
    table.real_indexes[k] = std::move(decoded);
  }
  table.logical_indexes.reserve(table.logical_index_count);
  for (std::size_t k = 0; k < table.logical_index_count; ++k)
    table.logical_indexes.push_back(
        DecodeLogicalIndex(cursor.Take(c.logical_index_descriptor_size, "logical index descriptor"), version));
  for (auto& index : table.logical_indexes) index.name = cursor.Name(version, code_page);

  std::size_t terminator_end = 0;
  // Long-value trailer: column number + two map pointers, ended by 0xFFFF.
  // Older files may end without it; stop at the stream's end then.
  while (view.Contains(cursor.at(), 2)) {
    const std::uint16_t number = view.U16(cursor.at());
    if (number == 0xFFFF) {
      terminator_end = cursor.at() + 2;
      break;
    }
    if (!view.Contains(cursor.at(), 10)) break;
    io::ByteView entry = cursor.Take(10, "long-value map entry");
    table.long_value_maps.push_back(
        {number, RowPointer::FromRaw(entry.U32(2)), RowPointer::FromRaw(entry.U32(6))});
    if (table.long_value_maps.size() > table.column_count) view.Fail("the long-value map list does not end");
  }
  SettleColumns(table, view);
  if (end_of_definition) *end_of_definition = terminator_end;
  return table;
}

TableDefinition DecodeColumnsOfDamagedDefinition(const TdefStream& stream, FormatVersion version,
                                                 std::uint16_t code_page, const std::string& file_name,
                                                 DefinitionSalvage& salvage) {
  const auto& c = ConstantsFor(version);
  const std::int64_t first_page = stream.pages.empty() ? -1 : stream.pages.front();
  const io::ByteView view(stream.bytes.data(), stream.bytes.size(), io::ByteSource{&file_name, first_page});
  StreamCursor cursor(view, c.tdef_body);
  TableDefinition table = DecodeHead(view, stream, version, cursor);
  // Names are read in stored order up to the first that cannot be read or
  // could not have been written; after a damaged length nothing lines up.
  std::set<std::string> taken;
  salvage = {};
  for (auto& column : table.columns) {
    std::string name;
    try {
      name = cursor.Name(version, code_page);
    } catch (const vondrel::Error&) {
      break;
    }
    if (!PlausibleName(name) || !taken.insert(FoldName(name)).second) break;
    column.name = std::move(name);
    ++salvage.names_read;
  }
  for (std::size_t k = salvage.names_read; k < table.columns.size(); ++k) {
    ColumnDefinition& column = table.columns[k];
    for (int suffix = 0;; ++suffix) {
      column.name = "Field" + std::to_string(column.number + 1) + (suffix ? "_" + std::to_string(suffix) : "");
      if (taken.insert(FoldName(column.name)).second) break;
    }
    salvage.named.push_back(column.name);
  }
  salvage.indexes_lost = table.real_index_count > 0 || table.logical_index_count > 0;
  table.real_indexes.clear();
  table.logical_indexes.clear();
  table.real_index_count = 0;
  table.logical_index_count = 0;
  SettleColumns(table, view);
  return table;
}

TableDefinition ReadTableDefinition(const io::PageFile& file, FormatVersion version, std::uint16_t code_page,
                                    std::uint32_t first_page) {
  return DecodeTableDefinition(ReadTdefStream(file, version, first_page), version, code_page, file.name());
}

}  // namespace jet
