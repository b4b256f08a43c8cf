#include "support/salvage_verify.h"

#include <set>

#include <gtest/gtest.h>

#include "jet/check/checker.h"
#include "jet/read/database.h"
#include "support/samples.h"
#include "support/tool_runner.h"

namespace vondrel::testing {
namespace {

const char kExportOptions[] = " -b hex -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S' ";

std::string Findings(const jet::CheckReport& report) {
  std::string text;
  for (const auto& finding : report.findings) {
    if (finding.severity != jet::Severity::Problem) continue;
    text += "\n  " + finding.table + " page " + std::to_string(finding.page) + ": " + finding.message;
  }
  return text;
}

}  // namespace

void SalvageTally::Add(const SalvageVerdict& verdict) {
  ++copies;
  if (verdict.run.kind == CompactionRun::Refused) ++refused;
  if (!verdict.compacted()) return;
  ++compacted;
  if (verdict.comparison.error_table) ++with_error_table;
  rows_required += verdict.comparison.rows_required;
  rows_found += verdict.comparison.rows_required_found;
  rows_from_damaged_pages += verdict.comparison.rows_optional_found;
}

std::string SalvageTally::Summary() const {
  return "copies " + std::to_string(copies) + ", compacted " + std::to_string(compacted) + " (with MSysCompactError " +
         std::to_string(with_error_table) + "), refused " + std::to_string(refused) + ", required rows " +
         std::to_string(rows_found) + " of " + std::to_string(rows_required) + " (of the compacted), from damaged pages " +
         std::to_string(rows_from_damaged_pages);
}

bool OraclesAvailable() {
  return HaveProgram("mdb-export") && HaveProgram("mdb-tables") && MdbReaderDumpScript() && JetToolPath();
}

void ExpectOraclesReadAll(const std::filesystem::path& database) {
  const std::string path = database.string();
  Captured ours_listed = RunJetTool({"tables", path});
  ASSERT_EQ(ours_listed.status, 0) << ours_listed.err;
  std::vector<std::string> ours = SplitLines(ours_listed.out);
  Captured listed = RunCaptured("mdb-tables -1 -S " + ShellQuote(path));
  ASSERT_EQ(listed.status, 0) << "mdb-tables cannot read the output: " << listed.err;
  std::vector<std::string> theirs = SplitLines(listed.out);
  EXPECT_EQ(std::set<std::string>(ours.begin(), ours.end()), std::set<std::string>(theirs.begin(), theirs.end()))
      << "mdb-tables lists other tables";
  for (const auto& table : ours) {
    Captured exported = RunCaptured("mdb-export" + std::string(kExportOptions) + ShellQuote(path) + " " +
                                    ShellQuote(table));
    Captured ours_exported = RunJetTool({"export", path, table});
    EXPECT_EQ(exported.status, 0) << "mdb-export fails on " << table << ": " << exported.err;
    EXPECT_EQ(ours_exported.status, 0) << ours_exported.err;
    if (exported.out != ours_exported.out) {
      ADD_FAILURE() << "mdb-export reads other rows of " << table << " at "
                    << FirstDifference(ours_exported.out, exported.out);
    }
  }

  auto script = MdbReaderDumpScript();
  if (!script) return;
  std::string command = "node " + ShellQuote(*script) + " " + ShellQuote(path);
  for (const auto& table : ours) command += " " + ShellQuote(table);
  Captured dumped = RunCaptured(command);
  EXPECT_EQ(dumped.status, 0) << "mdb-reader fails: " << dumped.err;
  Captured ours_dumped = RunJetTool({"dump", path});
  EXPECT_EQ(ours_dumped.status, 0) << ours_dumped.err;
  auto their_tables = ParseDump(dumped.out);
  for (const auto& [name, table] : ParseDump(ours_dumped.out)) {
    auto found = their_tables.find(name);
    if (found == their_tables.end()) {
      ADD_FAILURE() << "mdb-reader printed nothing for " << name;
      continue;
    }
    const DumpedTable& other = found->second;
    // mdb-reader knows no column type 0x11 (Access's MSysAccessObjects.Data).
    if (name == "\"MSysAccessObjects\"" && !other.meta.empty() && other.meta.front().rfind("error\t", 0) == 0) continue;
    EXPECT_EQ(table.meta, other.meta) << "mdb-reader sees another table " << name;
    if (table.rows != other.rows) {
      std::string our_rows, their_rows;
      for (const auto& row : table.rows) our_rows += row + "\n";
      for (const auto& row : other.rows) their_rows += row + "\n";
      ADD_FAILURE() << "mdb-reader reads other rows of " << name << " (ours " << table.rows.size() << ", theirs "
                    << other.rows.size() << ") at " << FirstDifference(our_rows, their_rows);
    }
  }
}

SalvageVerdict ExpectSoundSalvage(const DamagedCopy& copy, const OriginalContent& original,
                                  const std::filesystem::path& folder, const std::string& label, bool oracles) {
  SCOPED_TRACE(label);
  SalvageVerdict verdict;
  const auto source = folder / "damaged.mdb";
  const auto destination = folder / "salvaged.mdb";
  std::error_code ec;
  std::filesystem::remove(source, ec);
  std::filesystem::remove(destination, ec);
  if (!WriteFileBytes(source.string(), copy.bytes)) {
    ADD_FAILURE() << "cannot write " << source;
    return verdict;
  }
  const SalvageExpectation expected = original.Expect(copy.damaged_pages);
  verdict.run = CompactInChild(source, destination, kSecondsPerCompaction);
  const CompactionRun& run = verdict.run;
  if (!run.Survived()) {
    ADD_FAILURE() << run.Summary();
    return verdict;
  }
  if (run.kind == CompactionRun::Refused) {
    EXPECT_NE(run.number, 0);
    EXPECT_FALSE(run.description.empty());
    EXPECT_FALSE(std::filesystem::exists(destination, ec)) << "a refusal left a file behind";
    EXPECT_EQ(expected.rows_required, 0u) << run.Summary() << ", although " << expected.rows_required
                                          << " rows on undamaged pages must survive";
    return verdict;
  }
  std::unique_ptr<jet::Database> output;
  try {
    output = jet::Database::Open(destination);
  } catch (const vondrel::Error& error) {
    ADD_FAILURE() << "the output does not open: " << error.description();
    return verdict;
  }
  const jet::CheckReport report = jet::CheckDatabase(*output);
  EXPECT_FALSE(report.HasProblems()) << "the output fails the checker:" << Findings(report);
  verdict.comparison = CompareSalvage(expected, *output);
  const SalvageComparison& c = verdict.comparison;
  EXPECT_TRUE(c.RequirementsMet()) << Describe(c);
  if (c.visible_loss) {
    EXPECT_TRUE(c.error_table && c.error_table_rows > 0) << "data was lost but MSysCompactError does not say so: "
                                                         << Describe(c);
  } else if (!expected.content_damaged) {
    EXPECT_FALSE(c.error_table) << "nothing was lost, yet the output has MSysCompactError";
  }
  if (c.error_table) {
    EXPECT_EQ(run.statistics.errors_recorded, c.error_table_rows);
  }
  output.reset();
  if (oracles) ExpectOraclesReadAll(destination);
  return verdict;
}

}  // namespace vondrel::testing
