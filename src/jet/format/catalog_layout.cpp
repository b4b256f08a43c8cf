#include "jet/format/catalog_layout.h"

#include <algorithm>

namespace jet {
namespace {

using system_column_flags::kFixed;
using system_column_flags::kSid;
using system_column_flags::kVariable;

constexpr SystemColumnLayout kColumns[] = {
    {"Id", ColumnType::Long, msys_objects::kId, 0, kFixed, 0, 4},
    {"ParentId", ColumnType::Long, msys_objects::kParentId, 0, kFixed, 4, 4},
    {"Name", ColumnType::Text, msys_objects::kName, 0, kVariable, 0, 510},
    {"Type", ColumnType::Integer, msys_objects::kType, 1, kFixed, 8, 2},
    {"DateCreate", ColumnType::DateTime, msys_objects::kDateCreate, 1, kFixed, 10, 8},
    {"DateUpdate", ColumnType::DateTime, msys_objects::kDateUpdate, 1, kFixed, 18, 8},
    {"Owner", ColumnType::Binary, msys_objects::kOwner, 1, kSid, 0, 510},
    {"Flags", ColumnType::Long, msys_objects::kFlags, 2, kFixed, 26, 4},
    {"Database", ColumnType::Memo, 8, 2, kVariable, 0, 0},
    {"Connect", ColumnType::Memo, 9, 3, kVariable, 0, 0},
    {"ForeignName", ColumnType::Text, 10, 4, kVariable, 0, 510},
    {"RmtInfoShort", ColumnType::Binary, 11, 5, kVariable, 0, 510},
    {"RmtInfoLong", ColumnType::OLE, 12, 6, kVariable, 0, 0},
    {"Lv", ColumnType::OLE, 13, 7, kVariable, 0, 0},
    {"LvProp", ColumnType::OLE, 14, 8, kVariable, 0, 0},
    {"LvModule", ColumnType::OLE, 15, 9, kVariable, 0, 0},
    {"LvExtra", ColumnType::OLE, 16, 10, kVariable, 0, 0},
};

constexpr std::uint16_t kParentIdName[] = {msys_objects::kParentId, msys_objects::kName};
constexpr std::uint16_t kIdKey[] = {msys_objects::kId};

constexpr SystemIndexLayout kIndexes[] = {
    {"ParentIdName", 0, LogicalIndexType::Normal, index_flags::kUnique, kParentIdName},
    {"Id", 1, LogicalIndexType::PrimaryKey, index_flags::kUnique, kIdKey},
};

}  // namespace

std::span<const SystemColumnLayout> CatalogColumns() { return kColumns; }

std::span<const SystemIndexLayout> CatalogIndexes() { return kIndexes; }

ColumnDefinition SystemColumnDefinition(const SystemColumnLayout& layout, FormatVersion version,
                                        std::uint16_t code_page) {
  ColumnDefinition c;
  c.name = layout.name;
  c.type = layout.type;
  c.number = layout.number;
  c.var_index = layout.var_index;
  c.flags = layout.flags;
  c.fixed_offset = (layout.flags & column_flags::kFixed) ? layout.fixed_offset : 0;
  c.length = layout.length;
  c.sort_order = 1033;
  if (version == FormatVersion::Jet3) {
    c.jet3_unknown = 1;
    c.code_page = code_page;
    if (c.type == ColumnType::Text || c.type == ColumnType::Binary) c.length = static_cast<std::uint16_t>(c.length / 2);
  }
  return c;
}

TableDefinition StandardCatalogDefinition(FormatVersion version, std::uint16_t code_page) {
  TableDefinition t;
  t.version = version;
  t.tdef_page = kCatalogTdefPage;
  t.pages = {kCatalogTdefPage};
  t.table_type = kTableTypeSystem;
  for (const SystemColumnLayout& layout : CatalogColumns()) {
    const ColumnDefinition c = SystemColumnDefinition(layout, version, code_page);
    t.max_columns = std::max<std::uint16_t>(t.max_columns, static_cast<std::uint16_t>(c.number + 1));
    if (!c.IsFixed()) t.var_slots = std::max<std::uint16_t>(t.var_slots, static_cast<std::uint16_t>(c.var_index + 1));
    t.columns.push_back(c);
  }
  t.column_count = static_cast<std::uint16_t>(t.columns.size());
  for (const SystemIndexLayout& layout : CatalogIndexes()) {
    RealIndexDefinition real;
    real.number = static_cast<std::uint32_t>(layout.number);
    for (std::uint16_t column : layout.key_columns) real.columns.push_back({column, true});
    real.flags = version == FormatVersion::Jet4 ? static_cast<std::uint8_t>(layout.jet3_flags | 0x80) : layout.jet3_flags;
    t.real_indexes.push_back(real);
    LogicalIndexDefinition logical;
    logical.name = layout.name;
    logical.number = layout.number;
    logical.real_index = layout.number;
    logical.type = layout.type;
    logical.cascade_update = 0x04;
    logical.cascade_delete = 0x04;
    t.logical_indexes.push_back(logical);
  }
  t.real_index_count = static_cast<std::uint32_t>(t.real_indexes.size());
  t.logical_index_count = static_cast<std::uint32_t>(t.logical_indexes.size());
  return t;
}

std::optional<std::string> CatalogDefinitionFault(const TableDefinition& definition) {
  for (const SystemColumnLayout& layout : CatalogColumns()) {
    if (layout.number > msys_objects::kFlags) break;
    const ColumnDefinition* column = definition.FindColumn(std::string(layout.name));
    if (!column) return std::string("it lacks the column ") + layout.name;
    const bool fixed = (layout.flags & column_flags::kFixed) != 0;
    const bool placed = fixed ? column->IsFixed() && column->fixed_offset == layout.fixed_offset
                              : !column->IsFixed() && column->var_index == layout.var_index;
    if (column->type != layout.type || column->number != layout.number || !placed)
      return std::string("its column ") + layout.name + " has another type, number or place";
  }
  return std::nullopt;
}

std::optional<std::string> CatalogRowFault(const TableDefinition& catalog, std::span<const StoredField> fields) {
  for (const std::uint16_t number : {msys_objects::kId, msys_objects::kParentId, msys_objects::kName, msys_objects::kType}) {
    const ColumnDefinition* column = catalog.FindColumn(number);
    if (!column) continue;  // a definition without it is refused before its rows are read
    const auto position = static_cast<std::size_t>(column - catalog.columns.data());
    if (position < fields.size() && fields[position].is_null)
      return "the catalog row has no " + column->name + ", which every object has";
  }
  return std::nullopt;
}

}  // namespace jet
