#include "jet/compact/catalog_name_check.h"

#include <map>

#include "jet/read/catalog.h"
#include "jet/read/index_reader.h"

namespace jet::compact {
namespace {

const RealIndexDefinition* NameIndex(const TableDefinition& catalog) {
  const ColumnDefinition* name = catalog.FindColumn(std::string("Name"));
  if (!name) return nullptr;
  for (const RealIndexDefinition& index : catalog.real_indexes) {
    for (const IndexKeyColumn& key : index.columns)
      if (key.column_number == name->number) return &index;
  }
  return nullptr;
}

struct ComputedKey {
  KeyBytes key;
  bool covered = false;
  std::string name;
};

std::vector<SuspectCatalogRow> Disagreeing(const Database& db) {
  std::vector<SuspectCatalogRow> suspects;
  if (db.catalog_rebuilt()) return suspects;
  const TableDefinition& catalog = db.catalog_definition();
  const RealIndexDefinition* index = NameIndex(catalog);
  if (!index) return suspects;
  const IndexTreeWalk walk = ReadIndexEntries(db, catalog, *index);
  if (!walk.problems.empty()) return suspects;

  const ColumnDefinition* name_column = catalog.FindColumn(std::string("Name"));
  const auto name_position = static_cast<std::size_t>(name_column - catalog.columns.data());
  const KeyDatabaseSettings settings = KeySettingsOf(db);
  std::map<RowPointer, ComputedKey> computed;
  std::vector<KeyField> fields;
  const SalvagePages pages = db.SalvageDataPages(catalog);
  ScanOptions options;
  options.pages = &pages.pages;
  options.assemble_long_values = false;  // the name index holds no long values
  options.on_damaged_row = [](RowPointer, const vondrel::Error&) {};  // reported by the open
  options.on_damaged_page = [](std::uint32_t, const vondrel::Error&) {};
  db.ScanRows(
      catalog,
      [&](const Row& row) {
        KeyFieldsOf(row, fields);
        ComputedKey& want = computed[row.listed_at];
        want.covered = ComputeRowKey(catalog, *index, fields, settings, want.key).covered;
        const StoredField& name = row.fields[name_position];
        if (!name.is_null) want.name = db.DecodeText(std::span(name.bytes.data(), name.bytes.size()));
        return true;
      },
      options);
  for (const IndexEntry& entry : walk.entries) {
    const RowPointer at{entry.data_page, entry.row};
    const auto found = computed.find(at);
    if (found == computed.end() || !found->second.covered || found->second.key == entry.key) continue;
    suspects.push_back({at, found->second.name});
  }
  return suspects;
}

}  // namespace

std::vector<SuspectCatalogRow> CatalogRowsDisagreeingWithIndex(const Database& db) {
  try {
    return Disagreeing(db);
  } catch (const vondrel::Error&) {
    return {};  // a catalog that cannot be read this far has its damage reported by the open
  }
}

}  // namespace jet::compact
