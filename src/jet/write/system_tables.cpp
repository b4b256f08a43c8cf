#include "jet/write/system_tables.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace jet::write {
namespace {

bool LessIgnoringAsciiCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
  });
}

// Column flags of engine system tables.
constexpr std::uint8_t kSysFixed = 0x13;
constexpr std::uint8_t kSysVariable = 0x12;
constexpr std::uint8_t kSysSid = 0x32;

struct ColumnRow {
  const char* name;
  ColumnType type;
  std::uint16_t number;
  std::uint16_t var_index;
  std::uint8_t flags;
  std::uint16_t fixed_offset;
  std::uint16_t length;  // text/binary: Jet 4 bytes; halved for Jet 3
};

class SystemTable {
 public:
  SystemTable(FormatVersion version, std::uint16_t code_page) : version_(version), code_page_(code_page) {
    table_.version = version;
    table_.table_type = kTableTypeSystem;
    table_.jet4_autonumber_flag = 1;
  }
  void Column(const ColumnRow& row) {
    ColumnDefinition c;
    c.type = row.type;
    c.number = row.number;
    c.var_index = row.var_index;
    c.flags = row.flags;
    c.fixed_offset = (row.flags & column_flags::kFixed) ? row.fixed_offset : 0;
    c.length = row.length;
    c.sort_order = 1033;
    if (version_ == FormatVersion::Jet3) {
      c.jet3_unknown = 1;
      c.code_page = code_page_;
      if (row.type == ColumnType::Text || row.type == ColumnType::Binary) c.length = row.length / 2;
    }
    c.name = row.name;
    table_.columns.push_back(c);
    table_.max_columns = std::max<std::uint16_t>(table_.max_columns, static_cast<std::uint16_t>(c.number + 1));
    if (!c.IsFixed() && c.type != ColumnType::Boolean) {
      table_.var_slots = std::max<std::uint16_t>(table_.var_slots, static_cast<std::uint16_t>(c.var_index + 1));
    }
  }
  void Index(std::vector<IndexKeyColumn> columns, std::uint8_t jet3_flags) {
    RealIndexDefinition index;
    index.number = static_cast<std::uint32_t>(table_.real_indexes.size());
    index.columns = std::move(columns);
    index.flags = version_ == FormatVersion::Jet4 ? static_cast<std::uint8_t>(jet3_flags | 0x80) : jet3_flags;
    table_.real_indexes.push_back(index);
  }
  void Logical(const char* name, std::int32_t number, std::int32_t real_index, LogicalIndexType type) {
    LogicalIndexDefinition index;
    index.name = name;
    index.number = number;
    index.real_index = real_index;
    index.type = type;
    index.cascade_update = 0x04;
    index.cascade_delete = 0x04;
    table_.logical_indexes.push_back(index);
  }
  TableDefinition Take() {
    // Jet 4 stores the descriptors of its system tables in name order, Jet 3
    // in number order.
    if (version_ == FormatVersion::Jet3) return Counted();
    std::vector<const ColumnDefinition*> by_name;
    for (const ColumnDefinition& c : table_.columns) by_name.push_back(&c);
    std::sort(by_name.begin(), by_name.end(), [](const ColumnDefinition* a, const ColumnDefinition* b) {
      return LessIgnoringAsciiCase(a->name, b->name);
    });
    for (const ColumnDefinition* c : by_name) table_.stored_column_order.push_back(c->number);
    return Counted();
  }

 private:
  TableDefinition Counted() {
    table_.column_count = static_cast<std::uint16_t>(table_.columns.size());
    table_.real_index_count = static_cast<std::uint32_t>(table_.real_indexes.size());
    table_.logical_index_count = static_cast<std::uint32_t>(table_.logical_indexes.size());
    return std::move(table_);
  }

  FormatVersion version_;
  std::uint16_t code_page_;
  TableDefinition table_;
};

}  // namespace

