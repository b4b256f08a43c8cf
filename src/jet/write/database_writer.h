#pragma once
// The engine's writing API: creates a new database with Jet's system tables,
// user tables with columns and indexes, and their rows. Declare every table
// first, then insert each table's rows in turn, then Close().
//
//   DatabaseWriter db(path, {});
//   auto people = db.AddTable({"People", {{"Id", ColumnType::Long, 0, true}, {"Name", ColumnType::Text, 50}},
//                              {{"PrimaryKey", {{"Id", true}}, true}}});
//   db.BeginRows(people); db.Insert({Value::Null(), Value::Text("Ada")}); db.EndRows();
//   db.Close();

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "jet/format/table_definition.h"
#include "jet/write/database_builder.h"
#include "jet/write/value.h"

namespace jet::write {

struct ColumnSpec {
  std::string name;
  ColumnType type = ColumnType::Long;
  std::uint16_t size = 0;   // Text: characters (default 255); Binary: bytes (default 255)
  bool autonumber = false;  // Long only
  bool required = false;
};

struct IndexSpec {
  std::string name;
  std::vector<std::pair<std::string, bool>> columns;  // column name, ascending
  bool primary_key = false;
  bool unique = false;
  bool ignore_nulls = false;
};

struct TableSpec {
  std::string name;
  std::vector<ColumnSpec> columns;
  std::vector<IndexSpec> indexes;
};

struct CreateOptions {
  FormatVersion version = FormatVersion::Jet4;
  std::uint16_t code_page = 1252;
  std::uint16_t sort_order = 1033;
  double creation_date = 45000.5;  // days since 1899-12-30
  // Memory one table's index entries may take before they spill to a
  // temporary file; the file written is the same whatever the budget.
  std::size_t index_memory_budget = kDefaultIndexMemoryBudget;
};

class DatabaseWriter {
 public:
  using TableHandle = std::uint32_t;

  // Throws vondrel::Error 3204 when the file exists.
  DatabaseWriter(const std::filesystem::path& path, const CreateOptions& options);
  ~DatabaseWriter();

  TableHandle AddTable(const TableSpec& spec);
  const TableDefinition& Definition(TableHandle table) const;

  void BeginRows(TableHandle table);
  // One value per column in the spec's order; a null AutoNumber gets the next
  // number. Returns where the row was stored.
  RowPointer Insert(const std::vector<Value>& values);
  void EndRows();

  // Rows of several tables at once, stored as a database in use stores them
  // (for files that test and measure the reading of aged databases): pages
  // of the open tables interleave, deleted rows stay flagged on their pages,
  // and a row updated to a longer version is moved to another page behind
  // an overflow pointer. BeginRows waits until every opened table is closed.
  void OpenRows(TableHandle table);
  RowPointer InsertInto(TableHandle table, const std::vector<Value>& values);
  RowPointer InsertDeleted(TableHandle table, const std::vector<Value>& values);
  // `before` is the version the slot keeps (its long values are left out), `after` the row's values.
  RowPointer InsertMoved(TableHandle table, const std::vector<Value>& before, const std::vector<Value>& after);
  void CloseRows(TableHandle table);

  // Writes the catalog and flushes the file; without it the file is removed.
  void Close();

 private:
  struct TableInfo {
    std::string name;
    TableHandle handle;
    bool written = false;
    std::int32_t next_autonumber = 1;
  };
  // The values of one row as the table builder takes them; `stored` holds their bytes.
  struct Fields {
    std::vector<encode::Bytes> stored;
    std::vector<encode::FieldValue> fields;
  };
  void Convert(const TableDefinition& table, const std::vector<Value>& values, std::int32_t* autonumber, Fields& out);
  TableInfo& Info(TableHandle table);
  TableBuilder& Open(TableHandle table);
  void WriteSystemRows();
  RowPointer InsertInto(TableBuilder& builder, const TableDefinition& table, const std::vector<Value>& values,
                  std::int32_t* autonumber);

  CreateOptions options_;
  encode::Bytes header_;  // unmasked page 0, the SID mask comes from it
  DatabaseBuilder builder_;
  TableHandle objects_, aces_, queries_, relationships_;
  std::vector<TableInfo> user_tables_;
  TableInfo* current_ = nullptr;
  TableBuilder* rows_ = nullptr;
  std::vector<std::pair<TableHandle, TableBuilder*>> open_;  // by OpenRows
  bool closed_ = false;
};

}  // namespace jet::write
