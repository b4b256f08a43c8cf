#include "jet/dao/dao.h"

#include <cctype>

#include "jet/io/error_numbers.h"

namespace jet::dao {
namespace {

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k)
    if (std::tolower(static_cast<unsigned char>(a[k])) != std::tolower(static_cast<unsigned char>(b[k])))
      return false;
  return true;
}

[[noreturn]] void ThrowClosed() {
  throw vondrel::Error(kObjectClosed, "The database was closed; its objects can no longer be used.");
}

}  // namespace

TableDef::TableDef(std::shared_ptr<const jet::Database> database, CatalogEntry entry, TableDefinition definition)
    : database_(std::move(database)), entry_(std::move(entry)), definition_(std::move(definition)) {
  for (const auto& column : definition_.columns) fields_.push_back({column.name, column.type, column.length});
  for (const auto& logical : definition_.logical_indexes) {
    Index index;
    index.name = logical.name;
    index.primary = logical.type == LogicalIndexType::PrimaryKey;
    index.foreign = logical.type == LogicalIndexType::ForeignKey;
    if (logical.real_index >= 0 && static_cast<std::size_t>(logical.real_index) < definition_.real_indexes.size()) {
      const RealIndexDefinition& real = definition_.real_indexes[logical.real_index];
      index.unique = real.IsUnique();
      for (const auto& key : real.columns)
        if (const ColumnDefinition* column = definition_.FindColumn(key.column_number))
          index.fields.push_back(column->name);
    }
    indexes_.push_back(std::move(index));
  }
}

void TableDef::ScanRows(const std::function<bool(const Row&)>& visit, const ScanOptions& options) const {
  database_->ScanRows(definition_, visit, options);
}

TableDef TableDefCollection::Item(int position) const {
  if (position < 0 || position >= Count())
    throw vondrel::Error(errors::kItemNotFound, "Item " + std::to_string(position) +
                                                    " was not found in this collection of " +
                                                    std::to_string(Count()) + " tables.");
  const CatalogEntry& entry = tables_[static_cast<std::size_t>(position)];
  return TableDef(database_, entry, database_->ReadTableDefinition(entry));
}

TableDef TableDefCollection::Item(const std::string& name) const {
  for (std::size_t k = 0; k < tables_.size(); ++k)
    if (SameName(tables_[k].name, name)) return Item(static_cast<int>(k));
  throw vondrel::Error(errors::kItemNotFound, "The table '" + name + "' was not found in this collection.");
}

Database::Database(std::unique_ptr<jet::Database> database)
    : database_(std::move(database)), name_(database_ ? database_->name() : std::string()) {}

const std::string& Database::Name() const { return name_; }

TableDefCollection Database::TableDefs() const {
  if (!database_) ThrowClosed();
  return TableDefCollection(database_, database_->Tables());
}

const jet::Database& Database::Engine() const {
  if (!database_) ThrowClosed();
  return *database_;
}

void Database::Close() { database_.reset(); }

std::unique_ptr<Database> DBEngine::OpenDatabase(const std::filesystem::path& name) {
  return std::make_unique<Database>(jet::Database::Open(name));
}

jet::compact::CompactStatistics DBEngine::CompactDatabase(const std::filesystem::path& source,
                                                         const std::filesystem::path& destination) {
  return jet::compact::CompactDatabase(source, destination, compact_options_);
}

}  // namespace jet::dao
