// The streamed index walk hands out exactly the entries, leaf pages and
// problems the collecting walk keeps, on sound and on damaged trees.

#include <gtest/gtest.h>

#include <algorithm>

#include "jet/io/page_file.h"
#include "jet/read/index_reader.h"
#include "support/samples.h"

namespace jet {
namespace {

struct Streamed {
  std::vector<IndexEntry> entries;
  std::vector<std::uint32_t> pages;
  IndexTreeWalk walk;
};

Streamed WalkStreamed(const Database& database, const TableDefinition& table, const RealIndexDefinition& index) {
  Streamed out;
  out.walk = ReadIndexEntries(database, table, index, [&](const IndexEntry& entry, std::uint32_t page) {
    out.entries.push_back(entry);
    out.pages.push_back(page);
  });
  return out;
}

struct Agreed {
  std::size_t entries = 0;
  std::size_t problems = 0;
};

// Compares both walks of every index of every table; returns how many
// entries and problems they agreed on.
Agreed ExpectWalksAlike(const Database& database) {
  Agreed agreed;
  for (const CatalogEntry& entry : database.Tables()) {
    const TableDefinition table = database.ReadTableDefinition(entry);
    for (const RealIndexDefinition& index : table.real_indexes) {
      const IndexTreeWalk kept = ReadIndexEntries(database, table, index);
      const Streamed streamed = WalkStreamed(database, table, index);
      EXPECT_EQ(streamed.entries, kept.entries) << entry.name;
      EXPECT_EQ(streamed.pages, kept.entry_pages) << entry.name;
      EXPECT_TRUE(streamed.walk.entries.empty());
      EXPECT_EQ(streamed.walk.leaf_pages, kept.leaf_pages) << entry.name;
      EXPECT_EQ(streamed.walk.node_pages, kept.node_pages) << entry.name;
      EXPECT_EQ(streamed.walk.problems.size(), kept.problems.size()) << entry.name;
      for (std::size_t p = 0; p < std::min(kept.problems.size(), streamed.walk.problems.size()); ++p) {
        EXPECT_EQ(streamed.walk.problems[p].page, kept.problems[p].page);
        EXPECT_EQ(streamed.walk.problems[p].message, kept.problems[p].message);
      }
      agreed.entries += kept.entries.size();
      agreed.problems += kept.problems.size();
    }
  }
  return agreed;
}

TEST(IndexReaderStream, StreamedWalkMatchesTheKeptOne) {
  VONDREL_REQUIRE_SAMPLES();
  for (const char* name : {"jet3_jackcess_compIndexTest.mdb", "jet4_jackcess_compIndexTest2003.mdb"}) {
    const auto path = vondrel::testing::Sample(name);
    ASSERT_TRUE(path) << name;
    std::vector<std::uint8_t> bytes = io::ReadWholeFile(*path);
    const auto database = Database::FromBytes(bytes, name);
    const Agreed sound = ExpectWalksAlike(*database);
    EXPECT_GT(sound.entries, 20u) << name;
    EXPECT_EQ(sound.problems, 0u) << name;

    // Swap two leaf entries' rows in every leaf page that has two, so the
    // walks meet entries out of order, and compare again.
    const IndexPageLayout layout = IndexLayoutFor(database->version());
    std::size_t damaged_pages = 0;
    for (std::uint32_t n = 1; n < database->file().page_count(); ++n) {
      const io::ByteView view = database->file().Page(n);
      if (view.size() == 0 || view.data()[0] != 0x04) continue;  // leaf pages only
      IndexPage page;
      try {
        page = DecodeIndexPage(std::span(view.data(), view.size()), layout);
      } catch (const vondrel::Error&) {
        continue;
      }
      if (page.entries.size() < 2) continue;
      std::swap(page.entries[0].key, page.entries[1].key);
      const auto encoded = EncodeIndexPage(page, layout);
      std::copy(encoded.begin(), encoded.end(), bytes.begin() + std::size_t{n} * layout.page_size);
      ++damaged_pages;
    }
    ASSERT_GT(damaged_pages, 0u) << name;
    const auto damaged = Database::FromBytes(bytes, name);
    // Not every leaf page belongs to a live index, so some swaps go unseen.
    EXPECT_GT(ExpectWalksAlike(*damaged).problems, 0u) << name;
  }
}

}  // namespace
}  // namespace jet
