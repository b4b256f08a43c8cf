#pragma once
// Walks an index B-tree from its root page: node entries and tail pointers
// down to the leaves, every pointer bounded and every page visited at most
// once. Collects the leaf entries in tree order and the structural problems
// found on the way; never throws for damage in the tree.
// Layout: docs/jet-format.md, section 9.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "jet/format/index_page.h"

namespace jet {

// Returns the bytes of a page, or nothing when the number is outside the file.
using IndexPageFetch = std::function<std::optional<std::span<const std::uint8_t>>(std::uint32_t)>;

struct IndexTreeProblem {
  std::uint32_t page = 0;
  std::string message;
};

struct IndexTreeWalk {
  std::vector<IndexEntry> entries;         // leaf entries, in tree order
  std::vector<std::uint32_t> entry_pages;  // the leaf page of each entry
  std::vector<std::uint32_t> leaf_pages;   // in tree order
  std::size_t node_pages = 0;
  std::vector<IndexTreeProblem> problems;  // empty for a sound tree
};

// owner: the TDEF page the index pages must name (0 to skip that check).
// Checks: page types, owners, node entries that bound their child from
// above and stay below the next child's entries, the tail, the leaf chain in
// both directions, and that entries ascend strictly across the whole index.
IndexTreeWalk WalkIndexTree(std::uint32_t root, std::uint32_t owner, const IndexPageLayout& layout,
                            const IndexPageFetch& fetch, std::size_t max_pages);

// Receives each leaf entry in tree order, with the leaf page it is on.
using IndexEntrySink = std::function<void(const IndexEntry& entry, std::uint32_t leaf_page)>;

// The same walk with the same checks, handing each leaf entry to `sink`
// instead of keeping it: the result's entries and entry_pages stay empty,
// so a walk of any size holds only the pages of the path it is on.
IndexTreeWalk WalkIndexTree(std::uint32_t root, std::uint32_t owner, const IndexPageLayout& layout,
                            const IndexPageFetch& fetch, std::size_t max_pages, const IndexEntrySink& sink);

}  // namespace jet
