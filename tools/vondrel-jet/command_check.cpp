// check FILE: the structural check. One line per finding, starting "note: "
// (harmless quirks Access leaves, e.g. a stale row count) or "problem: "
// (damage), then the table and page when known; then a summary line. Exit 0
// when there are only notes, 1 when there is any problem.
#include "base/error.h"
#include "commands.h"
#include "jet/checker.h"
#include "jet/io/error_numbers.h"
#include "tool_database.h"
#include "tool_errors.h"

namespace vondrel::jet_tool {

namespace {

std::string FindingLine(const jet::Finding& finding) {
  std::string line = finding.severity == jet::Severity::Note ? "note: " : "problem: ";
  std::string where = finding.table;
  if (finding.page >= 0) where += (where.empty() ? "page " : ", page ") + std::to_string(finding.page);
  if (!where.empty()) line += where + ": ";
  return line + finding.message;
}

}  // namespace

int RunCheck(const Arguments& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1) {
    err << "usage: vondrel-jet check FILE\n";
    return kExitUsage;
  }
  auto database = OpenDatabase(args[0]);
  jet::CheckReport report = jet::CheckDatabase(*database);
  for (const auto& finding : report.findings) out << FindingLine(finding) << "\n";
  std::size_t problems = report.ProblemCount();
  out << "checked " << args[0] << ": " << problems << (problems == 1 ? " problem, " : " problems, ")
      << report.NoteCount() << (report.NoteCount() == 1 ? " note\n" : " notes\n");
  if (problems == 0) return kExitSuccess;
  PrintError(err, vondrel::Error(jet::errors::kCorrupt, "The database '" + args[0] + "' has " +
                                                            std::to_string(problems) + " structural problem" +
                                                            (problems == 1 ? "" : "s") + "."));
  return kExitFailure;
}

}  // namespace vondrel::jet_tool
