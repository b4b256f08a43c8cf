// A table's index trees are walked on one thread while its rows are scanned
// on another, and the indexes' joins are shared between two threads. On a
// file read from disk, with every index damaged, the findings must come index
// by index in the table's order, each index's exactly as when that index is
// checked alone, with a roomy budget and with one that spills every side.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "jet/check/index_check.h"
#include "jet/format/index_page.h"
#include "jet/read/index_reader.h"
#include "jet/write/database_writer.h"
#include "support/file_bytes.h"
#include "support/samples.h"

namespace jet {
namespace {

using write::Value;

void BuildPeople(const std::filesystem::path& path) {
  write::DatabaseWriter db(path, {});
  const auto people = db.AddTable({"People",
                                   {{"Id", ColumnType::Long}, {"Name", ColumnType::Text, 40},
                                    {"Age", ColumnType::Long}, {"City", ColumnType::Text, 30}},
                                   {{"PrimaryKey", {{"Id", true}}, true},
                                    {"ByName", {{"Name", true}}},
                                    {"ByAge", {{"Age", false}}},
                                    {"ByCity", {{"City", true}, {"Age", true}}}}});
  db.BeginRows(people);
  for (int i = 0; i < 3000; ++i) {
    const int id = (i * 7919) % 3000;
    db.Insert({Value::Long(id), Value::Text("name " + std::to_string((id * 31) % 1000)), Value::Long(id % 90),
               Value::Text("city " + std::to_string(id % 17))});
  }
  db.EndRows();
  db.Close();
}

// Changes the key of every third entry of every leaf, and points each
// leaf's second entry at a row that does not exist.
void DamageEveryThirdKey(std::vector<std::uint8_t>& bytes, FormatVersion version) {
  const IndexPageLayout layout = IndexLayoutFor(version);
  for (std::size_t at = layout.page_size; at + layout.page_size <= bytes.size(); at += layout.page_size) {
    if (bytes[at] != 0x04) continue;  // not a leaf
    IndexPage page = DecodeIndexPage(std::span(bytes.data() + at, layout.page_size), layout);
    for (std::size_t i = 0; i < page.entries.size(); i += 3) {
      if (!page.entries[i].key.empty()) page.entries[i].key.back() ^= 0x01;
    }
    if (page.entries.size() > 2) page.entries[1].row = 250;
    const auto encoded = EncodeIndexPage(page, layout);
    std::copy(encoded.begin(), encoded.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  }
}

// The table with only its index at `position`.
TableDefinition WithOneIndex(const TableDefinition& table, std::size_t position) {
  TableDefinition alone = table;
  alone.real_indexes = {table.real_indexes[position]};
  return alone;
}

TEST(IndexCheckThreads, FindingsComeIndexByIndexAsWhenEachIsCheckedAlone) {
  vondrel::testing::ScratchDir dir;
  BuildPeople(dir / "people.mdb");
  std::vector<std::uint8_t> bytes = vondrel::testing::ReadFileBytes(dir / "people.mdb");
  DamageEveryThirdKey(bytes, FormatVersion::Jet4);
  ASSERT_TRUE(vondrel::testing::WriteFileBytes(dir / "damaged.mdb", bytes));

  const auto database = Database::Open(dir / "damaged.mdb");
  const TableDefinition table = database->ReadTableDefinition(*database->FindTable("People"));
  ASSERT_EQ(table.real_indexes.size(), 4u);
  IndexCheckOptions spilling;
  spilling.memory_budget = 4 << 10;

  for (const IndexCheckOptions& options : {IndexCheckOptions{}, spilling}) {
    const IndexCheckResult all = CheckTableIndexes(*database, table, options);
    std::vector<IndexFinding> one_by_one;
    IndexKeyCounts counts;
    std::size_t with_findings = 0;
    for (std::size_t i = 0; i < table.real_indexes.size(); ++i) {
      const IndexCheckResult alone = CheckTableIndexes(*database, WithOneIndex(table, i), options);
      with_findings += alone.findings.empty() ? 0 : 1;
      one_by_one.insert(one_by_one.end(), alone.findings.begin(), alone.findings.end());
      counts += alone.counts;
    }
    EXPECT_EQ(with_findings, table.real_indexes.size());  // every index was damaged and says so
    ASSERT_EQ(all.findings.size(), one_by_one.size());
    for (std::size_t f = 0; f < one_by_one.size(); ++f) {
      EXPECT_EQ(all.findings[f].problem, one_by_one[f].problem) << f;
      EXPECT_EQ(all.findings[f].page, one_by_one[f].page) << f;
      EXPECT_EQ(all.findings[f].message, one_by_one[f].message) << f;
    }
    EXPECT_EQ(all.indexes, table.real_indexes.size());
    EXPECT_EQ(all.counts.entries, counts.entries);
    EXPECT_EQ(all.counts.compared, counts.compared);
    EXPECT_EQ(all.counts.equal, counts.equal);
    EXPECT_EQ(all.counts.mismatched, counts.mismatched);
    EXPECT_GT(all.counts.mismatched, 0u);
  }
  EXPECT_GT(CheckTableIndexes(*database, table, spilling).spilled_runs, 0u);
}

}  // namespace
}  // namespace jet
