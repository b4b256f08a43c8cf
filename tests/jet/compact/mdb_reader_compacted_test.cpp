// mdb-reader reads every table of a compacted sample, and sees there the rows
// it sees in the source. Two comparisons per table of the output:
//  - mdb-reader on the output against `vondrel-jet dump` of the output: the
//    same columns, recorded count and rows, so an independent reader agrees
//    with ours on what was written;
//  - mdb-reader on the output against mdb-reader on the source: the same
//    rows, except in the catalog and the permissions table, whose table Ids
//    are renumbered by compaction (the mdbtools test maps those).
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

#include "support/samples.h"
#include "support/tool_runner.h"

namespace vondrel::testing {
namespace {

constexpr int kShards = 4;

// Tables whose rows name table Ids, which compaction renumbers.
bool HoldsTableIds(const std::string& quoted_name) {
  return quoted_name == "\"MSysObjects\"" || quoted_name == "\"MSysACEs\"";
}

// mdb-reader refuses MSysAccessObjects everywhere (column type 0x11).
bool IsKnownRefusal(const std::string& quoted_name, const DumpedTable& theirs) {
  return quoted_name == "\"MSysAccessObjects\"" && !theirs.meta.empty() &&
         theirs.meta.front().find("Unsupported column type") != std::string::npos;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

std::map<std::string, DumpedTable> MdbReaderDump(const std::string& script, const std::string& path) {
  std::string command = "node " + ShellQuote(script) + " " + ShellQuote(path);
  for (const auto& name : SplitLines(RunJetTool({"tables", path}).out)) command += " " + ShellQuote(name);
  return ParseDump(RunCaptured(command).out);
}

struct Figures {
  int samples = 0, compacted = 0, tables = 0, known = 0;
};

void CompareCompacted(const std::string& script, const std::string& source, const ScratchDir& folder,
                      Figures& figures) {
  const std::string file = std::filesystem::path(source).filename().string();
  SCOPED_TRACE(file);
  ++figures.samples;
  const std::string output = (folder / file).string();
  const Captured compacted = RunJetTool({"compact", source, output});
  if (compacted.status != 0) {
    // Password-protected or damaged samples: the compaction tests check the numbers.
    EXPECT_NE(compacted.err.find("error "), std::string::npos) << compacted.err;
    EXPECT_FALSE(std::filesystem::exists(output));
    return;
  }
  ++figures.compacted;
  const Captured ours_dump = RunJetTool({"dump", output});
  ASSERT_EQ(ours_dump.status, 0) << ours_dump.err;
  const auto ours = ParseDump(ours_dump.out);
  const auto theirs = MdbReaderDump(script, output);
  const auto theirs_before = MdbReaderDump(script, source);
  ASSERT_FALSE(ours.empty());
  for (const auto& [name, table] : ours) {
    SCOPED_TRACE(name);
    ++figures.tables;
    const auto found = theirs.find(name);
    if (found == theirs.end()) {
      ADD_FAILURE() << "mdb-reader printed nothing for the table of the output";
      continue;
    }
    if (IsKnownRefusal(name, found->second)) {
      ++figures.known;
      continue;
    }
    EXPECT_EQ(Joined(table.meta), Joined(found->second.meta));
    if (table.rows != found->second.rows)
      ADD_FAILURE() << "mdb-reader reads other rows in the output: "
                    << FirstDifference(Joined(table.rows), Joined(found->second.rows));
    if (HoldsTableIds(name)) continue;
    const auto before = theirs_before.find(name);
    if (before == theirs_before.end()) {
      ADD_FAILURE() << "the output has a table the source has not";
      continue;
    }
    if (before->second.rows != found->second.rows)
      ADD_FAILURE() << "mdb-reader reads other rows in the output than in the source: "
                    << FirstDifference(Joined(before->second.rows), Joined(found->second.rows));
  }
  EXPECT_EQ(ours.size(), theirs_before.size()) << "tables in the output against the source";
  std::filesystem::remove(output);
}

class MdbReaderCompacted : public ::testing::TestWithParam<int> {};

TEST_P(MdbReaderCompacted, OutputRowsEqualSourceRows) {
  VONDREL_REQUIRE_SAMPLES();
  const auto script = MdbReaderDumpScript();
  if (!script) GTEST_SKIP() << "node or mdb-reader is not installed (VONDREL_ORACLE)";
  ASSERT_TRUE(JetToolPath()) << "VONDREL_JET_TOOL is not set";
  const ScratchDir folder;
  Figures figures;
  for (const auto& path : SamplesOfShard(GetParam(), kShards)) CompareCompacted(*script, path, folder, figures);
  std::cout << "shard " << GetParam() << ": samples " << figures.samples << ", compacted " << figures.compacted
            << ", tables compared " << figures.tables << ", known refusals " << figures.known << "\n";
  EXPECT_GT(figures.compacted, 0);
}

INSTANTIATE_TEST_SUITE_P(Shards, MdbReaderCompacted, ::testing::Range(0, kShards));

}  // namespace
}  // namespace vondrel::testing
