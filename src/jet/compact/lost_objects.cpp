#include "jet/compact/lost_objects.h"

#include <cctype>

#include "jet/read/catalog.h"

namespace jet::compact {
namespace {

int Position(const TableDefinition& table, const char* column) {
  const ColumnDefinition* found = table.FindColumn(std::string(column));
  return found ? static_cast<int>(found - table.columns.data()) : -1;
}

std::int64_t IntegerAt(std::span<const StoredField> fields, int position) {
  if (position < 0 || static_cast<std::size_t>(position) >= fields.size()) return 0;
  const StoredField& field = fields[position];
  if (field.is_null) return 0;
  switch (field.bytes.size()) {
    case 2: return field.bytes.I16(0);
    case 4: return field.bytes.I32(0);
    default: return 0;
  }
}

std::string TextAt(const Database& db, std::span<const StoredField> fields, int position) {
  if (position < 0 || static_cast<std::size_t>(position) >= fields.size()) return {};
  const StoredField& field = fields[position];
  if (field.is_null) return {};
  return db.DecodeText(std::span(field.bytes.data(), field.bytes.size()));
}

}  // namespace

bool SameName(const std::string& a, const char* b) {
  if (a.size() != std::char_traits<char>::length(b)) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

std::string LostObjects::Lower(const std::string& name) {
  std::string lowered;
  for (unsigned char ch : name) lowered.push_back(static_cast<char>(std::tolower(ch)));
  return lowered;
}

void LostObjects::Add(std::uint32_t tdef_page, const std::string& name) {
  pages_.insert(tdef_page);
  names_.insert(Lower(name));
}

void LostObjects::FindRelationships(const Database& db, const TableDefinition* relationships) {
  if (empty() || !relationships) return;
  const int name = Position(*relationships, "szRelationship");
  const int object = Position(*relationships, "szObject");
  const int referenced = Position(*relationships, "szReferencedObject");
  ScanOptions options;
  options.assemble_long_values = false;
  options.on_damaged_row = [](RowPointer, const vondrel::Error&) {};  // the copy records them
  options.on_damaged_page = [](std::uint32_t, const vondrel::Error&) {};
  const SalvagePages pages = db.SalvageDataPages(*relationships);
  options.pages = &pages.pages;
  db.ScanRows(
      *relationships,
      [&](const Row& row) {
        if (IsLostName(TextAt(db, row.fields, object)) || IsLostName(TextAt(db, row.fields, referenced)))
          relationships_.insert(Lower(TextAt(db, row.fields, name)));
        return true;
      },
      options);
}

std::function<bool(std::span<const StoredField>)> LostObjects::FilterFor(const Database& db,
                                                                         const TableDefinition& table,
                                                                         const std::string& table_name) const {
  if (empty()) return {};
  if (table.tdef_page == kCatalogTdefPage) {
    const int id = Position(table, "Id"), type = Position(table, "Type"), name = Position(table, "Name");
    return [this, &db, id, type, name](std::span<const StoredField> fields) {
      const std::int64_t kind = IntegerAt(fields, type);
      const auto object = static_cast<std::uint32_t>(IntegerAt(fields, id));
      // A table's definition page is its Id's low 24 bits, whatever the high byte holds.
      if (kind == object_types::kTable && IsLostPage(object & 0x00FFFFFFu)) return false;
      if (kind == object_types::kRelationship && relationships_.count(Lower(TextAt(db, fields, name)))) return false;
      return true;
    };
  }
  if (SameName(table_name, "MSysACEs")) {
    const int id = Position(table, "ObjectId");
    return [this, id](std::span<const StoredField> fields) {
      const auto object = static_cast<std::uint32_t>(IntegerAt(fields, id));
      return (object & 0xFF000000u) != 0 || !IsLostPage(object);
    };
  }
  if (SameName(table_name, "MSysRelationships")) {
    const int object = Position(table, "szObject"), referenced = Position(table, "szReferencedObject");
    return [this, &db, object, referenced](std::span<const StoredField> fields) {
      return !IsLostName(TextAt(db, fields, object)) && !IsLostName(TextAt(db, fields, referenced));
    };
  }
  return {};
}

void DetachRelationship(LogicalIndexDefinition& index) {
  index.related_table_page = 0;
  index.related_index = -1;
  index.related_side = 0;
  index.cascade_update = 0x04;
  index.cascade_delete = 0x04;
  if (index.type == LogicalIndexType::ForeignKey) index.type = LogicalIndexType::Normal;
}

}  // namespace jet::compact
