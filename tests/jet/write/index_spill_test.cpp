// Index entries kept in memory or spilled to sorted runs and merged: the
// order, the index pages and whole databases must not depend on the budget.

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <random>

#include "base/error.h"
#include "index_entry_reference.h"
#include "jet/read/database.h"
#include "jet/write/database_writer.h"
#include "jet/write/index_tree_writer.h"
#include "support/file_bytes.h"
#include "support/samples.h"

namespace jet::write {
namespace {

using vondrel::testing::ReadFileBytes;
using vondrel::testing::ScratchDir;

TEST(IndexEntryList, SpilledRunsMergeToTheOrderOfASortInMemory) {
  const auto entries = MakeEntries(20000, 7);
  auto expected = entries;
  std::sort(expected.begin(), expected.end());

  IndexEntryList in_memory, spilled;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    in_memory.Add(entries[i].key, entries[i].row);
    spilled.Add(entries[i].key, entries[i].row);
    if (i % 2900 == 2899) spilled.Spill();
  }
  EXPECT_EQ(spilled.spilled_runs(), 6u);
  EXPECT_EQ(spilled.size(), entries.size());
  EXPECT_LT(spilled.memory_bytes(), in_memory.memory_bytes());

  // Rows added last first, as keys settled after a table's rows are: ties
  // between equal keys are not in the order of addition.
  IndexEntryList reversed;
  for (auto e = entries.rbegin(); e != entries.rend(); ++e) reversed.Add(e->key, e->row);

  const auto a = ReadAll(in_memory);
  const auto b = ReadAll(spilled);
  const auto c = ReadAll(reversed);
  ASSERT_EQ(a.size(), expected.size());
  ASSERT_EQ(b.size(), expected.size());
  ASSERT_EQ(c.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(a[i].key, expected[i].key) << "in memory, entry " << i;
    ASSERT_EQ(a[i].row, expected[i].row) << "in memory, entry " << i;
    ASSERT_EQ(b[i].key, expected[i].key) << "spilled, entry " << i;
    ASSERT_EQ(b[i].row, expected[i].row) << "spilled, entry " << i;
    ASSERT_EQ(c[i].key, expected[i].key) << "added in reverse, entry " << i;
    ASSERT_EQ(c[i].row, expected[i].row) << "added in reverse, entry " << i;
  }
}

// Long keys whose heads decide, keys whole in their heads that differ in
// their low bytes only, and heads that share high bits: lists of several
// sizes, sorted by radix in differently sized buckets, read back in order.
TEST(IndexEntryList, LargeListsOfEveryKindOfHeadReadBackInOrder) {
  std::mt19937 rng(3);
  for (const std::size_t count : {std::size_t{20000}, std::size_t{60000}}) {
    for (int kind = 0; kind < 3; ++kind) {
      std::vector<Reference> entries;
      for (std::size_t i = 0; i < count; ++i) {
        KeyBytes key;
        if (kind == 0) {  // numbers: a flag, then few distinct low bytes
          key = {0x7F, 0x80, 0x00, static_cast<std::uint8_t>(rng() % 3), static_cast<std::uint8_t>(rng())};
        } else if (kind == 1) {  // text: letters past a common word, some equal for 8 letters and more
          key = {0x7F, 'P', 'R', 'O', 'D'};
          const std::size_t letters = 3 + rng() % 12;
          for (std::size_t k = 0; k < letters; ++k) key.push_back(static_cast<std::uint8_t>('A' + rng() % (k < 8 ? 2 : 26)));
        } else {  // dates: eight bytes with a high bit that never changes
          key = {0x7F, 0xC0};
          for (int k = 0; k < 7; ++k) key.push_back(static_cast<std::uint8_t>(rng()));
        }
        entries.push_back({key, RowPointer{static_cast<std::uint32_t>(1000 + rng() % 5000), static_cast<std::uint8_t>(rng())}});
      }
      // A row has one entry per index: drop the draws that repeat one.
      std::sort(entries.begin(), entries.end());
      entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
      std::shuffle(entries.begin(), entries.end(), rng);
      IndexEntryList shuffled;
      for (const Reference& e : entries) shuffled.Add(e.key, e.row);
      std::sort(entries.begin(), entries.end());
      EXPECT_EQ(ReadAll(shuffled), entries) << count << " entries of kind " << kind;
    }
  }
}

// Any number of runs merges to the sorted order: from one to seventeen runs
// of uneven length (the first few entries long, the last thousands), so that
// runs end long before others, with and without entries left in memory.
TEST(IndexEntryList, AnyNumberOfUnevenRunsMergesInOrder) {
  const auto entries = MakeEntries(6000, 11);
  auto expected = entries;
  std::sort(expected.begin(), expected.end());
  for (const std::size_t runs : {1u, 2u, 3u, 5u, 8u, 17u}) {
    for (const bool memory_left : {false, true}) {
      // Run j ends at the size times (j / runs) cubed; with entries left in
      // memory, they are one more such part.
      const std::size_t parts = runs + (memory_left ? 1 : 0);
      std::vector<std::size_t> ends;
      for (std::size_t j = 1; j <= runs; ++j) {
        const double share = static_cast<double>(j) / static_cast<double>(parts);
        ends.push_back(std::max<std::size_t>(j, static_cast<std::size_t>(share * share * share * entries.size())));
      }
      IndexEntryList list;
      for (std::size_t i = 0; i < entries.size(); ++i) {
        list.Add(entries[i].key, entries[i].row);
        if (std::find(ends.begin(), ends.end(), i + 1) != ends.end()) list.Spill();
      }
      ASSERT_EQ(list.spilled_runs(), runs);
      EXPECT_EQ(ReadAll(list), expected) << runs << " runs, entries left in memory: " << memory_left;
    }
  }
}

TEST(IndexEntryList, SortedInputAndEmptyListsReadBack) {
  IndexEntryList empty;
  EXPECT_TRUE(ReadAll(empty).empty());
  IndexEntryList only_spilled;
  only_spilled.Add({1, 2}, RowPointer{5, 0});
  only_spilled.Add({1}, RowPointer{5, 1});
  only_spilled.Spill();
  only_spilled.Spill();  // nothing left in memory: no empty run
  EXPECT_EQ(only_spilled.spilled_runs(), 1u);
  const auto out = ReadAll(only_spilled);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].key, KeyBytes{1});
  EXPECT_EQ(out[1].key, (KeyBytes{1, 2}));
}

