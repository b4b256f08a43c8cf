// Compaction of damaged copies of databases the tests build (Jet 3 and
// Jet 4): damage aimed at each page role, of each kind. Every copy ends in
// bounded time without a crash; a refusal carries a number, leaves nothing
// behind and happens only when nothing had to survive; an output passes our
// checker, holds every row of the undamaged pages, records its losses in
// MSysCompactError, and reads whole with mdbtools and mdb-reader.
#include <algorithm>

#include <gtest/gtest.h>

#include "support/damage.h"
#include "support/salvage_corpus.h"
#include "support/salvage_expectations.h"
#include "support/samples.h"
#include "support/salvage_verify.h"

namespace vondrel::testing {
namespace {

constexpr int kSalvageOrders = 400;

struct Corpus {
  std::vector<std::uint8_t> bytes;
  OriginalContent content;
  std::unique_ptr<DamageGenerator> generator;
};

const Corpus& BuiltCorpus(jet::FormatVersion version) {
  static std::map<jet::FormatVersion, Corpus> built;
  auto found = built.find(version);
  if (found != built.end()) return found->second;
  ScratchDir dir;
  BuildSalvageDatabase(dir / "built.mdb", version, kSalvageOrders);
  Corpus corpus;
  corpus.bytes = ReadFileBytes((dir / "built.mdb").string());
  corpus.content = OriginalContent::Read(corpus.bytes, "built.mdb");
  corpus.generator = std::make_unique<DamageGenerator>(corpus.bytes);
  return built.emplace(version, std::move(corpus)).first->second;
}

const OriginalTable& Orders(const Corpus& corpus) {
  for (const auto& table : corpus.content.tables()) {
    if (table.name == "Orders") return table;
  }
  throw std::runtime_error("no Orders table");
}

// Pages holding Orders rows: first, middle and last.
std::vector<std::uint32_t> OrderPages(const Corpus& corpus) {
  const auto& rows = Orders(corpus).rows;
  return {rows.front().pages.front(), rows[rows.size() / 2].pages.front(), rows.back().pages.front()};
}

std::vector<std::uint32_t> LongValuePages(const Corpus& corpus) {
  std::vector<std::uint32_t> pages;
  for (const auto& row : Orders(corpus).rows) {
    for (const auto& value : row.long_values) pages.insert(pages.end(), value.pages.begin(), value.pages.end());
  }
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  return pages;
}

class CompactDamagedBuilt : public ::testing::TestWithParam<jet::FormatVersion> {
 protected:
  const Corpus& corpus() const { return BuiltCorpus(GetParam()); }
  const DamageGenerator& generator() const { return *corpus().generator; }

  SalvageVerdict Salvage(const DamagedCopy& copy) {
    SalvageVerdict verdict = ExpectSoundSalvage(copy, corpus().content, dir_.path(), copy.description, OraclesAvailable());
    tally_.Add(verdict);
    return verdict;
  }
  void TearDown() override { std::cout << tally_.Summary() << "\n"; }
  // The copy came out with every table and row, long values included.
  void ExpectWhole(const SalvageVerdict& verdict, const std::string& what) {
    ASSERT_TRUE(verdict.compacted()) << what << ": " << verdict.run.Summary();
    EXPECT_TRUE(verdict.comparison.everything_kept) << what << ": " << Describe(verdict.comparison);
  }

