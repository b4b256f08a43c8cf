#pragma once
// The DAO-shaped facade over the engine: what the repair operation calls.
// DBEngine opens and compacts databases; a Database lists its tables through
// TableDefs in a stable order (by name, case-insensitive, then by Id),
// system tables included.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "jet/compact/compactor.h"
#include "jet/format/table_definition.h"
#include "jet/read/database.h"

namespace jet::dao {

// "Object invalid or no longer set": use of a closed database.
inline constexpr std::int32_t kObjectClosed = 3420;

struct Field {
  std::string name;
  ColumnType type = ColumnType::Long;
  std::uint16_t size = 0;  // stored length in bytes (0 for memo/OLE)
};

struct Index {
  std::string name;
  bool primary = false;
  bool unique = false;
  bool foreign = false;
  std::vector<std::string> fields;  // key columns in key order
};

class TableDef {
 public:
  TableDef(std::shared_ptr<const jet::Database> database, CatalogEntry entry, TableDefinition definition);

  const std::string& Name() const { return entry_.name; }
  const CatalogEntry& Entry() const { return entry_; }
  const TableDefinition& Definition() const { return definition_; }
  const std::vector<Field>& Fields() const { return fields_; }
  const std::vector<Index>& Indexes() const { return indexes_; }
  // The row count the definition records.
  std::uint32_t RecordCount() const { return definition_.row_count; }
  // Calls `visit` for every live row; see jet::Database::ScanRows.
  void ScanRows(const std::function<bool(const Row&)>& visit, const ScanOptions& options = {}) const;

 private:
  std::shared_ptr<const jet::Database> database_;
  CatalogEntry entry_;
  TableDefinition definition_;
  std::vector<Field> fields_;
  std::vector<Index> indexes_;
};

class TableDefCollection {
 public:
  TableDefCollection(std::shared_ptr<const jet::Database> database, std::vector<CatalogEntry> tables)
      : database_(std::move(database)), tables_(std::move(tables)) {}
  int Count() const { return static_cast<int>(tables_.size()); }
  // Parses the definition of the table at `position` (0-based). Throws 3265
  // when out of range, 3049 when the definition is unusable.
  TableDef Item(int position) const;
  // By name (case-insensitive); throws 3265 when there is none.
  TableDef Item(const std::string& name) const;

 private:
  std::shared_ptr<const jet::Database> database_;
  std::vector<CatalogEntry> tables_;
};

class Database {
 public:
  explicit Database(std::unique_ptr<jet::Database> database);
  ~Database() { Close(); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const std::string& Name() const;
  // Throws 3420 after Close.
  TableDefCollection TableDefs() const;
  // The engine database (throws 3420 after Close).
  const jet::Database& Engine() const;
  // Releases the file; safe to call twice.
  void Close();

 private:
  std::shared_ptr<const jet::Database> database_;
  std::string name_;
};

class DBEngine {
 public:
  DBEngine() = default;
  // Every compaction of this engine runs with `options` (its progress reports).
  explicit DBEngine(jet::compact::CompactOptions options) : compact_options_(std::move(options)) {}

  // Writes a compacted copy of `source` to `destination` (which must not
  // exist: 3204) and tells what it salvaged. Defined with the compactor.
  jet::compact::CompactStatistics CompactDatabase(const std::filesystem::path& source, const std::filesystem::path& destination);
  // Opens a database read-only: 3024 missing, 3343 not Jet 3/4, 3031
  // password, 3049 damaged.
  std::unique_ptr<Database> OpenDatabase(const std::filesystem::path& name);

 private:
  jet::compact::CompactOptions compact_options_;
};

}  // namespace jet::dao
