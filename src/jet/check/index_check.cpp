// Index checks: the walk of each index, then its entries against the keys
// recomputed from every live row, and those findings put into the database
// check report.

#include "jet/check/index_check.h"

#include <map>
#include <optional>

#include "jet/check/checker.h"
#include "jet/read/index_reader.h"

namespace jet {
namespace {

// How many differing keys are listed one by one per index before they are
// only counted.
constexpr std::size_t kMaxListedPerIndex = 20;

struct ExpectedKey {
  KeyBytes key;
  KeyCoverage coverage;
  bool all_null = false;
  bool seen = false;
};

std::string RowText(RowPointer row) {
  return "row " + std::to_string(row.page) + ":" + std::to_string(row.row);
}

class IndexChecker {
 public:
  IndexChecker(const TableDefinition& table, const RealIndexDefinition& index, IndexCheckResult& result)
      : index_(index), name_(RealIndexName(table, index)), result_(result) {}

  void Check(const IndexTreeWalk& walk, std::map<RowPointer, ExpectedKey>& expected) {
    for (const IndexTreeProblem& p : walk.problems) Add(true, p.page, p.message);
    std::size_t listed = 0;
    std::size_t unlisted = 0;
    for (std::size_t e = 0; e < walk.entries.size(); ++e) {
      const IndexEntry& entry = walk.entries[e];
      const std::uint32_t entry_page_hint = walk.entry_pages[e];
      ++result_.counts.entries;
      const RowPointer row{entry.data_page, entry.row};
      const auto it = expected.find(row);
      if (it == expected.end()) {
        Add(true, entry_page_hint, "entry points at " + RowText(row) + ", which is not a live row");
        continue;
      }
      ExpectedKey& want = it->second;
      if (want.seen) {
        Add(true, entry_page_hint, "more than one entry for " + RowText(row));
        continue;
      }
      want.seen = true;
      ++result_.counts.compared;
      if (!want.coverage.covered) {
        ++result_.counts.not_covered;
        ++not_covered_;
        if (not_covered_ == 1) first_reason_ = want.coverage.reason;
        continue;
      }
      if (want.key == entry.key) {
        ++result_.counts.equal;
        continue;
      }
      ++result_.counts.mismatched;
      if (listed < kMaxListedPerIndex) {
        ++listed;
        Add(true, entry_page_hint, "stored key of " + RowText(row) + " is " + KeyToHex(entry.key) +
                                       ", computed " + KeyToHex(want.key));
      } else {
        ++unlisted;
      }
    }
    if (unlisted > 0) Add(true, index_.root_page, std::to_string(unlisted) + " more differing keys");
    std::size_t missing = 0;
    RowPointer first_missing;
    for (auto& [row, want] : expected) {
      if (want.seen) continue;
      if (want.all_null && index_.IgnoresNulls()) continue;
      if (missing++ == 0) first_missing = row;
    }
    if (missing > 0) {
      Add(true, index_.root_page, std::to_string(missing) + " live rows have no entry (first: " +
                                      RowText(first_missing) + ")");
    }
    if (not_covered_ > 0) {
      Add(false, index_.root_page, std::to_string(not_covered_) + " keys cannot be verified: " + first_reason_);
    }
  }

 private:
  void Add(bool problem, std::uint32_t page, const std::string& message) {
    result_.findings.push_back(IndexFinding{problem, page, "index " + name_ + ": " + message});
  }

  const RealIndexDefinition& index_;
  std::string name_;
  IndexCheckResult& result_;
  std::size_t not_covered_ = 0;
  std::string first_reason_;
};

}  // namespace

IndexKeyCounts& IndexKeyCounts::operator+=(const IndexKeyCounts& other) {
  entries += other.entries;
  compared += other.compared;
  equal += other.equal;
  not_covered += other.not_covered;
  mismatched += other.mismatched;
  return *this;
}

IndexCheckResult CheckTableIndexes(const Database& database, const TableDefinition& table) {
  IndexCheckResult result;
  if (table.real_indexes.empty()) return result;
  const KeyDatabaseSettings settings = KeySettingsOf(database);

  // One scan computes the key of every row for every index.
  std::vector<std::map<RowPointer, ExpectedKey>> expected(table.real_indexes.size());
  std::vector<KeyField> fields;
  ScanOptions options;
  options.assemble_long_values = true;
  options.on_damaged_row = [](RowPointer, const vondrel::Error&) {};
  options.on_damaged_value = [](RowPointer, const ColumnDefinition&, const vondrel::Error&) {};
  database.ScanRows(
      table,
      [&](const Row& row) {
        KeyFieldsOf(row, fields);
        for (std::size_t i = 0; i < table.real_indexes.size(); ++i) {
          const RealIndexDefinition& index = table.real_indexes[i];
          ExpectedKey want;
          want.coverage = ComputeRowKey(table, index, fields, settings, want.key);
          want.all_null = AllKeyColumnsNull(table, index, fields);
          for (std::size_t c = 0; c < row.fields.size(); ++c) {
            if (row.fields[c].damaged) want.coverage = KeyCoverage::NotCovered("a long value is damaged");
          }
          expected[i].emplace(row.listed_at, std::move(want));
        }
        return true;
      },
      options);

  for (std::size_t i = 0; i < table.real_indexes.size(); ++i) {
    const RealIndexDefinition& index = table.real_indexes[i];
    const IndexTreeWalk walk = ReadIndexEntries(database, table, index);
    IndexChecker(table, index, result).Check(walk, expected[i]);
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