TableDefinition MSysObjectsDefinition(FormatVersion version, std::uint16_t code_page) {
  SystemTable t(version, code_page);
  t.Column({"Id", ColumnType::Long, 0, 0, kSysFixed, 0, 4});
  t.Column({"ParentId", ColumnType::Long, 1, 0, kSysFixed, 4, 4});
  t.Column({"Name", ColumnType::Text, 2, 0, kSysVariable, 0, 510});
  t.Column({"Type", ColumnType::Integer, 3, 1, kSysFixed, 8, 2});
  t.Column({"DateCreate", ColumnType::DateTime, 4, 1, kSysFixed, 10, 8});
  t.Column({"DateUpdate", ColumnType::DateTime, 5, 1, kSysFixed, 18, 8});
  t.Column({"Owner", ColumnType::Binary, 6, 1, kSysSid, 0, 510});
  t.Column({"Flags", ColumnType::Long, 7, 2, kSysFixed, 26, 4});
  t.Column({"Database", ColumnType::Memo, 8, 2, kSysVariable, 0, 0});
  t.Column({"Connect", ColumnType::Memo, 9, 3, kSysVariable, 0, 0});
  t.Column({"ForeignName", ColumnType::Text, 10, 4, kSysVariable, 0, 510});
  t.Column({"RmtInfoShort", ColumnType::Binary, 11, 5, kSysVariable, 0, 510});
  t.Column({"RmtInfoLong", ColumnType::OLE, 12, 6, kSysVariable, 0, 0});
  t.Column({"Lv", ColumnType::OLE, 13, 7, kSysVariable, 0, 0});
  t.Column({"LvProp", ColumnType::OLE, 14, 8, kSysVariable, 0, 0});
  t.Column({"LvModule", ColumnType::OLE, 15, 9, kSysVariable, 0, 0});
  t.Column({"LvExtra", ColumnType::OLE, 16, 10, kSysVariable, 0, 0});
  t.Index({{1, true}, {2, true}}, 0x01);
  t.Index({{0, true}}, 0x01);
  t.Logical("Id", 1, 1, LogicalIndexType::PrimaryKey);
  t.Logical("ParentIdName", 0, 0, LogicalIndexType::Normal);
  return t.Take();
}

TableDefinition MSysACEsDefinition(FormatVersion version, std::uint16_t code_page) {
  SystemTable t(version, code_page);
  t.Column({"ObjectId", ColumnType::Long, 0, 0, kSysFixed, 0, 4});
  t.Column({"SID", ColumnType::Binary, 1, 0, kSysSid, 0, 510});
  t.Column({"ACM", ColumnType::Long, 2, 1, kSysFixed, 4, 4});
  t.Column({"FInheritable", ColumnType::Boolean, 3, 1, kSysFixed, 0, 1});
  t.Index({{0, true}}, 0x08);
  t.Logical("ObjectId", 0, 0, LogicalIndexType::Normal);
  return t.Take();
}

TableDefinition MSysQueriesDefinition(FormatVersion version, std::uint16_t code_page) {
  SystemTable t(version, code_page);
  t.Column({"ObjectId", ColumnType::Long, 0, 0, kSysFixed, 0, 4});
  t.Column({"Attribute", ColumnType::Byte, 1, 0, kSysFixed, 4, 1});
  t.Column({"Order", ColumnType::Binary, 2, 0, kSysVariable, 0, 510});
  t.Column({"Name1", ColumnType::Text, 3, 1, kSysVariable, 0, 510});
  t.Column({"Name2", ColumnType::Text, 4, 2, kSysVariable, 0, 510});
  t.Column({"Expression", ColumnType::Memo, 5, 3, kSysVariable, 0, 0});
  t.Column({"Flag", ColumnType::Integer, 6, 4, kSysFixed, 5, 2});
  if (version == FormatVersion::Jet4) t.Column({"LvExtra", ColumnType::Long, 7, 4, kSysFixed, 7, 4});
  t.Index({{0, true}, {1, true}, {2, true}}, 0x01);
  t.Logical("ObjectIdAttribute", 0, 0, LogicalIndexType::PrimaryKey);
  return t.Take();
}

TableDefinition MSysRelationshipsDefinition(FormatVersion version, std::uint16_t code_page) {
  SystemTable t(version, code_page);
  t.Column({"szRelationship", ColumnType::Text, 0, 0, kSysVariable, 0, 510});
  t.Column({"grbit", ColumnType::Long, 1, 1, kSysFixed, 0, 4});
  t.Column({"ccolumn", ColumnType::Long, 2, 1, kSysFixed, 4, 4});
  t.Column({"icolumn", ColumnType::Long, 3, 1, kSysFixed, 8, 4});
  t.Column({"szObject", ColumnType::Text, 4, 1, kSysVariable, 0, 510});
  t.Column({"szColumn", ColumnType::Text, 5, 2, kSysVariable, 0, 510});
  t.Column({"szReferencedObject", ColumnType::Text, 6, 3, kSysVariable, 0, 510});
  t.Column({"szReferencedColumn", ColumnType::Text, 7, 4, kSysVariable, 0, 510});
  t.Index({{0, true}}, 0x02);
  t.Index({{4, true}}, 0x02);
  t.Index({{6, true}}, 0x02);
  t.Logical("szObject", 1, 1, LogicalIndexType::Normal);
  t.Logical("szReferencedObject", 2, 2, LogicalIndexType::Normal);
  t.Logical("szRelationship", 0, 0, LogicalIndexType::Normal);
  return t.Take();
}

}  // namespace jet::write
