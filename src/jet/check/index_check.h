#pragma once
// Checking a table's indexes against its rows: every real index walked,
// entries in key order, one per live row (ignore-nulls indexes leave out
// rows whose key columns are all null), each pointing at a live row, and
// each stored key equal byte for byte to the key computed from the row.
// Keys our encoder cannot vouch for are reported as notes, not problems.

#include <cstdint>
#include <string>
#include <vector>

#include "jet/read/database.h"

namespace jet {

struct IndexFinding {
  bool problem = true;  // false: a note (something we cannot verify)
  std::uint32_t page = 0;
  std::string message;
};

// Key comparison figures over the indexes checked.
struct IndexKeyCounts {
  std::uint64_t entries = 0;      // leaf entries read
  std::uint64_t compared = 0;     // entries matched to a live row
  std::uint64_t equal = 0;        // computed key equal to the stored one
  std::uint64_t not_covered = 0;  // computed key not vouched for
  std::uint64_t mismatched = 0;   // computed key differs

  IndexKeyCounts& operator+=(const IndexKeyCounts& other);
};

struct IndexCheckResult {
  std::vector<IndexFinding> findings;
  IndexKeyCounts counts;
  std::size_t indexes = 0;
  std::size_t spilled_runs = 0;  // sorted runs that went to a temporary file
};

// Checks every real index of `table`. Messages name the index. Row damage
// met while scanning is reported by the row checks, not here; such rows are
// left out of the comparison. Throws only when the table's rows cannot be
// scanned at all.
IndexCheckResult CheckTableIndexes(const Database& database, const TableDefinition& table);

struct IndexCheckOptions {
  // Memory for the entries being compared; beyond it they are sorted in
  // runs on a temporary file. The findings do not depend on it.
  std::size_t memory_budget = std::size_t{16} << 20;
};

IndexCheckResult CheckTableIndexes(const Database& database, const TableDefinition& table,
                                   const IndexCheckOptions& options);

struct CheckReport;

// The same, adding the findings to a check report under `table_name`.
void CheckTableIndexes(const Database& database, const TableDefinition& table, const std::string& table_name,
                       CheckReport& report);

}  // namespace jet
