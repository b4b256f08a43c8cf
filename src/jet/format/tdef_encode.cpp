#include "jet/format/tdef_encode.h"

#include <algorithm>
#include <stdexcept>

#include "jet/format/text_encode.h"

namespace jet::encode {
namespace {

void AppendName(Appender& out, const std::string& name, bool jet3, std::uint16_t code_page) {
  const Bytes bytes = jet3 ? EncodeCodePageText(name, code_page) : EncodeUtf16Le(name);
  if (jet3) {
    if (bytes.size() > 255) throw std::invalid_argument("name too long: " + name);
    out.U8(static_cast<std::uint8_t>(bytes.size()));
  } else {
    out.U16(static_cast<std::uint16_t>(bytes.size()));
  }
  out.Raw(bytes);
}

void AppendColumn(Appender& out, const ColumnDefinition& c, bool jet3) {
  out.U8(static_cast<std::uint8_t>(c.type));
  if (jet3) {
    out.U16(c.number);
    out.U16(c.var_index);
    out.U16(c.second_number);
    out.U16(c.jet3_unknown);
    out.U16(c.sort_order);
    out.U16(c.code_page);
    out.U8(c.flags);
    out.U16(c.fixed_offset);
    out.U16(c.length);
    return;
  }
  out.U32(kJet4DescriptorMagic);
  out.U16(c.number);
  out.U16(c.var_index);
  out.U16(c.second_number);
  if (c.type == ColumnType::Numeric) {
    out.U8(c.precision);
    out.U8(c.scale);
  } else {
    out.U16(c.sort_order);
  }
  out.U8(c.jet4_unknown13);
  out.U8(c.sort_order_version);
  out.U8(c.flags);
  out.U8(c.ext_flags);
  out.U32(c.jet4_unknown17);
  out.U16(c.fixed_offset);
  out.U16(c.length);
}

void AppendRealIndex(Appender& out, const RealIndexDefinition& index, bool jet3) {
  if (index.columns.size() > 10) throw std::invalid_argument("an index has at most 10 columns");
  if (!jet3) out.U32(kJet4RealIndexMagic);
  for (std::size_t slot = 0; slot < 10; ++slot) {
    if (slot < index.columns.size()) {
      out.U16(index.columns[slot].column_number);
      out.U8(index.columns[slot].ascending ? 0x01 : 0x00);
    } else {
      out.U16(0xFFFF);
      out.U8(0x00);
    }
  }
  out.U32(index.usage_map.ToRaw());
  out.U32(index.root_page);
  if (!jet3) out.U32(0);
  out.U8(index.flags);
  if (!jet3) out.Zeros(5);
}

void AppendLogicalIndex(Appender& out, const LogicalIndexDefinition& index, bool jet3) {
  if (!jet3) out.U32(kJet4DescriptorMagic);
  out.U32(static_cast<std::uint32_t>(index.number));
  out.U32(static_cast<std::uint32_t>(index.real_index));
  out.U8(index.related_side);
  out.U32(static_cast<std::uint32_t>(index.related_index));
  out.U32(index.related_table_page);
  out.U8(index.cascade_update);
  out.U8(index.cascade_delete);
  out.U8(static_cast<std::uint8_t>(index.type));
  if (!jet3) out.U32(0);
}

// The columns in the order their descriptors are written: the stored order
// when it names each column exactly once, else number order.
std::vector<const ColumnDefinition*> DescriptorOrder(const TableDefinition& t) {
  std::vector<const ColumnDefinition*> order;
  if (t.stored_column_order.size() == t.columns.size()) {
    for (const std::uint16_t number : t.stored_column_order) {
      const ColumnDefinition* column = t.FindColumn(number);
      if (!column || std::find(order.begin(), order.end(), column) != order.end()) break;
      order.push_back(column);
    }
  }
  if (order.size() == t.columns.size()) return order;
  order.clear();
  for (const ColumnDefinition& column : t.columns) order.push_back(&column);
  return order;
}

}  // namespace

Bytes EncodeTdefStream(const TableDefinition& t, std::uint16_t code_page) {
  const bool jet3 = t.version == FormatVersion::Jet3;
  Bytes stream;
  stream.reserve(1024);
  Appender out(stream);
  out.U8(static_cast<std::uint8_t>(PageType::TableDefinition));
  out.U8(0x01);
  if (jet3) { out.U8('V'); out.U8('C'); } else { out.U16(0); }
  out.U32(0);  // next page
  out.U32(0);  // length, filled in below
  if (!jet3) out.U32(kJet4DescriptorMagic);
  out.U32(t.row_count);
  out.U32(t.autonumber);
  if (!jet3) {
    out.U8(t.jet4_autonumber_flag);
    out.Zeros(15);
  }
  out.U8(t.table_type);
  out.U16(t.max_columns);
  out.U16(t.var_slots);
  out.U16(static_cast<std::uint16_t>(t.columns.size()));
  out.U32(static_cast<std::uint32_t>(t.logical_indexes.size()));
  out.U32(static_cast<std::uint32_t>(t.real_indexes.size()));
  out.U32(t.owned_map.ToRaw());
  out.U32(t.free_map.ToRaw());

  for (const RealIndexDefinition& index : t.real_indexes) {
    out.U32(index.stats_rows);
    out.U32(index.stats_distinct_keys);
    if (!jet3) out.U32(0);
  }
  const std::vector<const ColumnDefinition*> descriptors = DescriptorOrder(t);
  for (const ColumnDefinition* column : descriptors) AppendColumn(out, *column, jet3);
  for (const ColumnDefinition* column : descriptors) AppendName(out, column->name, jet3, code_page);
  for (const RealIndexDefinition& index : t.real_indexes) AppendRealIndex(out, index, jet3);
  for (const LogicalIndexDefinition& index : t.logical_indexes) AppendLogicalIndex(out, index, jet3);
  for (const LogicalIndexDefinition& index : t.logical_indexes) AppendName(out, index.name, jet3, code_page);
  for (const LongValueColumnMaps& maps : t.long_value_maps) {
    out.U16(maps.column_number);
    out.U32(maps.owned_map.ToRaw());
    out.U32(maps.free_map.ToRaw());
  }
  out.U16(0xFFFF);
  PutU32(stream, 8, static_cast<std::uint32_t>(stream.size()));
  return stream;
}

std::size_t TdefPageCount(std::size_t stream_length, std::size_t page_size) {
  if (stream_length <= page_size) return 1;
  const std::size_t rest = stream_length - page_size;
  return 1 + (rest + page_size - 9) / (page_size - 8);
}

std::vector<Bytes> EncodeTdefPages(const Bytes& stream, FormatVersion version, const std::vector<std::uint32_t>& pages) {
  const std::size_t page_size = ConstantsFor(version).page_size;
  if (pages.size() != TdefPageCount(stream.size(), page_size)) throw std::logic_error("wrong number of TDEF pages");
  const bool jet3 = version == FormatVersion::Jet3;
  std::vector<Bytes> out;
  std::size_t taken = 0;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    Bytes page(page_size, 0);
    std::size_t used;
    if (i == 0) {
      used = std::min(page_size, stream.size());
      PutBytes(page, 0, stream.data(), used);
      taken = used;
    } else {
      const std::size_t length = std::min(page_size - 8, stream.size() - taken);
      page[0] = static_cast<std::uint8_t>(PageType::TableDefinition);
      page[1] = 0x01;
      PutBytes(page, 8, stream.data() + taken, length);
      taken += length;
      used = 8 + length;
    }
    if (jet3) {
      page[2] = 'V';
      page[3] = 'C';
    } else {
      PutU16(page, 2, static_cast<std::uint16_t>(used + 8 <= page_size ? page_size - used - 8 : 0));
    }
    PutU32(page, 4, i + 1 < pages.size() ? pages[i + 1] : 0);
    out.push_back(std::move(page));
  }
  return out;
}

}  // namespace jet::encode
