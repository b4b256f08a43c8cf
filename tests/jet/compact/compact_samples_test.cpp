// Compaction of every Access-written sample, judged by independent readers:
// mdbtools exports the same rows, our checker finds the indexes and row
// counts sound, the DAO facade opens the output, the output is no larger than
// the source, and compacting the output again gives the same bytes.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

#include "base/error.h"
#include "jet/check/checker.h"
#include "jet/check/index_check.h"
#include "jet/compact/compactor.h"
#include "jet/dao/dao.h"
#include "jet/read/database.h"
#include "support/export_oracle.h"
#include "support/samples.h"

namespace {

using vondrel::testing::AllSamples;
using vondrel::testing::ScratchDir;

struct Outcome {
  std::filesystem::path source;
  std::filesystem::path output;  // empty when compaction failed
  std::int32_t error = 0;
  std::string message;
};

// Compacts every sample once for all tests of this file.
class CompactSamples : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_ = new ScratchDir();
    outcomes_ = new std::vector<Outcome>();
    for (const auto& sample : AllSamples()) {
      Outcome o;
      o.source = sample;
      const auto output = *scratch_ / sample.filename().string();
      try {
        jet::compact::CompactDatabase(sample, output);
        o.output = output;
      } catch (const vondrel::Error& e) {
        o.error = e.number();
        o.message = e.description();
      }
      outcomes_->push_back(o);
    }
  }
  static void TearDownTestSuite() {
    delete outcomes_;
    delete scratch_;
  }
  void SetUp() override { VONDREL_REQUIRE_SAMPLES(); }

  static ScratchDir* scratch_;
  static std::vector<Outcome>* outcomes_;
};
ScratchDir* CompactSamples::scratch_ = nullptr;
std::vector<Outcome>* CompactSamples::outcomes_ = nullptr;

// Old table Id -> new table Id, matched by parent and name.
std::map<std::string, std::string> TableIdMap(const std::filesystem::path& source, const std::filesystem::path& output) {
  const auto a = jet::Database::Open(source);
  const auto b = jet::Database::Open(output);
  std::map<std::pair<std::int32_t, std::string>, std::int32_t> new_ids;
  for (const auto& e : b->catalog()) if (e.IsTable()) new_ids[{e.parent_id, e.name}] = e.id;
  std::map<std::string, std::string> map;
  for (const auto& e : a->catalog()) {
    if (!e.IsTable()) continue;
    const auto it = new_ids.find({e.parent_id, e.name});
    if (it != new_ids.end()) map[std::to_string(e.id)] = std::to_string(it->second);
  }
  return map;
}

