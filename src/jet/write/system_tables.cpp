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

using system_column_flags::kFixed;
using system_column_flags::kSid;
using system_column_flags::kVariable;

class SystemTable {
 public:
  SystemTable(FormatVersion version, std::uint16_t code_page) : version_(version), code_page_(code_page) {
    table_.version = version;
    table_.table_type = kTableTypeSystem;
    table_.jet4_autonumber_flag = 1;
  }
  void Column(const SystemColumnLayout& row) {
    const ColumnDefinition c = SystemColumnDefinition(row, version_, code_page_);
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
    // Both versions store the logical index descriptors in name order.
    std::stable_sort(table_.logical_indexes.begin(), table_.logical_indexes.end(),
                     [](const LogicalIndexDefinition& a, const LogicalIndexDefinition& b) {
                       return LessIgnoringAsciiCase(a.name, b.name);
                     });
    // Jet 4 stores the column descriptors of its system tables in name order,
    // Jet 3 in number order.
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
  for (const SystemColumnLayout& column : CatalogColumns()) t.Column(column);
  for (const SystemIndexLayout& index : CatalogIndexes()) {
    std::vector<IndexKeyColumn> key;
    for (std::uint16_t column : index.key_columns) key.push_back({column, true});
    t.Index(std::move(key), index.jet3_flags);
  }
  for (const SystemIndexLayout& index : CatalogIndexes()) t.Logical(index.name, index.number, index.number, index.type);
  return t.Take();
}

TableDefinition MSysACEsDefinition(FormatVersion version, std::uint16_t code_page) {
  SystemTable t(version, code_page);
  t.Column({"ObjectId", ColumnType::Long, 0, 0, kFixed, 0, 4});
  t.Column({"SID", ColumnType::Binary, 1, 0, kSid, 0, 510});
  t.Column({"ACM", ColumnType::Long, 2, 1, kFixed, 4, 4});
  t.Column({"FInheritable", ColumnType::Boolean, 3, 1, kFixed, 0, 1});
  t.Index({{0, true}}, 0x08);
  t.Logical("ObjectId", 0, 0, LogicalIndexType::Normal);
  return t.Take();
}

TableDefinition MSysQueriesDefinition(FormatVersion version, std::uint16_t code_page) {
  SystemTable t(version, code_page);
  t.Column({"ObjectId", ColumnType::Long, 0, 0, kFixed, 0, 4});
  t.Column({"Attribute", ColumnType::Byte, 1, 0, kFixed, 4, 1});
  t.Column({"Order", ColumnType::Binary, 2, 0, kVariable, 0, 510});
  t.Column({"Name1", ColumnType::Text, 3, 1, kVariable, 0, 510});
  t.Column({"Name2", ColumnType::Text, 4, 2, kVariable, 0, 510});
  t.Column({"Expression", ColumnType::Memo, 5, 3, kVariable, 0, 0});
  t.Column({"Flag", ColumnType::Integer, 6, 4, kFixed, 5, 2});
  if (version == FormatVersion::Jet4) t.Column({"LvExtra", ColumnType::Long, 7, 4, kFixed, 7, 4});
  t.Index({{0, true}, {1, true}, {2, true}}, 0x01);
  t.Logical("ObjectIdAttribute", 0, 0, LogicalIndexType::PrimaryKey);
  return t.Take();
}

TableDefinition MSysRelationshipsDefinition(FormatVersion version, std::uint16_t code_page) {
  SystemTable t(version, code_page);
  t.Column({"szRelationship", ColumnType::Text, 0, 0, kVariable, 0, 510});
  t.Column({"grbit", ColumnType::Long, 1, 1, kFixed, 0, 4});
  t.Column({"ccolumn", ColumnType::Long, 2, 1, kFixed, 4, 4});
  t.Column({"icolumn", ColumnType::Long, 3, 1, kFixed, 8, 4});
  t.Column({"szObject", ColumnType::Text, 4, 1, kVariable, 0, 510});
  t.Column({"szColumn", ColumnType::Text, 5, 2, kVariable, 0, 510});
  t.Column({"szReferencedObject", ColumnType::Text, 6, 3, kVariable, 0, 510});
  t.Column({"szReferencedColumn", ColumnType::Text, 7, 4, kVariable, 0, 510});
  t.Index({{0, true}}, 0x02);
  t.Index({{4, true}}, 0x02);
  t.Index({{6, true}}, 0x02);
  t.Logical("szObject", 1, 1, LogicalIndexType::Normal);
  t.Logical("szReferencedObject", 2, 2, LogicalIndexType::Normal);
  t.Logical("szRelationship", 0, 0, LogicalIndexType::Normal);
  return t.Take();
}

}  // namespace jet::write
