// Bounded index tree traversal.

#include "jet/format/index_tree.h"

#include <unordered_set>

#include "base/error.h"

namespace jet {
namespace {

class Walker {
 public:
  // sink: where leaf entries go; null to collect them in `out`.
  Walker(std::uint32_t owner, const IndexPageLayout& layout, const IndexPageFetch& fetch,
         std::size_t max_pages, const IndexEntrySink* sink, IndexTreeWalk& out)
      : owner_(owner), layout_(layout), fetch_(fetch), max_pages_(max_pages), sink_(sink), out_(out) {}

  // Visits a page and everything below it; returns the last leaf entry
  // below it, or nothing when the subtree is empty or unreadable.
  std::optional<IndexEntry> Visit(std::uint32_t number, std::size_t depth) {
    if (depth > 32) return Problem(number, "index tree deeper than 32 levels");
    if (!visited_.insert(number).second) return Problem(number, "index page reached twice (loop)");
    if (visited_.size() > max_pages_) return Problem(number, "index tree has more pages than the file");
    const auto bytes = fetch_(number);
    if (!bytes) return Problem(number, "index page pointer beyond the end of the file");
    IndexPage page;
    try {
      page = DecodeIndexPage(*bytes, layout_);
    } catch (const vondrel::Error& e) {
      return Problem(number, e.description());
    }
    if (owner_ != 0 && page.owner != owner_) {
      Problem(number, "index page belongs to table definition " + std::to_string(page.owner));
    }
    if (page.leaf) return VisitLeaf(number, std::move(page));
    ++out_.node_pages;
    std::optional<IndexEntry> last;
    for (const IndexEntry& entry : page.entries) {
      last = Visit(entry.child_page, depth + 1);
      // A node entry bounds its child from above. Access writes the child's
      // last entry, and leaves it in place when that entry is deleted later.
      if (last && CompareEntries(*last, entry) > 0) {
        Problem(number, "child page " + std::to_string(entry.child_page) +
                            " holds entries beyond its node entry");
      }
      separator_ = entry;
    }
    if (page.tail != 0) {
      last = Visit(page.tail, depth + 1);
    } else if (page.entries.empty()) {
      Problem(number, "node page with neither entries nor tail");
    }
    return last;
  }

 private:
  std::optional<IndexEntry> VisitLeaf(std::uint32_t number, IndexPage page) {
    // The chain must link this leaf to the one before it in tree order.
    const std::uint32_t before = out_.leaf_pages.empty() ? 0 : out_.leaf_pages.back();
    if (page.previous != before) {
      Problem(number, "leaf's previous page is " + std::to_string(page.previous) + ", expected " +
                          std::to_string(before));
    }
    if (!out_.leaf_pages.empty() && expected_next_ != number) {
      Problem(out_.leaf_pages.back(), "leaf's next page is " + std::to_string(expected_next_) +
                                          ", expected " + std::to_string(number));
    }
    out_.leaf_pages.push_back(number);
    expected_next_ = page.next;
    for (IndexEntry& entry : page.entries) {
      if (separator_) {
        if (CompareEntries(entry, *separator_) <= 0) {
          Problem(number, "entry not above the node entry of the previous child");
        }
        separator_.reset();
      }
      const IndexEntry* last = LastEntry();
      if (last && CompareEntries(*last, entry) >= 0) {
        Problem(number, "index entries out of order (key " + KeyToHex(entry.key) + ")");
      }
      if (sink_) {
        (*sink_)(entry, number);
        streamed_last_ = std::move(entry);
      } else {
        out_.entries.push_back(std::move(entry));
        out_.entry_pages.push_back(number);
      }
    }
    if (page.entries.empty()) return std::nullopt;
    return *LastEntry();
  }

  // The last leaf entry met so far, or null before the first.
  const IndexEntry* LastEntry() const {
    if (sink_) return streamed_last_ ? &*streamed_last_ : nullptr;
    return out_.entries.empty() ? nullptr : &out_.entries.back();
  }

  std::nullopt_t Problem(std::uint32_t page, std::string message) {
    out_.problems.push_back(IndexTreeProblem{page, std::move(message)});
    return std::nullopt;
  }

 public:
  std::uint32_t expected_next() const { return expected_next_; }

 private:
  std::uint32_t owner_;
  const IndexPageLayout& layout_;
  const IndexPageFetch& fetch_;
  std::size_t max_pages_;
  const IndexEntrySink* sink_;
  IndexTreeWalk& out_;
  std::optional<IndexEntry> streamed_last_;  // with a sink: the last entry handed to it
  std::unordered_set<std::uint32_t> visited_;
  std::uint32_t expected_next_ = 0;
  std::optional<IndexEntry> separator_;  // node entry the next leaf entry must exceed
};

IndexTreeWalk WalkTree(std::uint32_t root, std::uint32_t owner, const IndexPageLayout& layout,
                       const IndexPageFetch& fetch, std::size_t max_pages, const IndexEntrySink* sink) {
  IndexTreeWalk walk;
  Walker walker(owner, layout, fetch, max_pages, sink, walk);
  walker.Visit(root, 0);
  if (!walk.leaf_pages.empty() && walker.expected_next() != 0) {
    walk.problems.push_back(IndexTreeProblem{walk.leaf_pages.back(),
                                             "last leaf's next page is " +
                                                 std::to_string(walker.expected_next()) + ", expected 0"});
  }
  return walk;
}

}  // namespace

IndexTreeWalk WalkIndexTree(std::uint32_t root, std::uint32_t owner, const IndexPageLayout& layout,
                            const IndexPageFetch& fetch, std::size_t max_pages) {
  return WalkTree(root, owner, layout, fetch, max_pages, nullptr);
}

IndexTreeWalk WalkIndexTree(std::uint32_t root, std::uint32_t owner, const IndexPageLayout& layout,
                            const IndexPageFetch& fetch, std::size_t max_pages, const IndexEntrySink& sink) {
  return WalkTree(root, owner, layout, fetch, max_pages, &sink);
}

}  // namespace jet
