// dump FILE [TABLE...]: every row of the named tables (all tables without
// names) in the comparison form of dump_value.h, framed per table as
//   table<TAB>"name"   count<TAB>stored row count   columns<TAB>"a"<TAB>...
//   row<TAB>value<TAB>...   (or error<TAB>"description" when unreadable)
// so the conformance tests can compare it with mdb-reader's view. A table
// that cannot be read does not stop the others; the exit status is then 1.
#include "base/error.h"
#include "commands.h"
#include "tool_database.h"

namespace vondrel::jet_tool {

namespace {

bool DumpTable(const jet::Database& database, const std::string& name, std::ostream& out) {
  std::string text = "table\t";
  AppendJsonUtf8(text, name);
  text += '\n';
  try {
    const jet::CatalogEntry& entry = FindTable(database, name);
    jet::TableDefinition table = database.ReadTableDefinition(entry);
    std::string body = "count\t" + std::to_string(table.row_count) + "\ncolumns";
    for (const auto& column : table.columns) {
      body += '\t';
      AppendJsonUtf8(body, column.name);
    }
    body += '\n';
    database.ScanRows(table, [&](const jet::Row& row) {
      body += "row";
      for (std::size_t i = 0; i < row.fields.size() && i < table.columns.size(); ++i) {
        body += '\t';
        AppendDumpField(body, ToDumpField(table.columns[i], row.fields[i]), database.version());
      }
      body += '\n';
      return true;
    });
    out << text << body;
    return true;
  } catch (const vondrel::Error& error) {
    text += "error\t";
    AppendJsonUtf8(text, "error " + std::to_string(error.number()) + ": " + error.description());
    out << text << '\n';
    return false;
  }
}

}  // namespace

int RunDump(const Arguments& args, std::ostream& out, std::ostream& err, const ToolSettings&) {
  if (args.empty()) {
    err << "usage: vondrel-jet dump FILE [TABLE...]\n";
    return kExitUsage;
  }
  auto database = OpenDatabase(args[0]);
  std::vector<std::string> names(args.begin() + 1, args.end());
  if (names.empty()) {
    for (const auto& entry : database->Tables()) names.push_back(entry.name);
  }
  bool all_read = true;
  for (const auto& name : names) all_read = DumpTable(*database, name, out) && all_read;
  return all_read ? kExitSuccess : kExitFailure;
}

}  // namespace vondrel::jet_tool
