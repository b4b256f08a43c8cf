// mdb-reader, a second independent reader, sees the same rows as we do in
// every table of every sample we open: `vondrel-jet dump` against
// tests/oracle/dump.mjs, compared per table as sorted lines of the common
// comparison form (see tools/vondrel-jet/dump_value.h), with the recorded
// row count and the column names.
#include <gtest/gtest.h>

#include "support/samples.h"
#include "support/tool_runner.h"

namespace vondrel::testing {
namespace {

constexpr int kMdbReaderShards = 4;

// Tables where mdb-reader is shown wrong or has no reading at all.
const std::vector<KnownDifference> kMdbReaderDifferences = {
    // Column type 0x11 (the 3992-byte fixed binary Data column Access keeps
    // in MSysAccessObjects) is unknown to mdb-reader, which refuses the whole
    // table; mdb-export agrees with us there.
    {"*", "MSysAccessObjects", "mdb-reader cannot read column type 0x11"},
};

struct MdbReaderFigures {
  int samples = 0, refused = 0, tables = 0, identical = 0, known = 0;
};

void CompareSample(const std::string& script, const std::string& path, MdbReaderFigures& figures) {
  std::string file = std::filesystem::path(path).filename().string();
  SCOPED_TRACE(file);
  ++figures.samples;
  Captured ours = RunJetTool({"dump", path});
  if (ours.status == 1 && ours.out.empty()) {
    // Not opened at all (password, damage): checked by the mdbtools test.
    ++figures.refused;
    EXPECT_NE(ours.err.find("error "), std::string::npos) << ours.err;
    return;
  }
  EXPECT_EQ(ours.status, 0) << ours.err;
  std::string command = "node " + ShellQuote(script) + " " + ShellQuote(path);
  for (const auto& name : SplitLines(RunJetTool({"tables", path}).out)) command += " " + ShellQuote(name);
  Captured theirs = RunCaptured(command);
  auto our_tables = ParseDump(ours.out);
  auto their_tables = ParseDump(theirs.out);
  for (const auto& [quoted_name, table] : our_tables) {
    std::string name = quoted_name.size() >= 2 ? quoted_name.substr(1, quoted_name.size() - 2) : quoted_name;
    SCOPED_TRACE(name);
    ++figures.tables;
    auto found = their_tables.find(quoted_name);
    if (found == their_tables.end()) {
      ADD_FAILURE() << "mdb-reader printed nothing for the table: " << theirs.err;
      continue;
    }
    const DumpedTable& other = found->second;
    if (table.meta == other.meta && table.rows == other.rows) {
      ++figures.identical;
      continue;
    }
    const auto* known = FindKnownDifference(kMdbReaderDifferences, file, name);
    bool oracle_failed = !other.meta.empty() && other.meta.front().rfind("error\t", 0) == 0;
    if (known && oracle_failed && other.meta.front().find("Unsupported column type") != std::string::npos) {
      ++figures.known;
      continue;
    }
    std::string detail = table.meta != other.meta ? "meta " + (other.meta.empty() ? "" : other.meta.front())
                                                  : "rows: ours " + std::to_string(table.rows.size()) +
                                                        ", theirs " + std::to_string(other.rows.size());
    std::string our_rows, their_rows;
    for (const auto& row : table.rows) our_rows += row + "\n";
    for (const auto& row : other.rows) their_rows += row + "\n";
    ADD_FAILURE() << "mdb-reader sees other rows (" << detail << ") at " << FirstDifference(our_rows, their_rows);
  }
}

class MdbReaderConformance : public ::testing::TestWithParam<int> {};

TEST_P(MdbReaderConformance, RowsEqualMdbReaders) {
  VONDREL_REQUIRE_SAMPLES();
  auto script = MdbReaderDumpScript();
  if (!script) GTEST_SKIP() << "node or mdb-reader is not installed (VONDREL_ORACLE)";
  ASSERT_TRUE(JetToolPath()) << "VONDREL_JET_TOOL is not set";
  MdbReaderFigures figures;
  for (const auto& path : SamplesOfShard(GetParam(), kMdbReaderShards)) CompareSample(*script, path, figures);
  std::cout << "shard " << GetParam() << ": samples " << figures.samples << ", not opened " << figures.refused
            << ", tables compared " << figures.tables << ", identical " << figures.identical
            << ", known differences " << figures.known << "\n";
  RecordProperty("tables_compared", figures.tables);
  RecordProperty("identical", figures.identical);
  EXPECT_GT(figures.samples, 0);
}

INSTANTIATE_TEST_SUITE_P(Shards, MdbReaderConformance, ::testing::Range(0, kMdbReaderShards));

}  // namespace
}  // namespace vondrel::testing
