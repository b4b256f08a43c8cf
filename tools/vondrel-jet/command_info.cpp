// info FILE: the header facts (format, page size, sort order, code page,
// page count, password and encoding state) and the tables with the row counts
// their definitions record. Header facts are printed even when the database
// cannot be opened further (a password, damage), followed by the error.
#include <cstdio>

#include "base/error.h"
#include "commands.h"
#include "jet/format/header_page.h"
#include "jet/io/page_file.h"
#include "tool_database.h"
#include "tool_errors.h"

namespace vondrel::jet_tool {

namespace {

std::string Hex(std::uint32_t value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%0*X", digits, value);
  return buffer;
}

void PrintHeader(const jet::DatabaseHeader& header, std::uint64_t file_size, std::ostream& out) {
  bool jet3 = header.version == jet::FormatVersion::Jet3;
  std::size_t page_size = header.constants().page_size;
  out << "format: " << (jet3 ? "Jet 3 (Access 95/97)" : "Jet 4 (Access 2000-2003)") << "\n";
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

}  // namespace

int RunInfo(const Arguments& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1) {
    err << "usage: vondrel-jet info FILE\n";
    return kExitUsage;
  }
  const std::string& path = args[0];
  std::vector<std::uint8_t> bytes = jet::io::ReadWholeFile(path);
  jet::DatabaseHeader header = jet::DecodeHeader(bytes, path);
  out << "file: " << path << "\n";
  PrintHeader(header, bytes.size(), out);
  bytes.clear();
  bytes.shrink_to_fit();

  auto database = OpenDatabase(path);
  auto tables = database->Tables();
  std::size_t system = 0;
  for (const auto& entry : tables) system += entry.IsSystemObject() ? 1 : 0;
  out << "tables: " << tables.size() << " (" << system << " system)\n";
  int status = kExitSuccess;
  for (const auto& entry : tables) {
    out << "table: " << entry.name << "\t";
    try {
      jet::TableDefinition table = database->ReadTableDefinition(entry);
      out << table.row_count << " rows, " << table.columns.size() << " columns, "
          << table.logical_index_count << " indexes";
    } catch (const vondrel::Error& error) {
      out << "unreadable";
      PrintError(err, error);
      status = kExitFailure;
    }
    out << (entry.IsSystemObject() ? ", system" : "") << "\n";
  }
  return status;
}

}  // namespace vondrel::jet_tool