TEST(IndexEntryList, SpillingWritesTheSameIndexPages) {
  ScratchDir dir;
  const auto entries = MakeEntries(30000, 11);
  auto expected = entries;
  std::sort(expected.begin(), expected.end());
  const std::size_t distinct = static_cast<std::size_t>(
      std::unique(expected.begin(), expected.end(), [](const Reference& x, const Reference& y) { return x.key == y.key; }) -
      expected.begin());

  std::vector<IndexTree> trees;
  for (int spill_every : {0, 1000}) {
    PageSink sink(dir / ("tree" + std::to_string(spill_every) + ".mdb"), FormatVersion::Jet4, 0);
    sink.Allocate(3);
    IndexEntryList list;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      list.Add(entries[i].key, entries[i].row);
      if (spill_every && i % spill_every == 0) list.Spill();
    }
    trees.push_back(WriteIndexTree(sink, list, 2));
    sink.Commit();
  }
  EXPECT_EQ(trees[0].root_page, trees[1].root_page);
  EXPECT_EQ(trees[0].pages, trees[1].pages);
  EXPECT_EQ(trees[0].distinct_keys, distinct);
  EXPECT_EQ(trees[1].distinct_keys, distinct);
  EXPECT_GT(trees[0].pages.size(), 50u);
  const auto a = ReadFileBytes(dir / "tree0.mdb");
  EXPECT_EQ(a.size(), (3 + trees[0].pages.size()) * 4096);
  EXPECT_TRUE(a == ReadFileBytes(dir / "tree1000.mdb"));
}

void BuildCatalogue(const std::filesystem::path& path, std::size_t budget) {
  CreateOptions options;
  options.index_memory_budget = budget;
  DatabaseWriter db(path, options);
  const auto items = db.AddTable({"Items",
                                  {{"Id", ColumnType::Long, 0, true},
                                   {"Name", ColumnType::Text, 60},
                                   {"Price", ColumnType::Double},
                                   {"Notes", ColumnType::Memo}},
                                  {{"PrimaryKey", {{"Id", true}}, true},
                                   {"ByName", {{"Name", true}, {"Price", false}}},
                                   {"ByPrice", {{"Price", true}}}}});
  std::mt19937 rng(3);
  db.BeginRows(items);
  for (int i = 0; i < 3000; ++i) {
    db.Insert({Value::Null(), Value::Text("Item " + std::to_string(rng() % 700)), Value::Double((rng() % 5000) / 4.0),
               i % 3 ? Value::Null() : Value::Text(std::string(rng() % 3000, 'n'))});
  }
  db.EndRows();
  db.Close();
}

TEST(IndexEntryList, ATinyBudgetWritesAByteIdenticalDatabase) {
  ScratchDir dir;
  BuildCatalogue(dir / "roomy.mdb", kDefaultIndexMemoryBudget);
  BuildCatalogue(dir / "tight.mdb", 16 * 1024);  // spills every few dozen rows
  const auto roomy = ReadFileBytes(dir / "roomy.mdb");
  ASSERT_GT(roomy.size(), 100000u);
  EXPECT_TRUE(roomy == ReadFileBytes(dir / "tight.mdb"));
  const auto db = Database::Open(dir / "tight.mdb");
  EXPECT_EQ(db->CountRows(db->ReadTableDefinition(*db->FindTable("Items"))), 3000u);
}

}  // namespace
}  // namespace jet::write

