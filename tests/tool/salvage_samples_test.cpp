// Compaction of damaged copies of Access-written samples: the same demands
// as for the databases the tests build (see salvage_built_test.cpp), on
// files with forms, queries, relationships, pictures and Access's own
// system tables; and the truncated sample in the corpus.
#include <algorithm>

#include <gtest/gtest.h>

#include "jet/checker.h"
#include "jet/database.h"
#include "support/damage.h"
#include "support/salvage_expectations.h"
#include "support/samples.h"
#include "tool/salvage_verify.h"

namespace vondrel::testing {
namespace {

// Jet 3 and Jet 4 each: Northwind (forms, pictures, relationships), compound
// indexes over 512 rows, rows moved to overflow pages, and a Jet 3 blob.
const char* const kSamples[] = {
    "jet3_northwind_de_nwind.mdb",     "jet4_northwind_2000_b.mdb",      "jet3_jackcess_compIndexTest.mdb",
    "jet4_jackcess_compIndexTest2003.mdb", "jet4_jackcess_overflowTest.mdb", "jet3_vb_tombrennfleck_blob.mdb",
};
// mdbtools and mdb-reader read the clean output and this many damaged ones.
constexpr int kCopiesReadByOracles = 2;

class CompactDamagedSamples : public ::testing::TestWithParam<const char*> {};

TEST_P(CompactDamagedSamples, DamagedCopiesAreSalvagedSoundly) {
  VONDREL_REQUIRE_SAMPLES();
  auto path = Sample(GetParam());
  if (!path) GTEST_SKIP() << GetParam() << " is not here";
  std::vector<std::uint8_t> bytes = ReadFileBytes(path->string());
  const OriginalContent original = OriginalContent::Read(bytes, GetParam());
  ASSERT_GT(original.row_count(), 0u);
  const DamageGenerator generator(bytes);
  const bool oracles = OraclesAvailable();
  ScratchDir dir;

  DamagedCopy clean{bytes, DamageKind::BitFlips, {}, "no damage"};
  const SalvageVerdict verdict = ExpectSoundSalvage(clean, original, dir.path(), "clean copy", oracles);
  ASSERT_TRUE(verdict.compacted()) << verdict.run.Summary();
  EXPECT_TRUE(verdict.comparison.everything_kept) << Describe(verdict.comparison);
  EXPECT_FALSE(verdict.comparison.error_table) << "a clean source gives no MSysCompactError";

  // A page holding user rows, zeroed; then damage of every kind aimed at each role.
  std::vector<DamagedCopy> copies;
  for (const auto& table : original.tables()) {
    if (table.rows.empty()) continue;
    copies.push_back(generator.ZeroPage(table.rows[table.rows.size() / 2].pages.front()));
    break;
  }
  const std::optional<PageRole> targets[] = {PageRole::Data,           PageRole::LongValue, PageRole::Catalog,
                                             PageRole::TableDefinition, PageRole::UsageMap,  PageRole::Index,
                                             PageRole::Header,         std::nullopt};
  std::uint64_t seed = 900;
  for (const auto& target : targets) copies.push_back(generator.Random(seed++, target));
  int read_by_oracles = 0;
  SalvageTally tally;
  for (const auto& copy : copies) {
    const bool with_oracles = oracles && read_by_oracles < kCopiesReadByOracles;
    const SalvageVerdict result = ExpectSoundSalvage(copy, original, dir.path(), copy.description, with_oracles);
    if (with_oracles && result.compacted()) ++read_by_oracles;
    tally.Add(result);
  }
  std::cout << GetParam() << ": " << tally.Summary() << "\n";
}

INSTANTIATE_TEST_SUITE_P(Samples, CompactDamagedSamples, ::testing::ValuesIn(kSamples), [](const auto& info) {
  std::string name = info.param;
  name = name.substr(0, name.find('.'));
  std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return name;
});

// Only the first two pages of this Jet 4 file survive: no catalog at all.
TEST(CompactDamaged, TheTruncatedSampleGivesAClearErrorOrASalvage) {
  VONDREL_REQUIRE_SAMPLES();
  auto path = Sample("jet4_mimetype_truncated_8k.mdb");
  if (!path) GTEST_SKIP() << "jet4_mimetype_truncated_8k.mdb is not here";
  ScratchDir dir;
  const auto output = dir / "output.mdb";
  const CompactionRun run = CompactInChild(*path, output, kSecondsPerCompaction);
  ASSERT_TRUE(run.Survived()) << run.Summary();
  if (run.kind == CompactionRun::Refused) {
    EXPECT_NE(run.number, 0);
    EXPECT_NE(run.description.find("jet4_mimetype_truncated_8k.mdb"), std::string::npos)
        << "the description names the file: " << run.description;
    EXPECT_FALSE(std::filesystem::exists(output)) << "a refusal left a file behind";
    return;
  }
  const auto database = jet::Database::Open(output);
  EXPECT_FALSE(jet::CheckDatabase(*database).HasProblems());
  EXPECT_NE(database->FindTable("MSysCompactError"), nullptr) << "the losses are recorded";
  if (OraclesAvailable()) ExpectOraclesReadAll(output);
}

}  // namespace
}  // namespace vondrel::testing
