// B-tree building: the pages written decode, walk and hold every entry.

#include "jet/write/index_builder.h"

#include <gtest/gtest.h>

#include <map>

#include "base/error.h"
#include "jet/format/index_tree.h"
#include "support/index_pages.h"

namespace jet::write {
namespace {

using vondrel::testing::BuildIndexPages;

struct Built {
  BuiltIndexTree tree;
  std::map<std::uint32_t, std::vector<std::uint8_t>> pages;
  IndexTreeWalk walk;
};

Built BuildAndWalk(const std::vector<IndexEntry>& entries, const IndexPageLayout& layout) {
  Built built;
  std::uint32_t next_page = 100;
  const auto result = BuildIndexPages(entries, 42, layout, [&] { return next_page++; });
  built.tree = result.tree;
  for (const auto& [n, bytes] : result.pages) {
    EXPECT_TRUE(built.pages.emplace(n, bytes).second) << "page " << n << " written twice";
  }
  built.walk = WalkIndexTree(
      built.tree.root_page, 42, layout,
      [&](std::uint32_t n) -> std::optional<std::span<const std::uint8_t>> {
        const auto it = built.pages.find(n);
        if (it == built.pages.end()) return std::nullopt;
        return std::span<const std::uint8_t>(it->second);
      },
      built.pages.size());
  return built;
}

// Long keys with a shared head, so pages fill quickly and compress.
std::vector<IndexEntry> MakeSharedHeadEntries(std::size_t count, std::size_t key_length) {
  std::vector<IndexEntry> entries;
  for (std::size_t i = 0; i < count; ++i) {
    IndexEntry e;
    e.key.assign(key_length, 0x41);
    e.key[0] = 0x7F;
    e.key[key_length - 2] = static_cast<std::uint8_t>(i >> 8);
    e.key[key_length - 1] = static_cast<std::uint8_t>(i);
    e.data_page = static_cast<std::uint32_t>(10 + i / 50);
    e.row = static_cast<std::uint8_t>(i % 50);
    entries.push_back(e);
  }
  return entries;
}

// Keys that differ from their second byte on, so little is shared.
std::vector<IndexEntry> MakeVariedEntries(std::size_t count, std::size_t key_length) {
  auto entries = MakeSharedHeadEntries(count, key_length);
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t state = static_cast<std::uint32_t>(i) * 2654435761u + 1;
    for (std::size_t b = 3; b < key_length; ++b) {
      state = state * 1103515245u + 12345u;
      entries[i].key[b] = static_cast<std::uint8_t>(state >> 16);
    }
    entries[i].key[1] = static_cast<std::uint8_t>(i >> 8);
    entries[i].key[2] = static_cast<std::uint8_t>(i);
  }
  return entries;
}

TEST(IndexBuilder, EmptyIndexIsOneEmptyLeaf) {
  const Built built = BuildAndWalk({}, IndexPageLayout::Jet4());
  EXPECT_EQ(built.tree.levels, 1u);
  ASSERT_EQ(built.pages.size(), 1u);
  const IndexPage root = DecodeIndexPage(built.pages.at(built.tree.root_page), IndexPageLayout::Jet4());
  EXPECT_TRUE(root.leaf);
  EXPECT_TRUE(root.entries.empty());
  EXPECT_EQ(root.owner, 42u);
  EXPECT_TRUE(built.walk.problems.empty());
}

TEST(IndexBuilder, CountsRepeatedKeysButNotRepeatedNulls) {
  // Keys of two columns, the second descending, in key order: null in the
  // first (twice), null in both (twice), a value in both (three times), then
  // one more key.
  const std::vector<std::vector<std::uint8_t>> keys = {
      {0x00, 0x80, 0xFE}, {0x00, 0x80, 0xFE}, {0x00, 0xFF}, {0x00, 0xFF},
      {0x7F, 0x01, 0x80, 0xFE}, {0x7F, 0x01, 0x80, 0xFE}, {0x7F, 0x01, 0x80, 0xFE}, {0x7F, 0x02, 0xFF}};
  std::vector<IndexEntry> entries;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    IndexEntry e;
    e.key = keys[i];
    e.data_page = 10;
    e.row = static_cast<std::uint8_t>(i);
    entries.push_back(e);
  }
  const Built built = BuildAndWalk(entries, IndexPageLayout::Jet4());
  EXPECT_EQ(built.tree.distinct_keys, 4u);
  EXPECT_EQ(built.tree.repeated_keys, 3u);
}

