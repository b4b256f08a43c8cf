// Progress reports of a compaction: every table in order from its start to
// its end, its distinct data pages counted up to the table's total in
// batches, few reports in all, and the same output as without them.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "jet/compact/compactor.h"
#include "jet/read/database.h"
#include "support/damage.h"
#include "support/salvage_corpus.h"
#include "support/samples.h"

namespace {

using jet::compact::CompactProgress;
using vondrel::testing::ScratchDir;

struct Report {
  std::string table;
  std::uint32_t number, count;
  std::uint64_t done, total;
  bool table_done;
};

// Writes to `copy` the bytes of `original` with the first row slot of
// `table`'s first page pointing past the page's end.
void DamageFirstRow(const std::filesystem::path& original, const std::string& table_name,
                    const std::filesystem::path& copy) {
  const auto source = jet::Database::Open(original);
  const jet::TableDefinition table = source->ReadTableDefinition(*source->FindTable(table_name));
  std::uint32_t page = 0;
  source->ScanRows(table, [&](const jet::Row& row) {
    page = row.listed_at.page;
    return false;
  });
  ASSERT_NE(page, 0u);
  std::vector<std::uint8_t> bytes = vondrel::testing::ReadFileBytes(original);
  const std::size_t slot = page * source->constants().page_size + source->constants().data_row_table_offset;
  bytes[slot] = 0xFF;
  bytes[slot + 1] = 0x1F;
  ASSERT_TRUE(vondrel::testing::WriteFileBytes(copy, bytes));
}

class CompactProgressTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_ = new ScratchDir;
    // Enough orders that their table spans several batches of pages.
    vondrel::testing::BuildSalvageDatabase(Source(), jet::FormatVersion::Jet4, 40000);
  }
  static void TearDownTestSuite() { delete scratch_; }
  static std::filesystem::path Source() { return *scratch_ / "source.mdb"; }
  static std::filesystem::path ScrambledSource() { return *scratch_ / "scrambled.mdb"; }

  static ScratchDir* scratch_;
};
ScratchDir* CompactProgressTest::scratch_ = nullptr;

TEST_F(CompactProgressTest, EveryTableRunsFromItsStartToItsEndInBatches) {
  std::vector<Report> reports;
  jet::compact::CompactOptions options;
  options.progress = [&](const CompactProgress& p) {
    reports.push_back({std::string(p.table), p.table_number, p.table_count, p.pages_done, p.pages_total, p.table_done});
  };
  const auto stats = jet::compact::CompactDatabase(Source(), *scratch_ / "reported.mdb", options);

  ASSERT_FALSE(reports.empty());
  std::uint32_t expected_number = 1;
  std::uint64_t pages_of_all_tables = 0;
  bool some_table_spans_batches = false;
  std::uint64_t largest_table = 0;
  for (std::size_t i = 0; i < reports.size();) {
    const Report& start = reports[i];
    SCOPED_TRACE(start.table);
    EXPECT_EQ(start.number, expected_number++);
    EXPECT_EQ(start.count, stats.tables);
    EXPECT_EQ(start.done, 0u);
    EXPECT_FALSE(start.table_done);
    std::uint64_t previous = 0;
    std::size_t j = i + 1;
    for (; j < reports.size() && !reports[j].table_done; ++j) {
      EXPECT_EQ(reports[j].table, start.table);
      EXPECT_GT(reports[j].done, previous);
      EXPECT_EQ(reports[j].done % jet::compact::kProgressPageBatch, 0u);
      previous = reports[j].done;
      some_table_spans_batches = true;
    }
    ASSERT_LT(j, reports.size()) << "the table's end is not reported";
    EXPECT_EQ(reports[j].table, start.table);
    // A sound source: every data page of the table was read.
    EXPECT_EQ(reports[j].done, start.total);
    pages_of_all_tables += start.total;
    largest_table = std::max(largest_table, start.total);
    i = j + 1;
  }
  EXPECT_EQ(expected_number - 1, stats.tables);
  EXPECT_TRUE(some_table_spans_batches) << "the largest table has " << largest_table << " pages";
  EXPECT_LE(reports.size(), 2 * stats.tables + pages_of_all_tables / jet::compact::kProgressPageBatch);
}

