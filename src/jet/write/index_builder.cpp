// Bottom-up B-tree construction for index pages.

#include "jet/write/index_builder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "base/error.h"
#include "jet/write/cache_line.h"

namespace jet::write {
namespace {

constexpr std::int32_t kIndexBuildError = 3049;

[[noreturn]] void Fail(const std::string& what) {
  throw vondrel::Error(kIndexBuildError, "cannot build index: " + what);
}

// Bytes of an entry as they start on a page (key, data page, row), which is
// where the prefix shared with the page's first entry is measured.
std::vector<std::uint8_t> LeadingBytes(const IndexEntry& entry) {
  std::vector<std::uint8_t> bytes(entry.key);
  bytes.push_back(static_cast<std::uint8_t>(entry.data_page >> 16));
  bytes.push_back(static_cast<std::uint8_t>(entry.data_page >> 8));
  bytes.push_back(static_cast<std::uint8_t>(entry.data_page));
  bytes.push_back(entry.row);
  return bytes;
}

// How many leading bytes of a and b agree, up to `most`; a word at a time,
// as entries of one page often share long prefixes.
std::size_t SharedPrefix(const std::uint8_t* a, const std::uint8_t* b, std::size_t most) {
  std::size_t at = 0;
  for (; at + 8 <= most; at += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + at, 8);
    std::memcpy(&y, b + at, 8);
    if (x != y) return at + static_cast<std::size_t>(std::countr_zero(x ^ y)) / 8;
  }
  while (at < most && a[at] == b[at]) ++at;
  return at;
}

// Greedy packing of consecutive entries onto one page, counting the prefix
// they share with the page's first entry. (A node entry's child pointer
// follows its row; entries never repeat a key and row, so the estimate
// never counts on sharing the child pointer, which makes it safe.)
}  // namespace

// On cache lines of its own: a packer made by one thread may fill pages on another.
class alignas(kCacheLineBytes) PagePacker {
 public:
  PagePacker(bool leaf, const IndexPageLayout& layout)
      : leaf_(leaf), capacity_(layout.EntryCapacity()), prefix_limit_(layout.prefix_width == 1 ? 0xFF : 0xFFFF) {}

  // Starts a page with its first entry.
  void Start(const IndexEntry& first) {
    const std::size_t size = EntrySize(first, leaf_);
    if (size > capacity_) Fail("an entry of " + std::to_string(size) + " bytes exceeds a page");
    first_ = LeadingBytes(first);
    total_ = size;
    prefix_ = prefix_limit_;
    count_ = 1;
  }
  // Adds the entry when it still fits; false (and nothing added) otherwise.
  bool TryAdd(const IndexEntry& e) {
    const std::size_t key_size = e.key.size();
    const std::size_t limit = std::min(first_.size(), key_size + 4);
    std::size_t shared = SharedPrefix(first_.data(), e.key.data(), std::min(key_size, limit));
    if (shared == key_size) {
      const std::uint8_t pointer[4] = {static_cast<std::uint8_t>(e.data_page >> 16),
                                       static_cast<std::uint8_t>(e.data_page >> 8),
                                       static_cast<std::uint8_t>(e.data_page), e.row};
      while (shared < limit && first_[shared] == pointer[shared - key_size]) ++shared;
    }
    const std::size_t prefix = std::min(prefix_, shared);
    const std::size_t total = total_ + EntrySize(e, leaf_);
    // Every entry after the first saves the prefix.
    if (total - count_ * prefix > capacity_) return false;
    total_ = total;
    prefix_ = prefix;
    ++count_;
    return true;
  }
  std::size_t count() const { return count_; }
  // The longest prefix the page's entries share with its first, as the
  // page encoder measures it.
  std::size_t prefix() const { return count_ < 2 ? 0 : prefix_; }

 private:
  bool leaf_;
  std::size_t capacity_;
  std::size_t prefix_limit_;
  std::vector<std::uint8_t> first_;
  std::size_t total_ = 0;
  std::size_t prefix_ = 0;
  std::size_t count_ = 0;
};

namespace {

// How many of `entries` from `from` fit on one page.
std::size_t CountThatFit(std::span<const IndexEntry> entries, std::size_t from, bool leaf,
                         const IndexPageLayout& layout) {
  PagePacker packer(leaf, layout);
  packer.Start(entries[from]);
  for (std::size_t i = from + 1; i < entries.size() && packer.TryAdd(entries[i]); ++i) {
  }
  return packer.count();
}

// Each column's part of a key starts with a flag byte, and only a null part
// is that byte alone (00, or FF descending; a value's flag is 7F or 80): a key
// of nothing but those bytes is null in every column.
bool AllNull(const KeyBytes& key) {
  return std::all_of(key.begin(), key.end(), [](std::uint8_t b) {
    return b == key::kAscendingNull || b == key::kDescendingNull;
  });
}

}  // namespace

// A leaf is written once the entry that does not fit it arrives, when the
// next leaf's number is allocated. Leaves are thereby numbered in order
// before any node page, as the node levels expect. The leaf's entries stay
// in `pending_` (one slot past them is the incoming entry), whose key
// buffers are reused page after page.
LeafLevelBuilder::LeafLevelBuilder(std::uint32_t owner, const IndexPageLayout& layout, IndexPageAllocator allocate,
                                   IndexPageSink sink)
    : layout_(layout),
      allocate_(std::move(allocate)),
      sink_(std::move(sink)),
      packer_(std::make_unique<PagePacker>(true, layout)) {
  leaf_.owner = owner;
}