TEST(IndexBuilder, TreesOfOneTwoAndThreeLevelsWalkCleanly) {
  struct Case { IndexPageLayout layout; std::size_t count; std::size_t key_length; std::size_t levels; };
  const Case cases[] = {
      {IndexPageLayout::Jet4(), 5, 6, 1},
      {IndexPageLayout::Jet4(), 3000, 6, 2},
      {IndexPageLayout::Jet3(), 400, 60, 2},
      {IndexPageLayout::Jet3(), 600, 200, 3},   // 8 entries a page: 75 leaves, 10 nodes, root
      {IndexPageLayout::Jet3(), 3000, 200, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.count) + " entries of " + std::to_string(c.key_length));
    const auto entries = MakeVariedEntries(c.count, c.key_length);
    const Built built = BuildAndWalk(entries, c.layout);
    EXPECT_EQ(built.tree.levels, c.levels);
    for (const auto& p : built.walk.problems) ADD_FAILURE() << p.page << ": " << p.message;
    EXPECT_EQ(built.walk.entries, entries);
    EXPECT_EQ(built.walk.leaf_pages.size(), built.tree.leaf_pages);
    EXPECT_EQ(built.walk.node_pages, built.tree.node_pages);
    EXPECT_EQ(built.pages.size(), built.tree.leaf_pages + built.tree.node_pages);
  }
}

TEST(IndexBuilder, NodeLastChildIsTheTailAsAccessWritesIt) {
  const IndexPageLayout layout = IndexPageLayout::Jet4();
  const Built built = BuildAndWalk(MakeSharedHeadEntries(3000, 6), layout);
  ASSERT_EQ(built.tree.levels, 2u);
  const IndexPage root = DecodeIndexPage(built.pages.at(built.tree.root_page), layout);
  EXPECT_FALSE(root.leaf);
  ASSERT_EQ(root.entries.size() + 1, built.tree.leaf_pages);
  EXPECT_EQ(root.tail, built.walk.leaf_pages.back());
  for (std::size_t i = 0; i < root.entries.size(); ++i) {
    EXPECT_EQ(root.entries[i].child_page, built.walk.leaf_pages[i]);
  }
}

TEST(IndexBuilder, LeavesAreFullAndCompressed) {
  const IndexPageLayout layout = IndexPageLayout::Jet4();
  const Built built = BuildAndWalk(MakeSharedHeadEntries(3000, 30), layout);
  for (std::size_t i = 0; i + 1 < built.walk.leaf_pages.size(); ++i) {
    const IndexPage leaf = DecodeIndexPage(built.pages.at(built.walk.leaf_pages[i]), layout);
    EXPECT_GT(leaf.prefix_length, 20u);
    // No room for one more compressed entry (30 + 4 - prefix bytes).
    EXPECT_LT(leaf.free_space, 34 - leaf.prefix_length);
  }
}

TEST(IndexBuilder, RefusesUnorderedOrOversizedEntries) {
  auto entries = MakeSharedHeadEntries(10, 8);
  std::swap(entries[3], entries[4]);
  std::uint32_t n = 1;
  EXPECT_THROW(BuildIndexPages(entries, 1, IndexPageLayout::Jet4(), [&] { return n++; }), vondrel::Error);
  entries = MakeSharedHeadEntries(2, 8);
  entries[1] = entries[0];  // duplicate row
  EXPECT_THROW(BuildIndexPages(entries, 1, IndexPageLayout::Jet4(), [&] { return n++; }), vondrel::Error);
  entries = MakeSharedHeadEntries(1, 1900);
  EXPECT_THROW(BuildIndexPages(entries, 1, IndexPageLayout::Jet3(), [&] { return n++; }), vondrel::Error);
}