namespace jet::write {
namespace {

std::vector<std::uint8_t> FilledPage(std::uint8_t value) { return std::vector<std::uint8_t>(4096, value); }

// Pages given up by a rewind are written again or, when never written again,
// come out as zeros, as in a file written in one go; pages written after an
// earlier rewind stay.
TEST(PageSink, RewoundPagesAreRewrittenOrZeroed) {
  ScratchDir dir;
  const auto path = dir / "rewound.mdb";
  {
    PageSink sink(path, FormatVersion::Jet4, 0);
    for (std::uint32_t p = sink.Allocate(6); p < 6; ++p) sink.Write(p, FilledPage(0xA0));
    sink.Rewind(2);
    for (std::uint32_t p = sink.Allocate(6); p < 8; ++p) sink.Write(p, FilledPage(0xB0));
    for (std::uint32_t p = sink.Allocate(4); p < 12; ++p) sink.Write(p, FilledPage(0xC0));
    sink.Rewind(9);
    EXPECT_EQ(sink.Allocate(2), 9u);
    sink.Write(9, FilledPage(0xD0));  // page 10 stays unwritten
    sink.Commit();
  }
  const auto bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 11u * 4096);
  const std::uint8_t expected[] = {0xA0, 0xA0, 0xB0, 0xB0, 0xB0, 0xB0, 0xB0, 0xB0, 0xC0, 0xD0, 0x00};
  for (std::size_t p = 0; p < 11; ++p) {
    const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(p * 4096);
    EXPECT_TRUE(std::all_of(first, first + 4096, [&](std::uint8_t b) { return b == expected[p]; })) << "page " << p;
  }
}

// Pages arrive out of order (late ones far behind the rest, rewritten ones
// after a rewind) across many gathering windows, and some are written again
// long after their first write; the file must hold each page's
// last bytes at its place whatever the order of the writes.
TEST(PageSink, PagesWrittenOutOfOrderLandAtTheirPlace) {
  ScratchDir dir;
  const auto path = dir / "shuffled.mdb";
  const std::uint32_t count = 3000;  // 12 MiB: the first windows are written before the last pages arrive
  std::vector<std::uint8_t> last(count, 0);
  {
    PageSink sink(path, FormatVersion::Jet4, 0);
    sink.Allocate(count);
    std::mt19937 rng(5);
    std::vector<std::uint32_t> order(count);
    for (std::uint32_t p = 0; p < count; ++p) order[p] = p;
    // Mostly ascending, with pages held back by up to 400 places.
    for (std::uint32_t p = 0; p < count; ++p) std::swap(order[p], order[std::min<std::uint32_t>(count - 1, p + rng() % 400)]);
    for (std::uint32_t p : order) {
      last[p] = static_cast<std::uint8_t>(1 + p % 251);
      sink.Write(p, FilledPage(last[p]));
    }
    for (std::uint32_t p = 0; p < count; p += 7) {  // second writes win
      last[p] = 0xEE;
      sink.Write(p, FilledPage(0xEE));
    }
    sink.Commit();
  }
  const auto bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), std::size_t{count} * 4096);
  for (std::size_t p = 0; p < count; ++p) {
    const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(p * 4096);
    ASSERT_TRUE(std::all_of(first, first + 4096, [&](std::uint8_t b) { return b == last[p]; })) << "page " << p;
  }
}

// A data page is finished after the long-value pages its rows point to, and
// those may already fill the next window: the late page still joins its
// neighbours in one write instead of cutting their window into pieces.
TEST(PageSink, ALatePageJoinsTheWriteOfItsNeighbours) {
  ScratchDir dir;
  const auto path = dir / "late.mdb";
  constexpr std::uint32_t kLate = 200, kCount = 300;  // windows of 256 pages: [0, 256) and [256, 300)
  {
    PageSink sink(path, FormatVersion::Jet4, 0);
    sink.Allocate(kCount);
    for (std::uint32_t p = 0; p < kCount; ++p)
      if (p != kLate) sink.Write(p, FilledPage(static_cast<std::uint8_t>(p)));
    sink.Write(kLate, FilledPage(0xEE));
    sink.Commit();
    EXPECT_EQ(sink.writes_made(), 2u);  // one per window
  }
  const auto bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), std::size_t{kCount} * 4096);
  for (std::size_t p = 0; p < kCount; ++p) {
    const std::uint8_t expected = p == kLate ? 0xEE : static_cast<std::uint8_t>(p);
    const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(p * 4096);
    ASSERT_TRUE(std::all_of(first, first + 4096, [&](std::uint8_t b) { return b == expected; })) << "page " << p;
  }
}

// A write the system refuses (here: past a file-size limit) is reported by
// a later call, and the file is removed.
TEST(PageSink, AFailedWriteIsReportedAndTheFileRemoved) {
  ScratchDir dir;
  const auto path = dir / "limited.mdb";
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
  rlimit limited = saved;
  limited.rlim_cur = 64 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  bool reported = false;
  try {
    PageSink sink(path, FormatVersion::Jet4, 0);
    sink.Allocate(600);
    for (std::uint32_t p = 0; p < 600; ++p) sink.Write(p, FilledPage(0x11));
    sink.Commit();
  } catch (const vondrel::Error& error) {
    reported = true;
    EXPECT_NE(error.description().find("cannot write"), std::string::npos) << error.description();
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_TRUE(reported);
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace jet::write
