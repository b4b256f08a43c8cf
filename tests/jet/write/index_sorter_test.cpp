// A table's index lists sorted by a second thread while the first reads them
// one after another: every list must come out in the same order as a sort of
// its own, whatever the timing, and the thread must never outlive the sorter.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "index_entry_reference.h"
#include "jet/write/index_sorter.h"

namespace jet::write {
namespace {

// Short keys that repeat and are prefixes of one another, so that ties
// between keys are decided by the row.
std::vector<Reference> MakeEntries(std::size_t count, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<Reference> out;
  for (std::size_t i = 0; i < count; ++i) {
    KeyBytes key = {0x7F};
    const std::size_t extra = rng() % 12;
    for (std::size_t k = 0; k < extra; ++k) key.push_back(static_cast<std::uint8_t>(rng() % 3));
    out.push_back({key, RowPointer{static_cast<std::uint32_t>(10 + i / 100), static_cast<std::uint8_t>(i % 100)}});
  }
  return out;
}

TEST(IndexSorter, EveryListComesOutAsItsOwnSortWouldGiveIt) {
  for (std::size_t per_list : {std::size_t{50}, IndexSorter::kThreadWorthEntries}) {  // alone, and with the thread
    std::vector<std::vector<Reference>> expected;
    std::vector<IndexEntryList> lists(4);
    for (std::size_t r = 0; r < lists.size(); ++r) {
      const auto entries = MakeEntries(per_list, static_cast<unsigned>(r + 1));
      for (const Reference& e : entries) lists[r].Add(e.key, e.row);
      if (r == 2) lists[r].Spill();  // one list partly in a run on disk
      expected.push_back(entries);
      std::sort(expected.back().begin(), expected.back().end());
    }
    IndexSorter sorter(lists);
    for (std::size_t r = 0; r < lists.size(); ++r) {
      sorter.WaitFor(r);
      EXPECT_TRUE(ReadAll(lists[r]) == expected[r]) << "list " << r << " of " << per_list << " entries";
      lists[r].Clear();
    }
  }
}

TEST(IndexSorter, ASorterLeftEarlyWaitsForItsThread) {
  std::vector<IndexEntryList> lists(3);
  for (IndexEntryList& list : lists) {
    for (const Reference& e : MakeEntries(IndexSorter::kThreadWorthEntries, 9)) list.Add(e.key, e.row);
  }
  {
    IndexSorter sorter(lists);
    sorter.WaitFor(0);
  }  // as when writing the first tree fails: the thread is joined here
  // The lists the thread had are whole and still sort correctly.
  auto expected = MakeEntries(IndexSorter::kThreadWorthEntries, 9);
  std::sort(expected.begin(), expected.end());
  EXPECT_TRUE(ReadAll(lists[2]) == expected);
}

}  // namespace
}  // namespace jet::write
