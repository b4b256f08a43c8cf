// Index findings into the database check report.

#include "jet/check/checker.h"
#include "jet/check/index_check.h"

namespace jet {

void CheckTableIndexes(const Database& database, const TableDefinition& table, const std::string& table_name,
                       CheckReport& report) {
  IndexCheckResult result;
  try {
    result = CheckTableIndexes(database, table);
  } catch (const vondrel::Error& error) {
    report.Problem(table_name, table.tdef_page, "indexes cannot be checked: " + error.description());
    return;
  }
  for (IndexFinding& finding : result.findings) {
    if (finding.problem) {
      report.Problem(table_name, finding.page, std::move(finding.message));
    } else {
      report.Note(table_name, finding.page, std::move(finding.message));
    }
  }
}

}  // namespace jet

