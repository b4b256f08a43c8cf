#pragma once
// Writes one index's B-tree from the entries collected while its table was
// written.

#include <cstdint>
#include <vector>

#include "jet/write/index_entry_list.h"
#include "jet/write/page_sink.h"

namespace jet::write {

struct IndexTree {
  std::uint32_t root_page = 0;
  std::vector<std::uint32_t> pages;  // every page of the tree
  std::uint32_t distinct_keys = 0;
};

// Sorts (or merges) the entries and consumes them. Writes the tree's pages,
// allocated from the sink as the builder asks for them, and returns the root.
IndexTree WriteIndexTree(PageSink& sink, IndexEntryList& entries, std::uint32_t owner_tdef_page);

}  // namespace jet::write
