// Index checks: one scan of the rows computes the key each live row should
// have in every index; then each index's leaves are walked, and both sides,
// sorted by row pointer in bounded memory, are joined (index_join.cpp). The
// findings go into the database check report.

#include "jet/check/index_check.h"

#include <algorithm>

#include "jet/check/checker.h"
#include "jet/check/entry_sorter.h"
#include "jet/check/index_join.h"
#include "jet/read/index_reader.h"

namespace jet {

IndexKeyCounts& IndexKeyCounts::operator+=(const IndexKeyCounts& other) {
  entries += other.entries;
  compared += other.compared;
  equal += other.equal;
  not_covered += other.not_covered;
  mismatched += other.mismatched;
  return *this;
}

IndexCheckResult CheckTableIndexes(const Database& database, const TableDefinition& table) {
  return CheckTableIndexes(database, table, IndexCheckOptions{});
}

IndexCheckResult CheckTableIndexes(const Database& database, const TableDefinition& table,
                                   const IndexCheckOptions& options) {
  IndexCheckResult result;
  if (table.real_indexes.empty()) return result;
  const KeyDatabaseSettings settings = KeySettingsOf(database);

  // One scan computes the key of every row for every index; the indexes
  // share half the budget while the other half sorts one index's entries.
  const std::size_t count = table.real_indexes.size();
  std::vector<EntrySorter> expected;
  expected.reserve(count);
  for (std::size_t i = 0; i < count; ++i) expected.emplace_back(options.memory_budget / 2 / count);
  std::vector<KeyField> fields;
  CheckEntry want;  // refilled for each row and index, its buffers kept
  std::uint64_t scanned = 0;
  ScanOptions scan;
  scan.assemble_long_values = true;
  scan.on_damaged_row = [](RowPointer, const vondrel::Error&) {};
  scan.on_damaged_value = [](RowPointer, const ColumnDefinition&, const vondrel::Error&) {};
  database.ScanRows(
      table,
      [&](const Row& row) {
        KeyFieldsOf(row, fields);
        const bool damaged =
            std::any_of(row.fields.begin(), row.fields.end(), [](const StoredField& field) { return field.damaged; });
        for (std::size_t i = 0; i < count; ++i) {
          const RealIndexDefinition& index = table.real_indexes[i];
          want.row = row.listed_at;
          want.order = scanned;
          want.key.clear();
          KeyCoverage coverage = ComputeRowKey(table, index, fields, settings, want.key);
          if (damaged) coverage = KeyCoverage::NotCovered("a long value is damaged");
          want.covered = coverage.covered;
          want.reason = std::move(coverage.reason);
          want.all_null = AllKeyColumnsNull(table, index, fields);
          expected[i].Add(want);
        }
        ++scanned;
        return true;
      },
      scan);

  for (std::size_t i = 0; i < count; ++i) {
    const RealIndexDefinition& index = table.real_indexes[i];
    EntrySorter stored(options.memory_budget / 2);
    std::uint64_t walked = 0;
    CheckEntry have;
    const IndexTreeWalk walk =
        ReadIndexEntries(database, table, index, [&](const IndexEntry& entry, std::uint32_t leaf) {
          have.row = RowPointer{entry.data_page, entry.row};
          have.order = walked++;
          have.page = leaf;
          have.key = entry.key;
          stored.Add(have);
        });
    stored.StartReading();
    expected[i].StartReading();
    JoinIndexEntries(RealIndexName(table, index), index.root_page, index.IgnoresNulls(), walk.problems, stored,
                     expected[i], result);
    result.spilled_runs += stored.spilled_runs() + expected[i].spilled_runs();
    expected[i] = EntrySorter(0);  // frees its memory and its runs
    ++result.indexes;
  }
  return result;
}

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
