#pragma once
// Writes the B-trees of a table's indexes from the entries collected while
// its rows were written, one tree after another in the file.

#include <cstdint>
#include <vector>

#include "jet/write/index_entry_list.h"
#include "jet/write/page_sink.h"

namespace jet::write {

struct IndexTree {
  std::uint32_t root_page = 0;
  std::vector<std::uint32_t> pages;  // every page of the tree
  std::uint32_t distinct_keys = 0;
  std::size_t repeated_keys = 0;  // non-null keys equal to the one before
};

// Sorts (or merges) the entries and consumes them. Writes the tree's pages,
// allocated from the sink as the builder asks for them, and returns the root.
IndexTree WriteIndexTree(PageSink& sink, IndexEntryList& entries, std::uint32_t owner_tdef_page);

// The trees of every list, in list order, as WriteIndexTree would write them
// one after another. Sorting, merging and packing leaves is most of the work,
// so with enough entries a second thread shares it: it builds trees from the
// last list backwards, keeping their leaves in memory until their turn comes,
// when they are numbered where the caller would have put them; past
// `leaves_in_memory` bytes a tree's leaves wait in a temporary file, so that a
// large index built ahead does not hold its whole leaf level in memory. The
// file is the same whichever thread built which tree. The first failure in
// list order is thrown.
inline constexpr std::size_t kIndexTreeThreadWorthEntries = 4000;
inline constexpr std::size_t kLeavesAheadInMemory = std::size_t{8} << 20;
std::vector<IndexTree> WriteIndexTrees(PageSink& sink, std::vector<IndexEntryList>& lists,
                                       std::uint32_t owner_tdef_page,
                                       std::size_t leaves_in_memory = kLeavesAheadInMemory);

}  // namespace jet::write