LeafLevelBuilder::~LeafLevelBuilder() = default;

IndexEntry& LeafLevelBuilder::Incoming() {
  if (used_ == pending_.size()) pending_.emplace_back();
  return pending_[used_];
}

void LeafLevelBuilder::Commit() {
  if (!TryCommit()) Fail("entries out of order at entry " + std::to_string(count_));
}

bool LeafLevelBuilder::TryCommit() {
  IndexEntry& incoming = pending_[used_];
  incoming.child_page = 0;
  if (count_ == 0) {
    level_.distinct_keys = 1;
    number_ = allocate_();
    packer_->Start(incoming);
    used_ = 1;
    count_ = 1;
    return true;
  }
  const IndexEntry& current = pending_[used_ - 1];
  const int by_key = CompareKeys(current.key, incoming.key);
  if (by_key > 0 || (by_key == 0 && CompareEntries(current, incoming) >= 0)) return false;
  ++count_;
  if (by_key != 0) ++level_.distinct_keys;
  else if (!AllNull(incoming.key)) ++level_.repeated_keys;
  if (!packer_->TryAdd(incoming)) {
    WriteLeaf(allocate_());
    std::swap(pending_[0], pending_[used_]);
    used_ = 0;
    packer_->Start(pending_[0]);
  }
  ++used_;
  return true;
}

void LeafLevelBuilder::WriteLeaf(std::uint32_t next_number) {
  leaf_.previous = previous_number_;
  leaf_.next = next_number;
  const std::span<const IndexEntry> entries(pending_.data(), used_);
  level_.children.push_back({number_, entries.back()});
  sink_(number_, EncodeIndexPageWithMeasuredPrefix(leaf_, entries, layout_, packer_->prefix()));
  previous_number_ = number_;
  number_ = next_number;
}

IndexLeafLevel LeafLevelBuilder::Finish() {
  if (count_ == 0) {  // an empty index: one empty leaf
    const std::uint32_t page = allocate_();
    IndexPage empty;
    empty.owner = leaf_.owner;
    sink_(page, EncodeIndexPage(empty, layout_));
    level_.children.push_back({page, IndexEntry{}});
  } else {
    WriteLeaf(0);
  }
  used_ = 0;
  return std::move(level_);
}

IndexLeafLevel BuildLeafLevel(const IndexEntryStream& next_entry, std::uint32_t owner, const IndexPageLayout& layout,
                              const IndexPageAllocator& allocate, const IndexPageSink& sink) {
  LeafLevelBuilder builder(owner, layout, allocate, sink);
  while (next_entry(builder.Incoming())) builder.Commit();
  return builder.Finish();
}

BuiltIndexTree BuildNodeLevels(IndexLeafLevel leaves, std::uint32_t owner, const IndexPageLayout& layout,
                               const IndexPageAllocator& allocate, const IndexPageSink& sink) {
  BuiltIndexTree tree;
  tree.distinct_keys = leaves.distinct_keys;
  tree.repeated_keys = leaves.repeated_keys;
  tree.leaf_pages = leaves.children.size();
  std::vector<IndexChild> children = std::move(leaves.children);
  if (children.empty()) Fail("no leaf pages");
  // Node levels until one page remains.
  while (children.size() > 1) {
    std::vector<IndexEntry> level_entries;
    level_entries.reserve(children.size());
    for (const IndexChild& c : children) {
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
    std::vector<IndexChild> parents;
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
      parents.push_back(IndexChild{node_numbers[i], children[last_child].last});
      sink(node_numbers[i], EncodeIndexPage(node, layout));
    }
    tree.node_pages += node_groups.size();
    ++tree.levels;
    children = std::move(parents);
  }
  tree.root_page = children.front().page;
  return tree;
}

BuiltIndexTree BuildIndexTree(const IndexEntryStream& next_entry, std::uint32_t owner, const IndexPageLayout& layout,
                              const IndexPageAllocator& allocate, const IndexPageSink& sink) {
  return BuildNodeLevels(BuildLeafLevel(next_entry, owner, layout, allocate, sink), owner, layout, allocate, sink);
}

BuiltIndexTree BuildIndexTree(std::size_t count, const IndexEntrySource& entry_at, std::uint32_t owner,
                              const IndexPageLayout& layout, const IndexPageAllocator& allocate,
                              const IndexPageSink& sink) {
  std::size_t position = 0;
  return BuildIndexTree(
      [&](IndexEntry& out) {
        if (position >= count) return false;
        out = entry_at(position++);
        return true;
      },
      owner, layout, allocate, sink);
}

BuiltIndexTree BuildIndexTree(std::span<const IndexEntry> entries, std::uint32_t owner,
                              const IndexPageLayout& layout, const IndexPageAllocator& allocate,
                              const IndexPageSink& sink) {
  std::size_t position = 0;
  return BuildIndexTree(
      [&](IndexEntry& out) {
        if (position >= entries.size()) return false;
        const IndexEntry& from = entries[position++];
        out.key.assign(from.key.begin(), from.key.end());
        out.data_page = from.data_page;
        out.row = from.row;
        out.child_page = from.child_page;
        return true;
      },
      owner, layout, allocate, sink);
}

}  // namespace jet::write
