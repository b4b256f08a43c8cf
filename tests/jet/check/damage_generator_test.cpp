// The damage generator: deterministic, and it reports exactly the pages it
// changed, which the salvage tests rely on to count what must survive.
#include <gtest/gtest.h>

#include "support/damage.h"
#include "support/samples.h"

namespace vondrel::testing {
namespace {

// A synthetic Jet 4 file: header page, then pages of each kind.
std::vector<std::uint8_t> SyntheticFile() {
  std::vector<std::uint8_t> file(8 * 4096, 0);
  file[0x14] = 1;  // Jet 4
  auto page = [&](std::size_t p) { return file.begin() + static_cast<std::ptrdiff_t>(p * 4096); };
  page(1)[0] = 0x01;
  page(2)[0] = 0x02;
  page(3)[0] = 0x01, page(3)[4] = 2;                       // catalog data
  page(4)[0] = 0x01, page(4)[4] = 'L', page(4)[5] = 'V', page(4)[6] = 'A', page(4)[7] = 'L';
  page(5)[0] = 0x04;                                       // index leaf
  page(6)[0] = 0x01, page(6)[4] = 9;                       // data of the table at page 9
  for (std::size_t i = 100; i < 4096; ++i) page(6)[i] = static_cast<std::uint8_t>(i);
  page(7)[0] = 0x05;                                       // usage bitmap
  return file;
}

std::vector<std::uint32_t> ChangedPages(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                                        std::size_t page_size) {
  std::vector<std::uint32_t> pages;
  std::size_t count = std::max(a.size(), b.size()) / page_size + 1;
  for (std::size_t p = 0; p < count; ++p) {
    std::size_t start = p * page_size;
    if (start >= std::max(a.size(), b.size())) break;
    bool same = start + page_size <= a.size() && start + page_size <= b.size() &&
                std::equal(a.begin() + static_cast<std::ptrdiff_t>(start),
                           a.begin() + static_cast<std::ptrdiff_t>(start + page_size),
                           b.begin() + static_cast<std::ptrdiff_t>(start));
    if (!same) pages.push_back(static_cast<std::uint32_t>(p));
  }
  return pages;
}

TEST(DamageGenerator, ClassifiesPagesFromTheirBytes) {
  DamageGenerator generator(SyntheticFile());
  EXPECT_EQ(generator.page_size(), 4096u);
  ASSERT_EQ(generator.page_count(), 8u);
  EXPECT_EQ(generator.RoleOf(0), PageRole::Header);
  EXPECT_EQ(generator.RoleOf(1), PageRole::UsageMap);
  EXPECT_EQ(generator.RoleOf(2), PageRole::TableDefinition);
  EXPECT_EQ(generator.RoleOf(3), PageRole::Catalog);
  EXPECT_EQ(generator.RoleOf(4), PageRole::LongValue);
  EXPECT_EQ(generator.RoleOf(5), PageRole::Index);
  EXPECT_EQ(generator.RoleOf(6), PageRole::Data);
  EXPECT_EQ(generator.RoleOf(7), PageRole::UsageMap);
  EXPECT_EQ(generator.PagesWithRole(PageRole::UsageMap), (std::vector<std::uint32_t>{1, 7}));
}

TEST(DamageGenerator, SameSeedSameDamage) {
  DamageGenerator generator(SyntheticFile());
  for (std::uint64_t seed = 0; seed < 40; ++seed) {
    DamagedCopy a = generator.Random(seed), b = generator.Random(seed);
    EXPECT_EQ(a.bytes, b.bytes) << seed;
    EXPECT_EQ(a.description, b.description) << seed;
  }
  EXPECT_NE(generator.FlipBits(1, 8).bytes, generator.FlipBits(2, 8).bytes);
  // Fixed figures of the sequence, so a change of generator is noticed.
  SeededRandom random(0);
  EXPECT_EQ(random.Next(), 0xE220A8397B1DCDAFull);
  EXPECT_EQ(random.Below(10), 0x6E789E6AA1B965F4ull % 10);
}

TEST(DamageGenerator, ReportsExactlyTheChangedPages) {
  DamageGenerator generator(SyntheticFile());
  for (std::uint64_t seed = 0; seed < 200; ++seed) {
    DamagedCopy copy = generator.Random(seed, seed % 2 ? std::optional<PageRole>(PageRole::Data) : std::nullopt);
    auto changed = ChangedPages(generator.original(), copy.bytes, generator.page_size());
    if (copy.kind == DamageKind::ZeroedPage || copy.kind == DamageKind::SwappedPages) {
      // Zeroing an all-zero page or swapping two equal pages changes nothing.
      for (auto p : changed) EXPECT_NE(std::find(copy.damaged_pages.begin(), copy.damaged_pages.end(), p),
                                       copy.damaged_pages.end()) << copy.description;
    } else {
      EXPECT_EQ(changed, copy.damaged_pages) << copy.description;
    }
  }
}

TEST(DamageGenerator, AimsAtTheRequestedRole) {
  DamageGenerator generator(SyntheticFile());
  for (std::uint64_t seed = 0; seed < 30; ++seed) {
    DamagedCopy flips = generator.FlipBits(seed, 5, PageRole::Index);
    EXPECT_EQ(flips.damaged_pages, (std::vector<std::uint32_t>{5})) << flips.description;
  }
  DamagedCopy zeroed = generator.ZeroPage(6);
  EXPECT_EQ(zeroed.damaged_pages, (std::vector<std::uint32_t>{6}));
  EXPECT_EQ(ChangedPages(generator.original(), zeroed.bytes, 4096), (std::vector<std::uint32_t>{6}));
  DamagedCopy swapped = generator.SwapPages(6, 2);
  EXPECT_EQ(swapped.damaged_pages, (std::vector<std::uint32_t>{2, 6}));
  EXPECT_EQ(swapped.bytes[6 * 4096], 0x02);
  EXPECT_EQ(swapped.bytes[2 * 4096], 0x01);
}

TEST(DamageGenerator, TruncationLosesThePagesFromTheCut) {
  DamageGenerator generator(SyntheticFile());
  DamagedCopy inside = generator.Truncate(3 * 4096 + 10);
  EXPECT_EQ(inside.bytes.size(), 3u * 4096 + 10);
  EXPECT_EQ(inside.damaged_pages, (std::vector<std::uint32_t>{3, 4, 5, 6, 7}));
  DamagedCopy on_boundary = generator.Truncate(5 * 4096);
  EXPECT_EQ(on_boundary.damaged_pages, (std::vector<std::uint32_t>{5, 6, 7}));
  EXPECT_TRUE(generator.Truncate(0).bytes.empty());
  EXPECT_EQ(generator.Truncate(1u << 30).bytes.size(), generator.original().size());
  EXPECT_TRUE(generator.Truncate(1u << 30).damaged_pages.empty());
}

TEST(DamageGenerator, ReadsJet3PageSizeFromSamples) {
  VONDREL_REQUIRE_SAMPLES();
  auto path = Sample("jet3_jackcess_testV1997.mdb");
  if (!path) GTEST_SKIP() << "sample absent";
  DamageGenerator generator(ReadFileBytes(path->string()));
  EXPECT_EQ(generator.page_size(), 2048u);
  EXPECT_EQ(generator.RoleOf(2), PageRole::TableDefinition);
  EXPECT_FALSE(generator.PagesWithRole(PageRole::Catalog).empty());
  EXPECT_FALSE(generator.PagesWithRole(PageRole::Index).empty());
}

}  // namespace
}  // namespace vondrel::testing
