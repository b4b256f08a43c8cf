// check [--json] FILE: the structural check. One line per finding, starting
// "note: " (harmless quirks Access leaves, e.g. a stale row count) or
// "problem: " (damage), then the table and page when known; then a summary
// line. With --json the same findings as one JSON document. Exit 0 when there
// are only notes, 1 when there is any problem.
#include "base/error.h"
#include "commands.h"
#include "jet/check/checker.h"
#include "jet/io/error_numbers.h"
#include "json_writer.h"
#include "tool_database.h"
#include "tool_errors.h"

namespace vondrel::jet_tool {

namespace {

const char* SeverityName(jet::Severity severity) { return severity == jet::Severity::Note ? "note" : "problem"; }

std::string FindingLine(const jet::Finding& finding) {
  std::string line = std::string(SeverityName(finding.severity)) + ": ";
  std::string where = finding.table;
  if (finding.page >= 0) where += (where.empty() ? "page " : ", page ") + std::to_string(finding.page);
  if (!where.empty()) line += where + ": ";
  return line + finding.message;
}

void PrintLines(const std::string& file, const jet::CheckReport& report, std::ostream& out) {
  for (const auto& finding : report.findings) out << FindingLine(finding) << "\n";
  const std::size_t problems = report.ProblemCount();
  out << "checked " << file << ": " << problems << (problems == 1 ? " problem, " : " problems, ")
      << report.NoteCount() << (report.NoteCount() == 1 ? " note\n" : " notes\n");
}

// {"file", "problems", "notes", "findings": [{"severity", "table", "page", "message"}]};
// a file-level finding has a null table, one that concerns no single page a null page.
void PrintJson(const std::string& file, const jet::CheckReport& report, std::ostream& out) {
  JsonWriter json(out);
  json.BeginObject();
  json.Member("file", file);
  json.Member("problems", report.ProblemCount());
  json.Member("notes", report.NoteCount());
  json.Key("findings");
  json.BeginArray();
  for (const auto& finding : report.findings) {
    json.BeginObject();
    json.Member("severity", SeverityName(finding.severity));
    json.Key("table");
    if (finding.table.empty()) json.Null(); else json.String(finding.table);
    json.Key("page");
    if (finding.page < 0) json.Null(); else json.Integer(finding.page);
    json.Member("message", finding.message);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
  out << "\n";
}

}  // namespace

int RunCheck(const Arguments& arguments, std::ostream& out, std::ostream& err, const ToolSettings&) {
  Arguments args = arguments;
  const bool as_json = TakeOption(args, "--json");
  if (args.size() != 1) {
    err << "usage: vondrel-jet check [--json] FILE\n";
    return kExitUsage;
  }
  auto database = OpenDatabase(args[0]);
  jet::CheckReport report = jet::CheckDatabase(*database);
  if (as_json) {
    PrintJson(args[0], report, out);
  } else {
    PrintLines(args[0], report, out);
  }
  const std::size_t problems = report.ProblemCount();
  if (problems == 0) return kExitSuccess;
  PrintError(err, vondrel::Error(jet::errors::kCorrupt, "The database '" + args[0] + "' has " +
                                                            std::to_string(problems) + " structural problem" +
                                                            (problems == 1 ? "" : "s") + "."));
  return kExitFailure;
}

}  // namespace vondrel::jet_tool