  ScratchDir dir_;
  SalvageTally tally_;
};

TEST_P(CompactDamagedBuilt, ACleanSourceGivesNoErrorTable) {
  DamagedCopy clean{corpus().bytes, DamageKind::BitFlips, {}, "no damage"};
  const SalvageVerdict verdict = Salvage(clean);
  ExpectWhole(verdict, "clean source");
  EXPECT_FALSE(verdict.comparison.error_table);
  EXPECT_FALSE(verdict.run.statistics.Salvaged());
}

TEST_P(CompactDamagedBuilt, DamagedDataPagesCostOnlyTheirRows) {
  const auto pages = OrderPages(corpus());
  Salvage(generator().ZeroPage(pages[0]));
  Salvage(generator().RandomizePage(pages[1], 11));
  Salvage(generator().FlipBits(12, 6, PageRole::Data));
  Salvage(generator().SwapPages(pages[0], pages[2]));
  Salvage(generator().ZeroPage(pages[2]));
}

TEST_P(CompactDamagedBuilt, DamagedLongValuesEmptyOnlyTheirValues) {
  const auto pages = LongValuePages(corpus());
  ASSERT_GT(pages.size(), 2u);
  Salvage(generator().ZeroPage(pages.front()));
  Salvage(generator().RandomizePage(pages[pages.size() / 2], 21));
  Salvage(generator().FlipBits(22, 4, PageRole::LongValue));
}

TEST_P(CompactDamagedBuilt, ADamagedDefinitionLosesOnlyItsTable) {
  const auto& orders = Orders(corpus());
  Salvage(generator().ZeroPage(orders.definition_pages.front()));
  Salvage(generator().RandomizePage(orders.definition_pages.front(), 31));
}

TEST_P(CompactDamagedBuilt, RebuiltUsageMapsAndIndexesLoseNothing) {
  for (PageRole role : {PageRole::UsageMap, PageRole::Index}) {
    const auto pages = generator().PagesWithRole(role);
    ASSERT_FALSE(pages.empty()) << PageRoleName(role);
    ExpectWhole(Salvage(generator().ZeroPage(pages.front())), PageRoleName(role));
    ExpectWhole(Salvage(generator().RandomizePage(pages.back(), 41)), PageRoleName(role));
  }
}

TEST_P(CompactDamagedBuilt, ADamagedHeaderIsRebuilt) {
  ExpectWhole(Salvage(generator().ZeroPage(0)), "zeroed header");
  Salvage(generator().FlipBits(51, 8, PageRole::Header));
}

TEST_P(CompactDamagedBuilt, ATruncatedFileKeepsItsFirstPages) {
  const std::size_t size = corpus().bytes.size();
  Salvage(generator().Truncate(size / 2 + 100));
  Salvage(generator().Truncate(size - generator().page_size() / 2));
}

TEST_P(CompactDamagedBuilt, SeededDamageOfEveryRole) {
  const std::optional<PageRole> targets[] = {std::nullopt,          PageRole::Header, PageRole::Catalog,
                                             PageRole::TableDefinition, PageRole::UsageMap, PageRole::Data,
                                             PageRole::LongValue,   PageRole::Index};
  int seed = 0;
  for (const auto& target : targets) Salvage(generator().Random(7000 + seed++, target));
}

TEST_P(CompactDamagedBuilt, AGoneCatalogFailsWithANumberAndLeavesNothing) {
  DamagedCopy copy = generator().ZeroPage(jet::kCatalogTdefPage);
  const std::size_t page_size = generator().page_size();
  for (std::uint32_t page : generator().PagesWithRole(PageRole::Catalog)) {
    std::fill_n(copy.bytes.begin() + static_cast<std::ptrdiff_t>(page * page_size), page_size, 0);
    copy.damaged_pages.push_back(page);
  }
  copy.description = "catalog definition and every catalog page zeroed";
  const SalvageVerdict verdict = Salvage(copy);
  EXPECT_EQ(verdict.run.kind, CompactionRun::Refused) << verdict.run.Summary();
}

INSTANTIATE_TEST_SUITE_P(Versions, CompactDamagedBuilt, ::testing::Values(jet::FormatVersion::Jet3, jet::FormatVersion::Jet4),
                         [](const auto& info) { return info.param == jet::FormatVersion::Jet3 ? "Jet3" : "Jet4"; });

TEST(CompactDamaged, AFileThatIsNotADatabaseFailsWithANumberAndLeavesNothing) {
  ScratchDir dir;
  std::vector<std::uint8_t> text(9000, 'x');
  SeededRandom random(5);
  std::vector<std::uint8_t> noise(4096 * 5);
  for (auto& b : noise) b = static_cast<std::uint8_t>(random.Next());
  for (const auto& bytes : {text, noise, std::vector<std::uint8_t>{}}) {
    ASSERT_TRUE(WriteFileBytes((dir / "source.mdb").string(), bytes));
    std::filesystem::remove(dir / "output.mdb");
    const CompactionRun run = CompactInChild(dir / "source.mdb", dir / "output.mdb", kSecondsPerCompaction);
    ASSERT_EQ(run.kind, CompactionRun::Refused) << run.Summary();
    EXPECT_NE(run.number, 0);
    EXPECT_FALSE(run.description.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "output.mdb"));
  }
}

}  // namespace
}  // namespace vondrel::testing