// Rewrites the first CSV field (an Id) of every line through the map.
std::vector<std::string> RemapFirstField(std::vector<std::string> lines, const std::map<std::string, std::string>& map) {
  for (std::string& line : lines) {
    const auto comma = line.find(',');
    if (comma == std::string::npos) continue;
    const auto it = map.find(line.substr(0, comma));
    if (it != map.end()) line = it->second + line.substr(comma);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST_F(CompactSamples, EveryReadableSampleCompactsAndTheRestFailCleanly) {
  int compacted = 0;
  for (const Outcome& o : *outcomes_) {
    SCOPED_TRACE(o.source.filename().string());
    if (!o.output.empty()) {
      ++compacted;
      continue;
    }
    // A source our reader refuses (password, truncation) must give a Jet error and leave no file.
    EXPECT_TRUE(o.error == 3031 || o.error == 3049 || o.error == 3343) << o.error << " " << o.message;
    EXPECT_FALSE(std::filesystem::exists(*scratch_ / o.source.filename().string()));
    EXPECT_ANY_THROW({ jet::Database::Open(o.source); }) << "compaction failed although the reader opens it: " << o.message;
  }
  EXPECT_GE(compacted, static_cast<int>(outcomes_->size()) - 3);
}

TEST_F(CompactSamples, MdbExportShowsTheSameRowsInEveryTable) {
  int tables = 0;
  for (const Outcome& o : *outcomes_) {
    if (o.output.empty()) continue;
    SCOPED_TRACE(o.source.filename().string());
    auto source_tables = vondrel::testing::MdbTables(o.source);
    auto output_tables = vondrel::testing::MdbTables(o.output);
    std::sort(source_tables.begin(), source_tables.end());
    std::sort(output_tables.begin(), output_tables.end());
    // mdbtools lists the catalog in stored order, which compaction changes;
    // it may skip rows of the source catalog that the output then shows.
    EXPECT_TRUE(std::includes(output_tables.begin(), output_tables.end(), source_tables.begin(), source_tables.end()));
    const auto ids = TableIdMap(o.source, o.output);
    for (const std::string& table : source_tables) {
      SCOPED_TRACE(table);
      bool ok_a = false, ok_b = false;
      auto expected = vondrel::testing::MdbExportSorted(o.source, table, &ok_a);
      const auto actual = vondrel::testing::MdbExportSorted(o.output, table, &ok_b);
      if (!ok_a) continue;  // mdbtools cannot read the source table either
      EXPECT_TRUE(ok_b);
      if (table == "MSysObjects" || table == "MSysACEs") expected = RemapFirstField(expected, ids);
      EXPECT_EQ(expected, actual);
      EXPECT_EQ(vondrel::testing::MdbExportHeader(o.source, table), vondrel::testing::MdbExportHeader(o.output, table));
      ++tables;
    }
  }
  EXPECT_GT(tables, 0);
}

TEST_F(CompactSamples, OutputHasSoundIndexesTrueRowCountsAndOpensThroughDao) {
  for (const Outcome& o : *outcomes_) {
    if (o.output.empty()) continue;
    SCOPED_TRACE(o.source.filename().string());
    const auto db = jet::Database::Open(o.output);
    for (const jet::CatalogEntry& entry : db->Tables()) {
      SCOPED_TRACE(entry.name);
      const jet::TableDefinition table = db->ReadTableDefinition(entry);
      EXPECT_EQ(table.row_count, db->CountRows(table));
      const jet::IndexCheckResult check = jet::CheckTableIndexes(*db, table);
      for (const jet::IndexFinding& f : check.findings) EXPECT_FALSE(f.problem) << f.message;
      EXPECT_EQ(check.counts.mismatched, 0u);
    }
    // The whole-database checker: pages, usage maps, catalog, rows, long values, indexes.
    const jet::CheckReport report = jet::CheckDatabase(*db);
    for (const jet::Finding& f : report.findings) {
      EXPECT_NE(f.severity, jet::Severity::Problem) << f.table << " page " << f.page << ": " << f.message;
    }
    // An encoded source gives an encoded output with the same settings.
    const auto source = jet::Database::Open(o.source);
    EXPECT_EQ(db->header().database_key, source->header().database_key);
    EXPECT_EQ(db->header().sort_order, source->header().sort_order);
    EXPECT_EQ(db->header().code_page, source->header().code_page);
    EXPECT_EQ(db->version(), source->version());
    jet::dao::DBEngine engine;
    auto opened = engine.OpenDatabase(o.output);
    auto defs = opened->TableDefs();
    ASSERT_GT(defs.Count(), 1);
    EXPECT_NO_THROW(defs.Item(1));
  }
}

TEST_F(CompactSamples, OutputIsNoLargerAndCompactingItAgainGivesTheSameBytes) {
  ScratchDir again;
  for (const Outcome& o : *outcomes_) {
    if (o.output.empty()) continue;
    SCOPED_TRACE(o.source.filename().string());
    EXPECT_LE(std::filesystem::file_size(o.output), std::filesystem::file_size(o.source));
    const auto second = again / o.source.filename().string();
    jet::compact::CompactDatabase(o.output, second);
    const auto a = vondrel::testing::RunCommand("cmp -s " + vondrel::testing::ShellQuote(o.output.string()) + " " +
                                                vondrel::testing::ShellQuote(second.string()));
    EXPECT_EQ(a.status, 0) << "second compaction differs";
  }
}

TEST_F(CompactSamples, RelationshipIndexesNameTheSameTablesAfterRenumbering) {
  int related = 0;
  for (const Outcome& o : *outcomes_) {
    if (o.output.empty()) continue;
    SCOPED_TRACE(o.source.filename().string());
    const auto src = jet::Database::Open(o.source);
    const auto out = jet::Database::Open(o.output);
    auto name_of = [](const jet::Database& db, std::uint32_t page) {
      for (const auto& e : db.catalog()) if (e.IsTable() && e.TdefPage() == page) return e.name;
      return std::string("?");
    };
    for (const jet::CatalogEntry& entry : src->Tables()) {
      const jet::TableDefinition before = src->ReadTableDefinition(entry);
      const jet::TableDefinition after = out->ReadTableDefinition(*out->FindTable(entry.name));
      ASSERT_EQ(before.logical_indexes.size(), after.logical_indexes.size());
      for (std::size_t i = 0; i < before.logical_indexes.size(); ++i) {
        if (before.logical_indexes[i].related_table_page == 0) continue;
        EXPECT_EQ(name_of(*src, before.logical_indexes[i].related_table_page),
                  name_of(*out, after.logical_indexes[i].related_table_page)) << entry.name;
        ++related;
      }
    }
  }
  EXPECT_GT(related, 0) << "no sample with relationships";
}

TEST_F(CompactSamples, StaleRowCountOfTheSourceBecomesTheTrueCount) {
  for (const Outcome& o : *outcomes_) {
    if (o.source.filename() != "jet4_jackcess_testIndexCodes.mdb") continue;
    ASSERT_FALSE(o.output.empty()) << o.message;
    const auto src = jet::Database::Open(o.source);
    const auto out = jet::Database::Open(o.output);
    bool stale_seen = false;
    for (const jet::CatalogEntry& entry : src->Tables()) {
      const jet::TableDefinition before = src->ReadTableDefinition(entry);
      const std::uint64_t live = src->CountRows(before);
      stale_seen |= before.row_count != live;
      const jet::CatalogEntry* moved = out->FindTable(entry.name);
      ASSERT_NE(moved, nullptr) << entry.name;
      EXPECT_EQ(out->ReadTableDefinition(*moved).row_count, live) << entry.name;
    }
    EXPECT_TRUE(stale_seen) << "the sample no longer has a stale count";
    return;
  }
  GTEST_SKIP() << "sample jet4_jackcess_testIndexCodes.mdb absent";
}

}  // namespace
