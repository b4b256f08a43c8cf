// Bottom-up B-tree construction for index pages.

#include "jet/write/index_builder.h"

#include <algorithm>
#include <optional>
#include <string>

#include "base/error.h"

namespace jet::write {
namespace {

constexpr std::int32_t kIndexBuildError = 3049;

[[noreturn]] void Fail(const std::string& what) {
  throw vondrel::Error(kIndexBuildError, "cannot build index: " + what);
}

// Greedy packing: how many of `entries` (from `from`) fit on one page,
// counting the prefix they would share with the first.
std::size_t CountThatFit(std::span<const IndexEntry> entries, std::size_t from, bool leaf,
                         const IndexPageLayout& layout) {
  const std::size_t capacity = layout.EntryCapacity();
  const std::size_t prefix_limit = layout.prefix_width == 1 ? 0xFF : 0xFFFF;
  const IndexEntry& first = entries[from];
  const std::size_t first_size = EntrySize(first, leaf);
  if (first_size > capacity) Fail("an entry of " + std::to_string(first_size) + " bytes exceeds a page");
  // The first entry's bytes, to measure shared prefixes against.
  std::vector<std::uint8_t> first_bytes(first.key);
  first_bytes.push_back(static_cast<std::uint8_t>(first.data_page >> 16));
  first_bytes.push_back(static_cast<std::uint8_t>(first.data_page >> 8));
  first_bytes.push_back(static_cast<std::uint8_t>(first.data_page));
  first_bytes.push_back(first.row);
  // (A node entry's child pointer follows; entries with equal keys and rows
  // never occur, so the prefix never reaches into it.)
  std::size_t total = first_size;
  std::size_t prefix = prefix_limit;
  std::size_t count = 1;
  for (std::size_t i = from + 1; i < entries.size(); ++i) {
    const IndexEntry& e = entries[i];
    std::size_t shared = 0;
    const std::size_t limit = std::min(first_bytes.size(), e.key.size() + 4);
    auto byte_of = [&](std::size_t n) -> std::uint8_t {
      if (n < e.key.size()) return e.key[n];
      const std::size_t p = n - e.key.size();
      return p < 3 ? static_cast<std::uint8_t>(e.data_page >> (8 * (2 - p))) : e.row;
    };
    while (shared < limit && first_bytes[shared] == byte_of(shared)) ++shared;
    const std::size_t new_prefix = std::min(prefix, shared);
    const std::size_t new_total = total + EntrySize(e, leaf);
    // Every later entry saves the prefix; the first is stored whole.
    if (new_total - count * new_prefix > capacity) break;
    total = new_total;
    prefix = new_prefix;
    ++count;
  }
  return count;
}

struct Child {
  std::uint32_t page;
  IndexEntry last;  // last leaf entry below this child
};

}  // namespace

BuiltIndexTree BuildIndexTree(std::span<const IndexEntry> entries, std::uint32_t owner,
                              const IndexPageLayout& layout, const IndexPageAllocator& allocate,
                              const IndexPageSink& sink) {
  for (std::size_t i = 1; i < entries.size(); ++i) {
    if (CompareEntries(entries[i - 1], entries[i]) >= 0) {
      Fail("entries out of order at entry " + std::to_string(i));
    }
  }
  BuiltIndexTree tree;
  if (entries.empty()) {
    tree.root_page = allocate();
    IndexPage empty;
    empty.owner = owner;
    sink(tree.root_page, EncodeIndexPage(empty, layout));
    tree.leaf_pages = 1;
    return tree;
  }

  // Leaves: count the pages first so each can name its successor.
  std::vector<std::pair<std::size_t, std::size_t>> groups;  // start, count
  for (std::size_t at = 0; at < entries.size();) {
    const std::size_t count = CountThatFit(entries, at, true, layout);
    groups.emplace_back(at, count);
    at += count;
  }
  std::vector<std::uint32_t> numbers;
  numbers.reserve(groups.size());
  for (std::size_t i = 0; i < groups.size(); ++i) numbers.push_back(allocate());
  std::vector<Child> children;
  for (std::size_t i = 0; i < groups.size(); ++i) {
    IndexPage leaf;
    leaf.owner = owner;
    leaf.previous = i > 0 ? numbers[i - 1] : 0;
    leaf.next = i + 1 < groups.size() ? numbers[i + 1] : 0;
    leaf.entries.assign(entries.begin() + groups[i].first,
                        entries.begin() + groups[i].first + groups[i].second);
    for (IndexEntry& e : leaf.entries) e.child_page = 0;
    children.push_back(Child{numbers[i], leaf.entries.back()});
    sink(numbers[i], EncodeIndexPage(leaf, layout));
  }
  tree.leaf_pages = groups.size();

  // Node levels until one page remains.
  while (children.size() > 1) {
    std::vector<IndexEntry> level_entries;
    level_entries.reserve(children.size());
    for (const Child& c : children) {
      IndexEntry e = c.last;
      e.child_page = c.page;
      level_entries.push_back(std::move(e));
    }
    // Each page: the entries that fit, then the next child as its tail.
    struct NodeGroup { std::size_t start, count; std::optional<std::size_t> tail; };
    std::vector<NodeGroup> node_groups;
    for (std::size_t at = 0; at < level_entries.size();) {
      const std::size_t count = CountThatFit(level_entries, at, false, layout);
      NodeGroup g{at, count, std::nullopt};
      at += count;
      if (at < level_entries.size()) {
        g.tail = at;
        ++at;
      } else if (count > 1) {
        // The last child of the level becomes the tail of the last page.
        g.tail = at - 1;
        --g.count;
      }
      node_groups.push_back(g);
    }
    std::vector<std::uint32_t> node_numbers;
    for (std::size_t i = 0; i < node_groups.size(); ++i) node_numbers.push_back(allocate());
    std::vector<Child> parents;
    for (std::size_t i = 0; i < node_groups.size(); ++i) {
      const NodeGroup& g = node_groups[i];
      IndexPage node;
      node.leaf = false;
      node.owner = owner;
      node.previous = i > 0 ? node_numbers[i - 1] : 0;
      node.next = i + 1 < node_groups.size() ? node_numbers[i + 1] : 0;
      node.entries.assign(level_entries.begin() + g.start, level_entries.begin() + g.start + g.count);
      const std::size_t last_child = g.tail ? *g.tail : g.start + g.count - 1;
      if (g.tail) node.tail = children[*g.tail].page;
      parents.push_back(Child{node_numbers[i], children[last_child].last});
      sink(node_numbers[i], EncodeIndexPage(node, layout));
    }
    tree.node_pages += node_groups.size();
    ++tree.levels;
    children = std::move(parents);
  }
  tree.root_page = children.front().page;
  return tree;
}

BuiltIndexPages BuildIndexPages(std::span<const IndexEntry> entries, std::uint32_t owner,
                                const IndexPageLayout& layout, const IndexPageAllocator& allocate) {
  BuiltIndexPages result;
  result.tree = BuildIndexTree(entries, owner, layout, allocate,
                               [&](std::uint32_t n, std::vector<std::uint8_t> bytes) {
                                 result.pages.emplace_back(n, std::move(bytes));
                               });
  return result;
}

}  // namespace jet::write
