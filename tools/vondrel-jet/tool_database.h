#pragma once
// What several commands share: opening a database, finding a table by name,
// and handing a stored field to the value printers.

#include <filesystem>
#include <memory>
#include <string>

#include "dump_value.h"
#include "export_value.h"
#include "jet/read/database.h"

namespace vondrel::jet_tool {

// A file named on the command line (UTF-8 on every platform) as a host path:
// on Windows the wide path of the same characters, never the ANSI code page's.
std::filesystem::path HostPathOf(const std::string& utf8);

std::unique_ptr<jet::Database> OpenDatabase(const std::string& path);

// The table's catalog entry (case-insensitive name); throws 3265 when the
// database has no such table.
const jet::CatalogEntry& FindTable(const jet::Database& database, const std::string& name);

inline Bytes FieldBytes(const jet::StoredField& field) { return Bytes(field.bytes.data(), field.bytes.size()); }

inline ExportField ToExportField(const jet::ColumnDefinition& column, const jet::StoredField& field) {
  bool present = column.type == jet::ColumnType::Boolean ? field.bool_value : !field.is_null;
  return ExportField{column.type, column.scale, present, FieldBytes(field)};
}

inline DumpField ToDumpField(const jet::ColumnDefinition& column, const jet::StoredField& field) {
  bool present = column.type == jet::ColumnType::Boolean ? field.bool_value : !field.is_null;
  return DumpField{column.type, column.scale, present, FieldBytes(field)};
}

}  // namespace vondrel::jet_tool
