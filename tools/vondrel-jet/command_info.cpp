// info [--json] FILE: the header facts (format, page size, sort order, code
// page, page count, password and encoding state) and the tables with the row
// counts their definitions record. Header facts are printed even when the
// database cannot be opened further (a password, damage), followed by the
// error. With --json the same facts form one JSON document, errors included.
#include <cstdio>
#include <optional>

#include "base/error.h"
#include "commands.h"
#include "jet/format/header_decode.h"
#include "jet/io/page_file.h"
#include "json_writer.h"
#include "tool_database.h"
#include "tool_errors.h"

namespace vondrel::jet_tool {

namespace {

std::string Hex(std::uint32_t value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%0*X", digits, value);
  return buffer;
}

const char* FormatName(const jet::DatabaseHeader& header) {
  return header.version == jet::FormatVersion::Jet3 ? "Jet 3 (Access 95/97)" : "Jet 4 (Access 2000-2003)";
}

void PrintHeader(const jet::DatabaseHeader& header, std::uint64_t file_size, std::ostream& out) {
  bool jet3 = header.version == jet::FormatVersion::Jet3;
  std::size_t page_size = header.constants().page_size;
  out << "format: " << FormatName(header) << "\n";
  out << "version byte: " << Hex(header.version_byte, 2) << "\n";
  out << "page size: " << page_size << "\n";
  out << "page count: " << file_size / page_size;
  if (file_size % page_size) out << " (and " << file_size % page_size << " trailing bytes)";
  out << "\n";
  out << "sort order: " << header.sort_order;
  if (!jet3) out << " (version " << int{header.sort_order_version} << ")";
  out << "\n";
  out << "code page: " << header.code_page << "\n";
  out << "password: " << (header.has_password ? "set" : "none") << "\n";
  out << "encoding: ";
  if (header.database_key == 0) {
    out << "none\n";
  } else {
    out << "RC4 (database key " << Hex(header.database_key, 8) << ")\n";
  }
  if (!jet3) out << "creation date: " << FormatDateTime(header.creation_date) << "\n";
}

// The same facts as JSON members; what a version does not record is null.
void WriteHeader(const jet::DatabaseHeader& header, std::uint64_t file_size, JsonWriter& json) {
  const bool jet3 = header.version == jet::FormatVersion::Jet3;
  const std::size_t page_size = header.constants().page_size;
  json.Member("format", FormatName(header));
  json.Member("version_byte", header.version_byte);
  json.Member("page_size", page_size);
  json.Member("page_count", file_size / page_size);
  json.Member("trailing_bytes", file_size % page_size);
  json.Member("sort_order", header.sort_order);
  json.Key("sort_order_version");
  if (jet3) json.Null(); else json.Integer(header.sort_order_version);
  json.Member("code_page", header.code_page);
  json.Member("password", header.has_password);
  json.Member("encoding", header.database_key == 0 ? "none" : "RC4");
  json.Key("database_key");
  if (header.database_key == 0) json.Null(); else json.Integer(header.database_key);
  json.Key("creation_date");
  if (jet3) json.Null(); else json.String(FormatDateTime(header.creation_date));
}

void WriteError(const vondrel::Error& error, JsonWriter& json) {
  json.Key("error");
  json.BeginObject();
  json.Member("number", error.number());
  json.Member("description", error.description());
  json.EndObject();
}

// One table as its definition describes it, or the error that stopped reading it.
struct TableFacts {
  std::string name;
  bool system = false;
  std::optional<jet::TableDefinition> definition;
  std::optional<vondrel::Error> error;
};

std::vector<TableFacts> ReadTables(const jet::Database& database) {
  std::vector<TableFacts> tables;
  for (const auto& entry : database.Tables()) {
    TableFacts& table = tables.emplace_back();
    table.name = entry.name;
    table.system = entry.IsSystemObject();
    try {
      table.definition = database.ReadTableDefinition(entry);
    } catch (const vondrel::Error& error) {
      table.error = error;
    }
  }
  return tables;
}

int PrintTables(const std::vector<TableFacts>& tables, std::ostream& out, std::ostream& err) {
  std::size_t system = 0;
  for (const auto& table : tables) system += table.system ? 1 : 0;
  out << "tables: " << tables.size() << " (" << system << " system)\n";
  int status = kExitSuccess;
  for (const auto& table : tables) {
    out << "table: " << table.name << "\t";
    if (table.definition) {
      out << table.definition->row_count << " rows, " << table.definition->columns.size() << " columns, "
          << table.definition->logical_index_count << " indexes";
    } else {
      out << "unreadable";
      PrintError(err, *table.error);
      status = kExitFailure;
    }
    out << (table.system ? ", system" : "") << "\n";
  }
  return status;
}

int WriteTables(const std::vector<TableFacts>& tables, JsonWriter& json, std::ostream& err) {
  int status = kExitSuccess;
  json.Key("tables");
  json.BeginArray();
  for (const auto& table : tables) {
    json.BeginObject();
    json.Member("name", table.name);
    json.Member("system", table.system);
    if (table.definition) {
      json.Member("rows", table.definition->row_count);
      json.Member("columns", table.definition->columns.size());
      json.Member("indexes", table.definition->logical_index_count);
    } else {
      WriteError(*table.error, json);
      PrintError(err, *table.error);
      status = kExitFailure;
    }
    json.EndObject();
  }
  json.EndArray();
  return status;
}

int PrintJson(const std::string& path, const jet::DatabaseHeader& header, std::uint64_t file_size,
              std::ostream& out, std::ostream& err) {
  JsonWriter json(out);
  json.BeginObject();
  json.Member("file", path);
  WriteHeader(header, file_size, json);
  int status = kExitSuccess;
  try {
    auto database = OpenDatabase(path);
    status = WriteTables(ReadTables(*database), json, err);
  } catch (const vondrel::Error& error) {
    // The document stays whole: the error that stopped the listing is part of it.
    WriteError(error, json);
    PrintError(err, error);
    status = kExitFailure;
  }
  json.EndObject();
  out << "\n";
  return status;
}

}  // namespace

int RunInfo(const Arguments& arguments, std::ostream& out, std::ostream& err, const ToolSettings&) {
  Arguments args = arguments;
  const bool as_json = TakeOption(args, "--json");
  if (args.size() != 1) {
    err << "usage: vondrel-jet info [--json] FILE\n";
    return kExitUsage;
  }
  const std::string& path = args[0];
  std::vector<std::uint8_t> bytes = jet::io::ReadWholeFile(HostPathOf(path));
  jet::DatabaseHeader header = jet::DecodeHeader(bytes, path);
  const std::uint64_t file_size = bytes.size();
  bytes.clear();
  bytes.shrink_to_fit();
  if (as_json) return PrintJson(path, header, file_size, out, err);

  out << "file: " << path << "\n";
  PrintHeader(header, file_size, out);
  auto database = OpenDatabase(path);
  return PrintTables(ReadTables(*database), out, err);
}

}  // namespace vondrel::jet_tool
