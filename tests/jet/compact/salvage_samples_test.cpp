// Salvage of damaged copies of the Access-written samples: whatever the
// damage (deterministic seeds, aimed at each page role), compaction either
// refuses with a numbered error and leaves nothing, or writes an output that
// passes the checker; and the truncated sample gets one of the two. On six
// samples with forms, queries, relationships, pictures and Access's own system
// tables, the same demands as for the databases the tests build (see
// salvage_built_test.cpp), run in a child process and read by the oracles.

#include <algorithm>
#include <cctype>
#include <iostream>

#include <gtest/gtest.h>

#include "base/error.h"
#include "jet/compact/compactor.h"
#include "jet/format/data_page_decode.h"
#include "jet/read/database.h"
#include "support/damage.h"
#include "support/file_bytes.h"
#include "support/salvage_expectations.h"
#include "support/salvage_readback.h"
#include "support/salvage_run.h"
#include "support/salvage_verify.h"
#include "support/samples.h"

namespace {

using namespace vondrel::testing;
using vondrel::testing::ReadFileBytes;
using vondrel::testing::DamagedCopy;
using vondrel::testing::DamageGenerator;
using vondrel::testing::PageRole;
using vondrel::testing::ScratchDir;

struct Verdict {
  bool compacted = false;
  int error = 0;
  std::string message;
  std::vector<std::string> problems;
  jet::compact::CompactStatistics stats;
};

Verdict CompactCopy(const ScratchDir& dir, const std::vector<std::uint8_t>& bytes) {
  const auto source = dir / "damaged.mdb";
  const auto output = dir / "output.mdb";
  std::filesystem::remove(source);
  std::filesystem::remove(output);
  EXPECT_TRUE(WriteFileBytes(source, bytes));
  Verdict verdict;
  try {
    verdict.stats = jet::compact::CompactDatabase(source, output);
    verdict.compacted = true;
    verdict.problems = CheckProblems(*jet::Database::Open(output));
  } catch (const vondrel::Error& error) {
    verdict.error = error.number();
    verdict.message = error.description();
    EXPECT_FALSE(std::filesystem::exists(output)) << "a refusal left a file: " << verdict.message;
  }
  return verdict;
}

// One sample per test, so that the copies of several samples compact in parallel.
class SalvageSampleCopies : public ::testing::TestWithParam<const char*> {};

TEST_P(SalvageSampleCopies, CompactSoundlyOrFailWithANumber) {
  VONDREL_REQUIRE_SAMPLES();
  const PageRole roles[] = {PageRole::Header, PageRole::Catalog, PageRole::TableDefinition, PageRole::UsageMap,
                            PageRole::Data,   PageRole::LongValue, PageRole::Index};
  const auto path = vondrel::testing::Sample(GetParam());
  if (!path) GTEST_SKIP() << GetParam() << " is not among the samples";
  ScratchDir dir;
  int compacted = 0, refused = 0, salvaged = 0;
  const DamageGenerator generator(ReadFileBytes(*path));
  for (std::uint64_t seed = 1; seed <= 3; ++seed) {
    for (const PageRole role : roles) {
      const DamagedCopy copy = generator.Random(seed * 7919 + static_cast<std::uint64_t>(role), role);
      SCOPED_TRACE(copy.description);
      const Verdict verdict = CompactCopy(dir, copy.bytes);
      if (!verdict.compacted) {
        ++refused;
        EXPECT_TRUE(verdict.error == 3049 || verdict.error == 3343) << verdict.error << " " << verdict.message;
        continue;
      }
      ++compacted;
      salvaged += verdict.stats.Salvaged() ? 1 : 0;
      EXPECT_EQ(verdict.problems, std::vector<std::string>{});
    }
  }
  EXPECT_GT(compacted, refused);
  EXPECT_GT(salvaged, 0);
}

INSTANTIATE_TEST_SUITE_P(Samples, SalvageSampleCopies,
                         ::testing::Values("jet4_northwind_2000_b.mdb", "jet3_northwind_de_nwind.mdb",
                                           "jet3_ea_test_arcgis_base.eap", "jet4_jackcess_testIndexProperties.mdb",
                                           "jet4_fcorpus_reviews.mdb", "jet4_tika_testAccess2_2002-2003.mdb"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

// Copies from the salvage bench that once lost rows without a word or were
// refused: a swapped map page naming too few pages, a header swapped away or
// with stray password bits, catalog names changed by a bit flip.
TEST(SalvageSamples, HardCopiesKeepTheirRowsAndRecordTheirLosses) {
  VONDREL_REQUIRE_SAMPLES();
  struct Case {
    const char* name;
    std::uint32_t swap_first, swap_second;  // or, when equal, bit flips:
    std::uint64_t seed;
    unsigned flips;
    PageRole role;
  };
  const Case cases[] = {
      {"jet4_app_admCadastros.mdb", 21, 45, 0, 0, PageRole::Other},
      {"jet4_ucanaccess_weirdObjectNames.mdb", 11, 19, 0, 0, PageRole::Other},
      {"jet4_ucanaccess_linkee1.mdb", 30, 6, 0, 0, PageRole::Other},
      {"jet3_app_CodBarra39Etiquetas.mdb", 0, 1, 0, 0, PageRole::Other},
      {"jet3_ea_database_model_postgresql.eap", 0, 0, 14356711950649606493ull, 2, PageRole::Catalog},
      {"jet4_ea_sh_unittest_template.eapx", 0, 0, 4032818171782710409ull, 2, PageRole::Catalog},
      {"jet3_ea_database_model_postgresql.eap", 0, 0, 2073488592501286989ull, 13, PageRole::Header},
      {"jet4_app_for104012002.mdb", 0, 0, 1567545779122482853ull, 16, PageRole::Header},
      {"jet4_jackcess_fixedNumericTest.mdb", 0, 0, 7516722144234556441ull, 12, PageRole::Header},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    const auto path = vondrel::testing::Sample(c.name);
    if (!path) continue;
    const DamageGenerator generator(ReadFileBytes(*path));
    const DamagedCopy copy = c.swap_first != c.swap_second ? generator.SwapPages(c.swap_first, c.swap_second)
                                                            : generator.FlipBits(c.seed, c.flips, c.role);
    SCOPED_TRACE(std::string(c.name) + ": " + copy.description);
    const Verdict verdict = CompactCopy(dir, copy.bytes);
    ASSERT_TRUE(verdict.compacted) << verdict.error << " " << verdict.message;
    EXPECT_EQ(verdict.problems, std::vector<std::string>{});
    const auto original = vondrel::testing::OriginalContent::Read(generator.original(), c.name);
    const auto comparison =
        vondrel::testing::CompareSalvage(original.Expect(copy.damaged_pages), *jet::Database::Open(dir / "output.mdb"));
    EXPECT_TRUE(comparison.RequirementsMet()) << vondrel::testing::Describe(comparison);
    EXPECT_TRUE(!comparison.visible_loss || comparison.error_table) << vondrel::testing::Describe(comparison);
  }
}

// Only the first two pages of this Jet 4 file survive: no catalog at all.
TEST(SalvageSamples, TheTruncatedSampleGetsAClearErrorOrASalvage) {
  VONDREL_REQUIRE_SAMPLES();
  const auto path = vondrel::testing::Sample("jet4_mimetype_truncated_8k.mdb");
  if (!path) GTEST_SKIP() << "jet4_mimetype_truncated_8k.mdb is not here";
  ScratchDir dir;
  const auto output = dir / "output.mdb";
  const CompactionRun run = CompactInChild(*path, output, kSecondsPerCompaction);
  ASSERT_TRUE(run.Survived()) << run.Summary();
  if (run.kind == CompactionRun::Refused) {
    EXPECT_EQ(run.number, 3049);
    EXPECT_NE(run.description.find("catalog"), std::string::npos) << run.description;
    EXPECT_NE(run.description.find("jet4_mimetype_truncated_8k.mdb"), std::string::npos)
        << "the description names the file: " << run.description;
    EXPECT_FALSE(std::filesystem::exists(output)) << "a refusal left a file behind";
    return;
  }
  const auto database = jet::Database::Open(output);
  EXPECT_EQ(CheckProblems(*database), std::vector<std::string>{});
  EXPECT_NE(database->FindTable("MSysCompactError"), nullptr) << "the losses are recorded";
  if (OraclesAvailable()) ExpectOraclesReadAll(output);
}

// A cut from page `from` on that falls inside a data page of a user table,
// halfway through its rows, so that some rows lie wholly before it.
std::optional<std::size_t> CutInsideRows(const DamageGenerator& generator,
                                         const vondrel::testing::OriginalContent& original, std::uint32_t from) {
  const std::size_t page_size = generator.page_size();
  const jet::FormatConstants& constants =
      jet::ConstantsFor(page_size == 2048 ? jet::FormatVersion::Jet3 : jet::FormatVersion::Jet4);
  for (std::uint32_t page = from; page < generator.page_count(); ++page) {
    if (generator.RoleOf(page) != PageRole::Data) continue;
    try {
      const jet::DataPage data(jet::io::ByteView(generator.original().data() + page * page_size, page_size), constants);
      if (data.row_count() < 4) continue;
      const std::size_t cut = page * page_size + data.Slot(data.row_count() / 2).end + 3;
      const DamagedCopy copy = generator.Truncate(cut);
      if (original.Expect(copy.damaged_pages, cut).rows_required > original.Expect(copy.damaged_pages).rows_required)
        return cut;
    } catch (const vondrel::Error&) {
    }
  }
  return std::nullopt;
}

// A file cut inside a data page still holds whole rows at the front of that
// page (rows are stored from the end of a page towards its start): every row
// whose bytes lie before the cut is kept.
TEST(SalvageSamples, ACutFileKeepsTheWholeRowsOfItsLastPage) {
  VONDREL_REQUIRE_SAMPLES();
  ScratchDir dir;
  for (const char* name : {"jet4_northwind_2000_b.mdb", "jet3_northwind_de_nwind.mdb"}) {
    const auto path = vondrel::testing::Sample(name);
    if (!path) continue;
    const DamageGenerator generator(ReadFileBytes(*path));
    const auto original = vondrel::testing::OriginalContent::Read(generator.original(), name);
    const std::optional<std::size_t> cut = CutInsideRows(generator, original, generator.page_count() / 2);
    ASSERT_TRUE(cut) << name;
    const DamagedCopy copy = generator.Truncate(*cut);
    SCOPED_TRACE(std::string(name) + ": " + copy.description);
    const Verdict verdict = CompactCopy(dir, copy.bytes);
    ASSERT_TRUE(verdict.compacted) << verdict.error << " " << verdict.message;
    EXPECT_EQ(verdict.problems, std::vector<std::string>{});
    const auto comparison = vondrel::testing::CompareSalvage(original.Expect(copy.damaged_pages, *cut),
                                                             *jet::Database::Open(dir / "output.mdb"));
    EXPECT_TRUE(comparison.RequirementsMet()) << vondrel::testing::Describe(comparison);
    EXPECT_TRUE(comparison.error_table);
  }
}

TEST(SalvageSamples, TruncationAtAnyPageKeepsEverythingBeforeIt) {
  VONDREL_REQUIRE_SAMPLES();
  const auto path = vondrel::testing::Sample("jet4_northwind_2000_b.mdb");
  if (!path) GTEST_SKIP() << "sample absent";
  const DamageGenerator generator(ReadFileBytes(*path));
  ScratchDir dir;
  for (std::uint32_t pages : {3u, 20u, generator.page_count() / 2, generator.page_count() - 1}) {
    SCOPED_TRACE(pages);
    const Verdict verdict = CompactCopy(dir, generator.Truncate(pages * generator.page_size() + 100).bytes);
    if (!verdict.compacted) {
      EXPECT_EQ(verdict.error, 3049) << verdict.message;
      continue;
    }
    EXPECT_EQ(verdict.problems, std::vector<std::string>{});
    // Cut in the middle, the file loses pages its maps name, which is recorded.
    if (pages < generator.page_count() - 1) {
      EXPECT_TRUE(verdict.stats.Salvaged());
    }
  }
}

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

}  // namespace