// The walker must survive damaged trees and say what is wrong.
TEST(IndexTreeWalk, ReportsLoopsBadPointersAndBrokenChains) {
  const IndexPageLayout layout = IndexPageLayout::Jet4();
  Built built = BuildAndWalk(MakeSharedHeadEntries(3000, 6), layout);
  auto walk_with = [&](std::map<std::uint32_t, std::vector<std::uint8_t>> pages) {
    return WalkIndexTree(
        built.tree.root_page, 42, layout,
        [&](std::uint32_t n) -> std::optional<std::span<const std::uint8_t>> {
          const auto it = pages.find(n);
          if (it == pages.end()) return std::nullopt;
          return std::span<const std::uint8_t>(it->second);
        },
        pages.size());
  };
  IndexPage root = DecodeIndexPage(built.pages.at(built.tree.root_page), layout);

  auto looped = built.pages;
  IndexPage loop_root = root;
  loop_root.tail = built.tree.root_page;  // points back at itself
  looped[built.tree.root_page] = EncodeIndexPage(loop_root, layout);
  EXPECT_FALSE(walk_with(looped).problems.empty());

  auto dangling = built.pages;
  IndexPage bad_root = root;
  bad_root.entries[1].child_page = 99999;
  dangling[built.tree.root_page] = EncodeIndexPage(bad_root, layout);
  const auto dangling_walk = walk_with(dangling);
  ASSERT_FALSE(dangling_walk.problems.empty());
  EXPECT_NE(dangling_walk.problems[0].message.find("beyond"), std::string::npos);

  auto unchained = built.pages;
  const std::uint32_t second_leaf = built.walk.leaf_pages[1];
  IndexPage leaf = DecodeIndexPage(built.pages.at(second_leaf), layout);
  leaf.previous = 7;
  unchained[second_leaf] = EncodeIndexPage(leaf, layout);
  const auto unchained_walk = walk_with(unchained);
  ASSERT_EQ(unchained_walk.problems.size(), 1u);
  EXPECT_EQ(unchained_walk.problems[0].page, second_leaf);

  auto garbage = built.pages;
  garbage[second_leaf].assign(layout.page_size, 0x01);
  EXPECT_FALSE(walk_with(garbage).problems.empty());

  auto foreign = built.pages;
  leaf = DecodeIndexPage(built.pages.at(second_leaf), layout);
  leaf.owner = 5;
  foreign[second_leaf] = EncodeIndexPage(leaf, layout);
  EXPECT_EQ(walk_with(foreign).problems.size(), 1u);
}

}  // namespace
}  // namespace jet::write

namespace jet::write {
namespace {

TEST(IndexBuilder, EntriesOnDemandGiveTheSamePages) {
  const IndexPageLayout layout = IndexPageLayout::Jet4();
  const auto entries = MakeVariedEntries(5000, 12);
  std::uint32_t a = 10, b = 10;
  const auto from_span = BuildIndexPages(entries, 3, layout, [&] { return a++; });
  std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> pages;
  std::size_t calls = 0;
  const BuiltIndexTree tree = BuildIndexTree(
      entries.size(),
      [&](std::size_t i) {
        ++calls;
        return entries.at(i);
      },
      3, layout, [&] { return b++; },
      [&](std::uint32_t n, std::vector<std::uint8_t> bytes) { pages.emplace_back(n, std::move(bytes)); });
  EXPECT_EQ(tree.root_page, from_span.tree.root_page);
  EXPECT_EQ(pages, from_span.pages);
  EXPECT_LE(calls, 2 * entries.size());
}

}  // namespace
}  // namespace jet::write