TEST_F(CompactProgressTest, ReportsLeaveTheOutputAsItIs) {
  const auto quiet = jet::compact::CompactDatabase(Source(), *scratch_ / "quiet.mdb");
  std::size_t calls = 0;
  jet::compact::CompactOptions options;
  options.progress = [&](const CompactProgress&) { ++calls; };
  const auto reported = jet::compact::CompactDatabase(Source(), *scratch_ / "counted.mdb", options);
  EXPECT_GT(calls, 0u);
  EXPECT_EQ(quiet.rows, reported.rows);
  EXPECT_EQ(quiet.destination_pages, reported.destination_pages);
  EXPECT_EQ(vondrel::testing::ReadFileBytes((*scratch_ / "quiet.mdb").string()),
            vondrel::testing::ReadFileBytes((*scratch_ / "counted.mdb").string()));
}

// A pass that does not record losses fails at its first; the recording pass
// then starts at once instead of after the other tables are copied, so each
// table after the damaged one is reported starting once only.
TEST_F(CompactProgressTest, ALossInAnEarlyTableStartsTheRecordingPassAtOnce) {
  std::vector<Report> sound;
  jet::compact::CompactOptions options;
  options.progress = [&](const CompactProgress& p) {
    sound.push_back({std::string(p.table), p.table_number, p.table_count, p.pages_done, p.pages_total, p.table_done});
  };
  jet::compact::CompactDatabase(Source(), *scratch_ / "sound.mdb", options);
  // The first table with rows that is not a system table, and a later one.
  std::string first;
  for (const Report& r : sound) {
    if (r.table.rfind("MSys", 0) == 0 || r.total == 0 || r.table_done) continue;
    first = r.table;
    break;
  }
  ASSERT_FALSE(first.empty());
  ASSERT_NE(sound.back().table, first) << "no table is copied after " << first;
  const auto damaged = *scratch_ / "damaged.mdb";
  DamageFirstRow(Source(), first, damaged);

  std::map<std::string, int> starts;
  options.progress = [&](const CompactProgress& p) {
    if (p.pages_done == 0 && !p.table_done) ++starts[std::string(p.table)];
  };
  const auto stats = jet::compact::CompactDatabase(damaged, *scratch_ / "salvaged.mdb", options);
  EXPECT_GT(stats.rows_dropped, 0u);
  EXPECT_EQ(starts[first], 2) << "once without recording, once with";
  EXPECT_EQ(starts[sound.back().table], 1);
}

// Nor does that pass copy the rest of the table where it met the loss: the
// damaged table's first pass ends before its first batch of pages, whether
// the table is copied as it stands or sorted first.
void ExpectTheFirstPassToEndAtTheLoss(const std::filesystem::path& source, const std::filesystem::path& damaged,
                                      const std::filesystem::path& output) {
  std::map<std::string, std::uint64_t> pages;
  jet::compact::CompactOptions options;
  options.progress = [&](const CompactProgress& p) { pages[std::string(p.table)] = p.pages_total; };
  jet::compact::CompactDatabase(source, output.string() + ".sound", options);
  const auto largest = std::max_element(pages.begin(), pages.end(),
                                        [](const auto& a, const auto& b) { return a.second < b.second; });
  ASSERT_GT(largest->second, 2 * jet::compact::kProgressPageBatch) << largest->first;
  const std::string table = largest->first;
  DamageFirstRow(source, table, damaged);

  std::vector<Report> reports;
  options.progress = [&](const CompactProgress& p) {
    if (std::string(p.table) == table)
      reports.push_back({std::string(p.table), p.table_number, p.table_count, p.pages_done, p.pages_total, p.table_done});
  };
  const auto stats = jet::compact::CompactDatabase(damaged, output, options);
  EXPECT_GT(stats.rows_dropped, 0u);
  // Started twice (once without recording, once with), its batches
  // reported by the second pass only, which reads the table to its end.
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < reports.size(); ++i)
    if (reports[i].done == 0 && !reports[i].table_done) starts.push_back(i);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1], starts[0] + 1) << "the first pass reported pages of " << table << " after its loss";
  ASSERT_FALSE(reports.empty());
  EXPECT_TRUE(reports.back().table_done);
  EXPECT_EQ(reports.back().done, reports.back().total);
}

TEST_F(CompactProgressTest, ALossEndsThePassWithoutRecordingWithinItsTable) {
  // Rows out of key order, sorted before they are written.
  vondrel::testing::BuildPeopleDatabase(ScrambledSource(), jet::FormatVersion::Jet4, 40000, true);
  ExpectTheFirstPassToEndAtTheLoss(Source(), *scratch_ / "damaged-largest.mdb", *scratch_ / "salvaged-largest.mdb");
  ExpectTheFirstPassToEndAtTheLoss(ScrambledSource(), *scratch_ / "damaged-scrambled.mdb",
                                   *scratch_ / "salvaged-scrambled.mdb");
}

}  // namespace
