#include "jet/catalog_layout.h"

#include "jet/catalog.h"

namespace jet {
namespace {

// Column flags of engine system tables: fixed, variable, SID.
constexpr std::uint8_t kFixedColumn = 0x13;
constexpr std::uint8_t kVariableColumn = 0x12;
constexpr std::uint8_t kSidColumn = 0x32;

struct Layout {
  const char* name;
  ColumnType type;
  std::uint16_t var_index;
  std::uint8_t flags;
  std::uint16_t fixed_offset;
  std::uint16_t jet4_length;
};

constexpr Layout kColumns[] = {
    {"Id", ColumnType::Long, 0, kFixedColumn, 0, 4},
    {"ParentId", ColumnType::Long, 0, kFixedColumn, 4, 4},
    {"Name", ColumnType::Text, 0, kVariableColumn, 0, 510},
    {"Type", ColumnType::Integer, 1, kFixedColumn, 8, 2},
    {"DateCreate", ColumnType::DateTime, 1, kFixedColumn, 10, 8},
    {"DateUpdate", ColumnType::DateTime, 1, kFixedColumn, 18, 8},
    {"Owner", ColumnType::Binary, 1, kSidColumn, 0, 510},
    {"Flags", ColumnType::Long, 2, kFixedColumn, 26, 4},
    {"Database", ColumnType::Memo, 2, kVariableColumn, 0, 0},
    {"Connect", ColumnType::Memo, 3, kVariableColumn, 0, 0},
    {"ForeignName", ColumnType::Text, 4, kVariableColumn, 0, 510},
    {"RmtInfoShort", ColumnType::Binary, 5, kVariableColumn, 0, 510},
    {"RmtInfoLong", ColumnType::OLE, 6, kVariableColumn, 0, 0},
    {"Lv", ColumnType::OLE, 7, kVariableColumn, 0, 0},
    {"LvProp", ColumnType::OLE, 8, kVariableColumn, 0, 0},
    {"LvModule", ColumnType::OLE, 9, kVariableColumn, 0, 0},
    {"LvExtra", ColumnType::OLE, 10, kVariableColumn, 0, 0},
};

}  // namespace

TableDefinition StandardCatalogDefinition(FormatVersion version, std::uint16_t code_page) {
  const bool jet3 = version == FormatVersion::Jet3;
  TableDefinition t;
  t.version = version;
  t.tdef_page = kCatalogTdefPage;
  t.pages = {kCatalogTdefPage};
  t.table_type = kTableTypeSystem;
  std::uint16_t number = 0;
  for (const Layout& layout : kColumns) {
    ColumnDefinition c;
    c.name = layout.name;
    c.type = layout.type;
    c.number = number++;
    c.var_index = layout.var_index;
    c.flags = layout.flags;
    c.fixed_offset = (layout.flags & column_flags::kFixed) ? layout.fixed_offset : 0;
    c.length = layout.jet4_length;
    c.sort_order = 1033;
    if (jet3) {
      c.jet3_unknown = 1;
      c.code_page = code_page;
      if (c.type == ColumnType::Text || c.type == ColumnType::Binary) c.length = static_cast<std::uint16_t>(c.length / 2);
    }
    t.columns.push_back(c);
  }
  t.max_columns = number;
  t.var_slots = 11;
  t.column_count = number;
  // Indexes are rebuilt from the rows: (ParentId, Name) and the primary key Id.
  RealIndexDefinition parent_name, id;
  parent_name.number = 0;
  parent_name.columns = {{1, true}, {2, true}};
  id.number = 1;
  id.columns = {{0, true}};
  parent_name.flags = id.flags = jet3 ? 0x01 : 0x81;
  t.real_indexes = {parent_name, id};
  LogicalIndexDefinition by_parent, primary;
  by_parent.name = "ParentIdName";
  by_parent.number = 0;
  by_parent.real_index = 0;
  primary.name = "Id";
  primary.number = 1;
  primary.real_index = 1;
  primary.type = LogicalIndexType::PrimaryKey;
  by_parent.cascade_update = primary.cascade_update = 0x04;
  by_parent.cascade_delete = primary.cascade_delete = 0x04;
  t.logical_indexes = {by_parent, primary};
  t.real_index_count = 2;
  t.logical_index_count = 2;
  return t;
}

}  // namespace jet
