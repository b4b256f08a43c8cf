#pragma once
// Structural check of a database: every inconsistency between pages, maps,
// definitions, rows and long values, with its table and page. Findings are
// problems (damage) or notes (harmless quirks Access itself leaves, such as a
// stale row count).

#include <cstdint>
#include <string>
#include <vector>

#include "jet/read/database.h"

namespace jet {

enum class Severity { Problem, Note };

struct Finding {
  Severity severity = Severity::Problem;
  std::string table;       // empty for file-level findings
  std::int64_t page = -1;  // -1 when no single page is concerned
  std::string message;
};

struct CheckReport {
  std::vector<Finding> findings;

  void Problem(std::string table, std::int64_t page, std::string message) {
    findings.push_back({Severity::Problem, std::move(table), page, std::move(message)});
  }
  void Note(std::string table, std::int64_t page, std::string message) {
    findings.push_back({Severity::Note, std::move(table), page, std::move(message)});
  }
  std::size_t ProblemCount() const;
  std::size_t NoteCount() const;
  bool HasProblems() const { return ProblemCount() > 0; }
};

// Checks the whole database. Never throws for damage: what it cannot read
// becomes a problem. The work per file is bounded by its size.
CheckReport CheckDatabase(const Database& database);

// The parts, for callers that check one table (CheckDatabase calls them all).
void CheckPages(const Database& database, CheckReport& report);
void CheckCatalog(const Database& database, CheckReport& report);
void CheckTable(const Database& database, const CatalogEntry& entry, CheckReport& report);

}  // namespace jet
