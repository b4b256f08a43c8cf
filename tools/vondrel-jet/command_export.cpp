// export FILE TABLE: the table's live rows as CSV in mdb-export's dialect (see
// export_value.h): a header line of column names, then one line per row in
// storage order (page order, then row order, a moved row where its bytes are).
#include <algorithm>

#include "commands.h"
#include "tool_database.h"

namespace vondrel::jet_tool {

namespace {

struct PrintedRow {
  jet::RowPointer stored_at;
  std::size_t offset;
  std::size_t length;
};

}  // namespace

int RunExport(const Arguments& args, std::ostream& out, std::ostream& err, const ToolSettings&) {
  if (args.size() != 2) {
    err << "usage: vondrel-jet export FILE TABLE\n";
    return kExitUsage;
  }
  auto database = OpenDatabase(args[0]);
  const jet::CatalogEntry& entry = FindTable(*database, args[1]);
  jet::TableDefinition table = database->ReadTableDefinition(entry);
  ExportTextDecoder text(database->version(), database->header().code_page);

  std::string header;
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    if (i) header += ',';
    header += table.columns[i].name;
  }
  header += '\n';

  // The scan meets a moved row at its original slot; printing in storage
  // order needs the lines sorted by where the row's bytes are.
  std::string lines;
  std::vector<PrintedRow> rows;
  bool moved_rows = false;
  database->ScanRows(table, [&](const jet::Row& row) {
    std::size_t start = lines.size();
    for (std::size_t i = 0; i < row.fields.size() && i < table.columns.size(); ++i) {
      if (i) lines += ',';
      AppendExportField(lines, ToExportField(table.columns[i], row.fields[i]), text);
    }
    lines += '\n';
    rows.push_back({row.pointer, start, lines.size() - start});
    moved_rows = moved_rows || row.pointer != row.listed_at;
    return true;
  });
  if (moved_rows) {
    std::stable_sort(rows.begin(), rows.end(),
                     [](const PrintedRow& a, const PrintedRow& b) { return a.stored_at < b.stored_at; });
  }
  out << header;
  if (!moved_rows) {
    out << lines;
  } else {
    for (const auto& row : rows) out.write(lines.data() + row.offset, static_cast<std::streamsize>(row.length));
  }
  return out ? kExitSuccess : kExitFailure;
}

}  // namespace vondrel::jet_tool
