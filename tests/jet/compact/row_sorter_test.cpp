// The row sorter gives the order of a stable sort by key, whether its
// records stay in memory or go through sorted runs in a temporary file.
#include "jet/compact/row_sorter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace jet::compact {
namespace {

struct Record {
  std::vector<std::uint8_t> key;
  std::string payload;
};

std::vector<Record> RandomRecords(std::size_t count, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<Record> records(count);
  for (std::size_t i = 0; i < count; ++i) {
    // Few distinct keys of varied length, so that equal keys and prefixes
    // abound; every other one past 8 bytes, all of those alike up to there,
    // where the sorter compares its first bytes as one number.
    const std::size_t shared = i % 2 == 0 ? 0 : 8;
    records[i].key.assign(shared, 1);
    records[i].key.resize(shared + 1 + rng() % 4);
    for (std::size_t k = shared; k < records[i].key.size(); ++k)
      records[i].key[k] = static_cast<std::uint8_t>(rng() % 3);
    records[i].payload = "row " + std::to_string(i) + std::string(rng() % 300, 'x');
  }
  return records;
}

struct Visited {
  std::vector<std::vector<std::uint8_t>> keys;
  std::vector<std::uint64_t> sequences;
  std::vector<std::string> payloads;
};

Visited MergeAll(RowSorter& sorter) {
  Visited v;
  sorter.Merge([&](RowSorter::Bytes key, std::uint64_t sequence, RowSorter::Bytes payload) {
    v.keys.emplace_back(key.begin(), key.end());
    v.sequences.push_back(sequence);
    v.payloads.emplace_back(payload.begin(), payload.end());
  });
  return v;
}

TEST(RowSorter, GivesTheStableKeyOrderInMemoryAndThroughRuns) {
  const std::vector<Record> records = RandomRecords(5000, 7);
  std::vector<std::size_t> expected(records.size());
  for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = i;
  std::stable_sort(expected.begin(), expected.end(),
                   [&](std::size_t a, std::size_t b) { return records[a].key < records[b].key; });
  for (const std::size_t budget : {std::size_t{64} << 20, std::size_t{4096}, std::size_t{1}}) {
    SCOPED_TRACE(budget);
    RowSorter sorter(budget);
    for (const Record& r : records)
      sorter.Add(r.key, {reinterpret_cast<const std::uint8_t*>(r.payload.data()), r.payload.size()});
    EXPECT_EQ(sorter.size(), records.size());
    EXPECT_EQ(sorter.spilled(), budget < (std::size_t{1} << 20));
    EXPECT_FALSE(sorter.in_added_order());
    const Visited first = MergeAll(sorter);
    ASSERT_EQ(first.sequences.size(), records.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(first.sequences[i], expected[i]) << i;
      EXPECT_EQ(first.keys[i], records[expected[i]].key);
      EXPECT_EQ(first.payloads[i], records[expected[i]].payload);
    }
    const Visited again = MergeAll(sorter);
    EXPECT_EQ(again.sequences, first.sequences);
    EXPECT_EQ(again.payloads, first.payloads);
  }
}

// Whether a merge would move anything is known from the keys as they came,
// across the batches a small budget spills, and a single key below the one
// before it is enough to tell.
TEST(RowSorter, KnowsWhetherTheRecordsCameInKeyOrder) {
  const std::vector<std::uint8_t> payload(100, 1);
  for (const std::size_t budget : {std::size_t{64} << 20, std::size_t{2048}}) {
    SCOPED_TRACE(budget);
    // The dips near the start fall on every place in a spilled batch, its first included.
    for (std::size_t lower_at = 0; lower_at < 300; lower_at = lower_at < 20 ? lower_at + 1 : lower_at + 93) {
      SCOPED_TRACE(lower_at);
      RowSorter sorter(budget);
      for (std::size_t i = 0; i < 300; ++i) {
        // Non-decreasing keys with repeats (equal keys keep their order),
        // except that the key of record `lower_at` (when not 0) dips below
        // the one before it.
        std::uint8_t high = static_cast<std::uint8_t>(1 + i / 3);
        if (i == lower_at && i > 0) high = 0;
        sorter.Add(std::vector<std::uint8_t>{high, 7}, payload);
      }
      EXPECT_EQ(sorter.spilled(), budget == 2048);
      EXPECT_EQ(sorter.in_added_order(), lower_at == 0);
      const Visited v = MergeAll(sorter);
      bool moved = false;
      for (std::uint64_t i = 0; i < v.sequences.size(); ++i) moved = moved || v.sequences[i] != i;
      EXPECT_EQ(moved, !sorter.in_added_order());
    }
  }
}

TEST(RowSorter, KeepsRecordsAddedInOrderAsTheyCame) {
  RowSorter sorter(1 << 10);
  for (std::uint8_t k = 0; k < 200; ++k) sorter.Add(std::vector<std::uint8_t>{k, 1}, std::vector<std::uint8_t>(20, k));
  const Visited v = MergeAll(sorter);
  ASSERT_EQ(v.sequences.size(), 200u);
  for (std::uint64_t i = 0; i < 200; ++i) EXPECT_EQ(v.sequences[i], i);
  EXPECT_EQ(v.payloads[199], std::string(20, static_cast<char>(199)));
}

TEST(RowSorter, CarriesRecordsLargerThanItsBuffersThroughRuns) {
  // Payloads from a few bytes to past the run files' 1 MiB write and 64 KiB
  // read buffers, in descending key order, so that every run is reversed.
  std::vector<Record> records;
  for (std::size_t i = 0; i < 40; ++i) {
    const std::size_t size = i % 5 == 0 ? (std::size_t{1} << 20) + 3 * i : i % 3 == 0 ? 70000 + i : 10 + i;
    std::string payload(size, '\0');
    for (std::size_t j = 0; j < size; ++j) payload[j] = static_cast<char>('a' + (i + j / 97) % 26);
    records.push_back({{static_cast<std::uint8_t>(200 - i), 9}, std::move(payload)});
  }
  RowSorter sorter(std::size_t{3} << 20);
  for (const Record& r : records)
    sorter.Add(r.key, {reinterpret_cast<const std::uint8_t*>(r.payload.data()), r.payload.size()});
  EXPECT_TRUE(sorter.spilled());
  const Visited v = MergeAll(sorter);
  ASSERT_EQ(v.sequences.size(), records.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    const std::size_t expected = records.size() - 1 - i;
    ASSERT_EQ(v.sequences[i], expected);
    EXPECT_EQ(v.keys[i], records[expected].key);
    EXPECT_TRUE(v.payloads[i] == records[expected].payload) << "record " << expected;
  }
}

TEST(RowSorter, EmptyMergesToNothing) {
  RowSorter sorter;
  EXPECT_TRUE(MergeAll(sorter).sequences.empty());
}

}  // namespace
}  // namespace jet::compact
