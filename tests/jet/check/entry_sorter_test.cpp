// The check's entry sorter: whatever its budget, entries come back once
// each, ordered by row pointer and then by order, with every field intact.

#include "jet/check/entry_sorter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace jet {
namespace {

std::vector<CheckEntry> RandomEntries(std::size_t count) {
  std::mt19937 random(12345);
  std::vector<CheckEntry> entries;
  for (std::size_t i = 0; i < count; ++i) {
    CheckEntry e;
    // Few pages, so that many entries share a row pointer.
    e.row = RowPointer{static_cast<std::uint32_t>(random() % 50), static_cast<std::uint8_t>(random() % 4)};
    e.order = (i * 7919) % count;  // distinct, as scan and tree places are
    e.page = static_cast<std::uint32_t>(random());
    e.covered = random() % 3 != 0;
    e.all_null = random() % 5 == 0;
    e.key.resize(random() % 40);
    for (std::uint8_t& b : e.key) b = static_cast<std::uint8_t>(random());
    if (!e.covered) e.reason = "reason " + std::to_string(random() % 7);
    entries.push_back(std::move(e));
  }
  return entries;
}

std::vector<CheckEntry> SortedThrough(EntrySorter& sorter, const std::vector<CheckEntry>& entries) {
  for (const CheckEntry& e : entries) sorter.Add(e);
  sorter.StartReading();
  std::vector<CheckEntry> out;
  CheckEntry e;
  while (sorter.Next(e)) out.push_back(e);
  return out;
}

void ExpectSame(const std::vector<CheckEntry>& got, const std::vector<CheckEntry>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].row, want[i].row) << i;
    EXPECT_EQ(got[i].order, want[i].order) << i;
    EXPECT_EQ(got[i].page, want[i].page) << i;
    EXPECT_EQ(got[i].covered, want[i].covered) << i;
    EXPECT_EQ(got[i].all_null, want[i].all_null) << i;
    EXPECT_EQ(got[i].key, want[i].key) << i;
    EXPECT_EQ(got[i].reason, want[i].reason) << i;
  }
}

TEST(EntrySorter, SpilledRunsMergeToTheOrderOfASortInMemory) {
  const std::vector<CheckEntry> entries = RandomEntries(5000);
  std::vector<CheckEntry> want = entries;
  std::stable_sort(want.begin(), want.end());

  EntrySorter roomy(std::size_t{64} << 20);
  ExpectSame(SortedThrough(roomy, entries), want);
  EXPECT_EQ(roomy.spilled_runs(), 0u);

  EntrySorter tight(8 << 10);
  ExpectSame(SortedThrough(tight, entries), want);
  EXPECT_GT(tight.spilled_runs(), 10u);
  // Each run holds about a budget's worth of entries (over 100 here), not one.
  EXPECT_LT(tight.spilled_runs(), 250u);
}

TEST(EntrySorter, EntriesAddedInOrderComeBackInOrder) {
  // A scan adds its rows in row pointer order; runs of such entries and the
  // entries held after them still merge to one order.
  std::vector<CheckEntry> entries = RandomEntries(3000);
  std::stable_sort(entries.begin(), entries.end());
  EntrySorter tight(8 << 10);
  ExpectSame(SortedThrough(tight, entries), entries);
  EXPECT_GT(tight.spilled_runs(), 10u);

  // In order but for one entry moved to the end.
  std::vector<CheckEntry> almost = entries;
  std::rotate(almost.begin(), almost.begin() + 1, almost.end());
  EntrySorter roomy(std::size_t{64} << 20);
  ExpectSame(SortedThrough(roomy, almost), entries);
}

TEST(EntrySorter, EmptyAndSingleEntry) {
  EntrySorter empty(1 << 10);
  empty.StartReading();
  CheckEntry e;
  EXPECT_FALSE(empty.Next(e));

  // A budget smaller than one entry spills every entry as a run of its own.
  const std::vector<CheckEntry> three = RandomEntries(3);
  std::vector<CheckEntry> want = three;
  std::stable_sort(want.begin(), want.end());
  EntrySorter tiny(1);
  ExpectSame(SortedThrough(tiny, three), want);
  EXPECT_EQ(tiny.spilled_runs(), 3u);
}

}  // namespace
}  // namespace jet
