// Index checks: one scan of the rows computes the key each live row should
// have in every index while a second thread walks each index's leaves; both
// sides, sorted by row pointer in bounded memory, are then joined index by
// index (index_join.cpp), two indexes at a time. The findings go into the
// database check report in the table's index order.

#include "jet/check/index_check.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>

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

namespace {

// Each index's stored entries, as its tree walk hands them out.
struct StoredSide {
  explicit StoredSide(std::size_t budget) : entries(budget) {}
  EntrySorter entries;
  IndexTreeWalk walk;
  std::exception_ptr failure;  // what ended the walk, if anything did
};

// Walks the trees of the indexes not yet taken, one at a time, into their
// sides. Pages are read by copy, so that another thread may scan the
// table's rows or walk another tree meanwhile.
void WalkTreesInTurn(const Database& database, const TableDefinition& table, std::vector<StoredSide>& stored,
                     std::atomic<std::size_t>& next) {
  for (std::size_t i; (i = next++) < stored.size();) {
    StoredSide& side = stored[i];
    std::uint64_t walked = 0;
    CheckEntry have;
    try {
      side.walk = ReadIndexEntriesApart(database, table, table.real_indexes[i],
                                        [&](const IndexEntry& entry, std::uint32_t leaf) {
                                          have.row = RowPointer{entry.data_page, entry.row};
                                          have.order = walked++;
                                          have.page = leaf;
                                          have.key = entry.key;
                                          side.entries.Add(have);
                                        });
    } catch (...) {
      side.failure = std::current_exception();
    }
  }
}

}  // namespace

IndexCheckResult CheckTableIndexes(const Database& database, const TableDefinition& table,
                                   const IndexCheckOptions& options) {
  IndexCheckResult result;
  if (table.real_indexes.empty()) return result;
  const KeyDatabaseSettings settings = KeySettingsOf(database);

  // The trees are walked on a thread of their own while this one scans the
  // rows and computes the key of every row for every index; neither needs
  // the other until they are joined, and whichever thread is done first
  // walks the trees left. Each side shares half the budget among the indexes.
  const std::size_t count = table.real_indexes.size();
  std::vector<EntrySorter> expected;
  std::vector<StoredSide> stored;
  expected.reserve(count);
  stored.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    expected.emplace_back(options.memory_budget / 2 / count);
    stored.emplace_back(options.memory_budget / 2 / count);
  }
  std::atomic<std::size_t> next_walk{0};
  std::thread walker;
  try {
    walker = std::thread([&] { WalkTreesInTurn(database, table, stored, next_walk); });
  } catch (const std::system_error&) {
    // No thread to be had: this one walks the trees after the scan.
  }
  // However the scan ends, the walker takes no further tree and is waited
  // for: it uses what this frame holds.
  struct StopWalkerOnExit {
    std::thread& thread;
    std::atomic<std::size_t>& next;
    std::size_t count;
    ~StopWalkerOnExit() {
      next = count;
      if (thread.joinable()) thread.join();
    }
  } stop_walker{walker, next_walk, count};

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

  // The scan is done: this thread walks the trees the walker has not taken.
  WalkTreesInTurn(database, table, stored, next_walk);
  if (walker.joinable()) walker.join();
  for (const StoredSide& side : stored)
    if (side.failure) std::rethrow_exception(side.failure);

  // The indexes' joins are independent of each other: two threads take
  // them in turn, and their findings are put together in index order.
  std::vector<IndexCheckResult> joined(count);
  std::vector<std::exception_ptr> join_failures(count);
  std::atomic<std::size_t> next_join{0};
  const auto join_in_turn = [&] {
    for (std::size_t i; (i = next_join++) < count;) {
      try {
        const RealIndexDefinition& index = table.real_indexes[i];
        stored[i].entries.StartReading();
        expected[i].StartReading();
        JoinIndexEntries(RealIndexName(table, index), index.root_page, index.IgnoresNulls(),
                         stored[i].walk.problems, stored[i].entries, expected[i], joined[i]);
        joined[i].spilled_runs = stored[i].entries.spilled_runs() + expected[i].spilled_runs();
      } catch (...) {
        join_failures[i] = std::current_exception();
      }
      // Frees both sides' memory and runs.
      expected[i] = EntrySorter(0);
      stored[i].entries = EntrySorter(0);
    }
  };
  std::thread helper;
  if (count > 1) {
    try {
      helper = std::thread(join_in_turn);
    } catch (const std::system_error&) {
      // This thread joins them all.
    }
  }
  join_in_turn();
  if (helper.joinable()) helper.join();
  for (std::size_t i = 0; i < count; ++i) {
    if (join_failures[i]) std::rethrow_exception(join_failures[i]);
    result.findings.insert(result.findings.end(), std::make_move_iterator(joined[i].findings.begin()),
                           std::make_move_iterator(joined[i].findings.end()));
    result.counts += joined[i].counts;
    result.spilled_runs += joined[i].spilled_runs;
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
