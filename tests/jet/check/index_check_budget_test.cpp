// The index check under a memory budget so small that both sides of every
// comparison are sorted in many runs on a temporary file: the findings and
// figures are the same as with the budget the tool uses, on damaged copies.

#include <gtest/gtest.h>

#include <algorithm>

#include "jet/check/index_check.h"
#include "jet/io/page_file.h"
#include "jet/read/index_reader.h"
#include "support/samples.h"

namespace jet {
namespace {

// Damages every leaf page of the file: the key of every other entry
// changed, one entry pointing at a row that does not exist, one repeated.
std::vector<std::uint8_t> DamageLeaves(std::vector<std::uint8_t> bytes, FormatVersion version) {
  const IndexPageLayout layout = IndexLayoutFor(version);
  for (std::size_t at = 0; at + layout.page_size <= bytes.size(); at += layout.page_size) {
    if (at == 0 || bytes[at] != 0x04) continue;
    IndexPage page;
    try {
      page = DecodeIndexPage(std::span(bytes.data() + at, layout.page_size), layout);
    } catch (const vondrel::Error&) {
      continue;
    }
    for (std::size_t i = 0; i < page.entries.size(); i += 2) {
      if (!page.entries[i].key.empty()) page.entries[i].key.back() ^= 0x01;
    }
    if (page.entries.size() > 3) {
      page.entries[1].row = 250;
      page.entries.insert(page.entries.begin() + 3, page.entries[3]);
    }
    try {
      const auto encoded = EncodeIndexPage(page, layout);
      std::copy(encoded.begin(), encoded.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    } catch (const vondrel::Error&) {
      // The page is full; leave it as it was.
    }
  }
  return bytes;
}

bool Mentions(const std::vector<IndexFinding>& findings, const std::string& text) {
  return std::any_of(findings.begin(), findings.end(),
                     [&](const IndexFinding& f) { return f.message.find(text) != std::string::npos; });
}

TEST(IndexCheckBudget, TinyBudgetGivesTheSameFindings) {
  VONDREL_REQUIRE_SAMPLES();
  for (const char* name : {"jet3_jackcess_compIndexTest.mdb", "jet4_jackcess_compIndexTest2003.mdb"}) {
    const auto path = vondrel::testing::Sample(name);
    ASSERT_TRUE(path) << name;
    const std::vector<std::uint8_t> sound = io::ReadWholeFile(*path);
    const FormatVersion version = Database::FromBytes(sound, name)->version();
    const auto database = Database::FromBytes(DamageLeaves(sound, version), name);

    IndexCheckOptions tiny;
    tiny.memory_budget = 2 << 10;
    std::vector<IndexFinding> all;
    IndexKeyCounts counts;
    std::size_t spilled_runs = 0;
    for (const CatalogEntry& entry : database->Tables()) {
      const TableDefinition table = database->ReadTableDefinition(entry);
      const IndexCheckResult roomy = CheckTableIndexes(*database, table);
      const IndexCheckResult spilled = CheckTableIndexes(*database, table, tiny);
      ASSERT_EQ(spilled.findings.size(), roomy.findings.size()) << entry.name;
      for (std::size_t f = 0; f < roomy.findings.size(); ++f) {
        EXPECT_EQ(spilled.findings[f].problem, roomy.findings[f].problem) << entry.name << " " << f;
        EXPECT_EQ(spilled.findings[f].page, roomy.findings[f].page) << entry.name << " " << f;
        EXPECT_EQ(spilled.findings[f].message, roomy.findings[f].message) << entry.name << " " << f;
      }
      EXPECT_EQ(spilled.counts.entries, roomy.counts.entries);
      EXPECT_EQ(spilled.counts.compared, roomy.counts.compared);
      EXPECT_EQ(spilled.counts.equal, roomy.counts.equal);
      EXPECT_EQ(spilled.counts.not_covered, roomy.counts.not_covered);
      EXPECT_EQ(spilled.counts.mismatched, roomy.counts.mismatched);
      EXPECT_EQ(spilled.indexes, roomy.indexes);
      EXPECT_EQ(roomy.spilled_runs, 0u);
      spilled_runs += spilled.spilled_runs;
      all.insert(all.end(), roomy.findings.begin(), roomy.findings.end());
      counts += roomy.counts;
    }
    // The damage was seen in every form, so the comparison above covered each.
    EXPECT_TRUE(Mentions(all, "stored key of row")) << name;
    EXPECT_TRUE(Mentions(all, "more differing keys")) << name;
    EXPECT_TRUE(Mentions(all, "which is not a live row")) << name;
    EXPECT_TRUE(Mentions(all, "more than one entry")) << name;
    EXPECT_TRUE(Mentions(all, "have no entry")) << name;
    EXPECT_GT(counts.mismatched, 20u) << name;
    EXPECT_GT(spilled_runs, 20u) << name;
  }
}

}  // namespace
}  // namespace jet
