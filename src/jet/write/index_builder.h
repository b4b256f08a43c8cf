#pragma once
// Builds an index B-tree bottom up from entries in key order: leaves filled
// in order and chained previous/next, then node levels whose entries repeat
// the last entry below each child. As Access does, a node page's last child
// has no entry of its own: the page's tail pointer names it. Pages use
// prefix compression.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "jet/format/index_page.h"
#include "jet/write/leaf_pages.h"

namespace jet::write {

// Hands out the page number for the next index page; the caller decides
// where index pages go in the file.
using IndexPageAllocator = std::function<std::uint32_t()>;

// Receives each finished page with its number.
using IndexPageSink = std::function<void(std::uint32_t page_number, std::vector<std::uint8_t> bytes)>;

struct BuiltIndexTree {
  std::uint32_t root_page = 0;
  std::size_t leaf_pages = 0;
  std::size_t node_pages = 0;
  std::size_t levels = 1;  // 1: the root is a leaf
  std::size_t distinct_keys = 0;
  std::size_t repeated_keys = 0;  // see IndexLeafLevel
};

// entries: leaf entries (child_page ignored), strictly ordered by
// CompareEntries. owner: the table's TDEF page. An empty index gets one
// empty leaf. Throws vondrel::Error when the entries are out of order or an
// entry is too long for a page.
BuiltIndexTree BuildIndexTree(std::span<const IndexEntry> entries, std::uint32_t owner,
                              const IndexPageLayout& layout, const IndexPageAllocator& allocate,
                              const IndexPageSink& sink);

// The same over entries streamed in order: each call fills `next` (whose
// buffers it may reuse) and returns true, or returns false at the end. Each
// entry is asked for once, so entries can come from a merge of sorted runs.
// Pages are written as they fill; on an error some may have been written.
using IndexEntryStream = std::function<bool(IndexEntry& next)>;
BuiltIndexTree BuildIndexTree(const IndexEntryStream& next_entry, std::uint32_t owner, const IndexPageLayout& layout,
                              const IndexPageAllocator& allocate, const IndexPageSink& sink);

// The two halves of the above, for a writer that builds the leaves of
// several trees at once and numbers their pages afterwards. The leaf level:
// each leaf with the last entry on it, in order.
struct IndexChild {
  std::uint32_t page;
  IndexEntry last;  // the last leaf entry below this child
};
struct IndexLeafLevel {
  std::vector<IndexChild> children;
  std::size_t distinct_keys = 0;
  // Entries whose key equals the one before and is not null in every column:
  // the repeats a unique index may not hold (it may hold any number of nulls).
  std::size_t repeated_keys = 0;
};
IndexLeafLevel BuildLeafLevel(const IndexEntryStream& next_entry, std::uint32_t owner, const IndexPageLayout& layout,
                              const IndexPageAllocator& allocate, const IndexPageSink& sink);

// A leaf level built before its page numbers are known: leaf i is numbered
// i + 1 (0 means "none" in a link) until it is placed.
struct LeavesApart {
  IndexLeafLevel level;
  LeafPages pages;
};

// The leaf level fed one entry at a time, for a writer whose entries arrive
// in order as its rows are written.
class PagePacker;
class LeafLevelBuilder {
 public:
  LeafLevelBuilder(std::uint32_t owner, const IndexPageLayout& layout, IndexPageAllocator allocate, IndexPageSink sink);
  ~LeafLevelBuilder();
  LeafLevelBuilder(const LeafLevelBuilder&) = delete;
  LeafLevelBuilder& operator=(const LeafLevelBuilder&) = delete;

  // The slot to fill with the next entry (its buffers are reused), which
  // Commit() then takes. Throws vondrel::Error when it does not follow the
  // last entry or is too long for a page.
  IndexEntry& Incoming();
  void Commit();
  // The same, but an entry that does not follow the last one is left out
  // and false returned (an entry too long for a page still throws).
  bool TryCommit();
  // Entries taken and not yet on a written page, in order.
  std::span<const IndexEntry> Pending() const { return {pending_.data(), used_}; }
  std::size_t count() const { return count_; }
  // Writes the last leaf (or, without entries, one empty leaf).
  IndexLeafLevel Finish();

 private:
  void WriteLeaf(std::uint32_t next_number);

  IndexPageLayout layout_;
  IndexPageAllocator allocate_;
  IndexPageSink sink_;
  std::unique_ptr<PagePacker> packer_;
  IndexPage leaf_;
  std::vector<IndexEntry> pending_;
  std::size_t used_ = 0;
  std::size_t count_ = 0;
  std::uint32_t previous_number_ = 0;
  std::uint32_t number_ = 0;
  IndexLeafLevel level_;
};
// The node levels above the leaves, up to the root.
BuiltIndexTree BuildNodeLevels(IndexLeafLevel leaves, std::uint32_t owner, const IndexPageLayout& layout,
                               const IndexPageAllocator& allocate, const IndexPageSink& sink);

// The same over entries produced on demand: entry_at(i) for i < count, each
// asked for once, in order.
using IndexEntrySource = std::function<IndexEntry(std::size_t position)>;
BuiltIndexTree BuildIndexTree(std::size_t count, const IndexEntrySource& entry_at, std::uint32_t owner,
                              const IndexPageLayout& layout, const IndexPageAllocator& allocate,
                              const IndexPageSink& sink);

}  // namespace jet::write
