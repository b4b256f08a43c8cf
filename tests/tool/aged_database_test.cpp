// The aged databases the compaction benchmark measures are read alike by our
// reader, mdbtools and mdb-reader, and hold what their generator wrote:
// deleted rows, moved rows and memo chains among live rows in random key
// order. Their compacted copies hold the same rows. mdbtools and mdb-reader
// list a moved row where its present version lies, we where its slot is, so
// rows are compared as sorted lines.
#include <gtest/gtest.h>

#include <algorithm>

#include "bench/aged_database.h"
#include "jet/read/database.h"
#include "support/samples.h"
#include "support/tool_runner.h"

namespace vondrel::testing {
namespace {

const char* const kTables[] = {"Customers", "Orders", "Events"};

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines = SplitLines(text);
  std::sort(lines.begin(), lines.end());
  return lines;
}

class AgedDatabase : public ::testing::TestWithParam<jet::FormatVersion> {
 protected:
  void SetUp() override {
    if (!JetToolPath()) GTEST_SKIP() << "VONDREL_JET_TOOL is not set";
    bench::AgedOptions options;
    options.version = GetParam();
    options.megabytes = 3;
    figures_ = bench::BuildAgedDatabase(path_, options);
  }
  ScratchDir scratch_;
  const std::filesystem::path path_ = scratch_ / "aged.mdb";
  bench::AgedFigures figures_;
};

TEST_P(AgedDatabase, HoldsWhatYearsOfUseLeaveAndOurReaderSeesTheLiveRows) {
  EXPECT_GT(figures_.deleted_rows, figures_.live_rows / 8);
  EXPECT_GT(figures_.moved_rows, figures_.live_rows / 8);
  EXPECT_GT(figures_.chained_memos, 10u);
  const auto db = jet::Database::Open(path_);
  std::uint64_t rows = 0;
  for (const char* name : kTables) {
    const jet::CatalogEntry* entry = db->FindTable(name);
    ASSERT_NE(entry, nullptr) << name;
    const jet::TableDefinition table = db->ReadTableDefinition(*entry);
    const std::uint64_t counted = db->CountRows(table);
    EXPECT_EQ(counted, table.row_count) << name;
    rows += counted;
    // Primary keys arrive out of order, and the tables' pages interleave.
    std::int32_t previous = 0, descents = 0;
    db->ScanRows(table, [&](const jet::Row& row) {
      const std::int32_t key = static_cast<std::int32_t>(row.fields[0].bytes.U32(0));
      descents += key < previous;
      previous = key;
      return true;
    });
    EXPECT_GT(descents, static_cast<std::int32_t>(counted / 4)) << name;
    const std::vector<std::uint32_t> pages = db->TableDataPages(table);
    ASSERT_FALSE(pages.empty());
    EXPECT_GT(pages.back() - pages.front() + 1, 2 * pages.size()) << name;
  }
  EXPECT_EQ(rows, figures_.live_rows);
}

TEST_P(AgedDatabase, MdbExportPrintsOurRows) {
  if (!HaveProgram("mdb-export")) GTEST_SKIP() << "mdbtools is not installed";
  for (const char* table : kTables) {
    SCOPED_TRACE(table);
    const Captured ours = RunJetTool({"export", path_.string(), table});
    ASSERT_EQ(ours.status, 0) << ours.err;
    const Captured theirs = RunCaptured("mdb-export -b hex -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S' " +
                                        ShellQuote(path_.string()) + " " + table);
    ASSERT_EQ(theirs.status, 0) << theirs.err;
    EXPECT_TRUE(SortedLines(ours.out) == SortedLines(theirs.out))
        << FirstDifference(ours.out, theirs.out);
  }
}

TEST_P(AgedDatabase, MdbReaderSeesOurRows) {
  const auto script = MdbReaderDumpScript();
  if (!script) GTEST_SKIP() << "node or mdb-reader is not installed (VONDREL_ORACLE)";
  const Captured ours = RunJetTool({"dump", path_.string(), "Customers", "Orders", "Events"});
  ASSERT_EQ(ours.status, 0) << ours.err;
  const Captured theirs =
      RunCaptured("node " + ShellQuote(*script) + " " + ShellQuote(path_.string()) + " Customers Orders Events");
  const auto our_tables = ParseDump(ours.out);
  const auto their_tables = ParseDump(theirs.out);
  ASSERT_EQ(our_tables.size(), 3u);
  for (const auto& [name, table] : our_tables) {
    SCOPED_TRACE(name);
    const auto found = their_tables.find(name);
    ASSERT_NE(found, their_tables.end()) << theirs.err;
    EXPECT_EQ(table.meta, found->second.meta);
    EXPECT_EQ(table.rows.size(), found->second.rows.size());
    EXPECT_TRUE(table.rows == found->second.rows);
  }
}

TEST_P(AgedDatabase, CompactedCopyHoldsTheSameRows) {
  const std::filesystem::path copy = scratch_ / "compacted.mdb";
  const Captured compacted = RunJetTool({"compact", path_.string(), copy.string()});
  ASSERT_EQ(compacted.status, 0) << compacted.err;
  const Captured before = RunJetTool({"dump", path_.string(), "Customers", "Orders", "Events"});
  const Captured after = RunJetTool({"dump", copy.string(), "Customers", "Orders", "Events"});
  const auto source_tables = ParseDump(before.out);
  const auto copied_tables = ParseDump(after.out);
  ASSERT_EQ(source_tables.size(), 3u);
  for (const auto& [name, table] : source_tables) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(copied_tables.count(name));
    EXPECT_TRUE(table.rows == copied_tables.at(name).rows);
  }
  // The copy lists every table's rows in primary-key order.
  const auto db = jet::Database::Open(copy);
  for (const char* name : kTables) {
    std::int32_t previous = 0;
    bool ascending = true;
    db->ScanRows(db->ReadTableDefinition(*db->FindTable(name)), [&](const jet::Row& row) {
      const std::int32_t key = static_cast<std::int32_t>(row.fields[0].bytes.U32(0));
      ascending = ascending && key > previous;
      previous = key;
      return true;
    });
    EXPECT_TRUE(ascending) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, AgedDatabase, ::testing::Values(jet::FormatVersion::Jet4, jet::FormatVersion::Jet3),
                         [](const auto& info) { return info.param == jet::FormatVersion::Jet4 ? "Jet4" : "Jet3"; });

}  // namespace
}  // namespace vondrel::testing
