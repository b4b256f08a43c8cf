#include "jet/write/index_tree_writer.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace jet::write {

void IndexEntryList::Add(const KeyBytes& key, RowPointer row) {
  entries_.push_back({keys_.size(), static_cast<std::uint32_t>(key.size()), row.ToRaw()});
  keys_.insert(keys_.end(), key.begin(), key.end());
}

void IndexEntryList::Clear() {
  keys_.clear();
  keys_.shrink_to_fit();
  entries_.clear();
  entries_.shrink_to_fit();
}

bool IndexEntryList::SameKey(const Entry& a, const Entry& b) const {
  return a.key_size == b.key_size && std::memcmp(keys_.data() + a.key_offset, keys_.data() + b.key_offset, a.key_size) == 0;
}

void IndexEntryList::Sort() {
  const std::uint8_t* base = keys_.data();
  std::stable_sort(entries_.begin(), entries_.end(), [base](const Entry& a, const Entry& b) {
    const int c = std::memcmp(base + a.key_offset, base + b.key_offset, std::min(a.key_size, b.key_size));
    if (c != 0) return c < 0;
    if (a.key_size != b.key_size) return a.key_size < b.key_size;
    return RowPointer::FromRaw(a.row) < RowPointer::FromRaw(b.row);
  });
}

std::size_t IndexEntryList::DistinctKeys() const {
  std::size_t count = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (i == 0 || !SameKey(entries_[i - 1], entries_[i])) ++count;
  }
  return count;
}

IndexEntry IndexEntryList::At(std::size_t i) const {
  const Entry& e = entries_[i];
  IndexEntry out;
  out.key.assign(keys_.begin() + static_cast<std::ptrdiff_t>(e.key_offset),
                 keys_.begin() + static_cast<std::ptrdiff_t>(e.key_offset + e.key_size));
  const RowPointer row = RowPointer::FromRaw(e.row);
  out.data_page = row.page;
  out.row = row.row;
  return out;
}

namespace {

// Packs entries into pages of one level, writing each page as it fills.
// Pages of a level are allocated consecutively, so a page's successor is
// known before it is written.
class LevelWriter {
 public:
  LevelWriter(PageSink& sink, const IndexPageLayout& layout, bool leaf, std::uint32_t owner, IndexTree& tree)
      : sink_(sink), layout_(layout), leaf_(leaf), owner_(owner), tree_(tree) {}

  void Add(IndexEntry entry) {
    const std::size_t raw = EntrySize(entry, leaf_);
    if (!current_.empty()) {
      std::size_t common = 0;
      const KeyBytes& first = current_.front().key;
      while (common < first.size() && common < entry.key.size() && first[common] == entry.key[common]) ++common;
      const std::size_t prefix = std::min(prefix_, common);
      const std::size_t estimate = raw_total_ + raw - current_.size() * prefix;
      if (estimate > layout_.EntryCapacity()) Close(false);
    }
    if (current_.empty()) {
      prefix_ = entry.key.size();
      raw_total_ = 0;
    } else {
      std::size_t common = 0;
      const KeyBytes& first = current_.front().key;
      while (common < first.size() && common < entry.key.size() && first[common] == entry.key[common]) ++common;
      prefix_ = std::min(prefix_, common);
    }
    raw_total_ += raw;
    current_.push_back(std::move(entry));
  }

  // Writes the last page; returns the entries that name this level's pages.
  std::vector<IndexEntry> Finish() {
    if (!current_.empty() || tree_pages_.empty()) Close(true);
    return std::move(parents_);
  }
  std::size_t page_count() const { return tree_pages_.size(); }

 private:
  void Close(bool last) {
    // The estimate ignores prefixes that reach past the key; the encoder's
    // own measure is the judge.
    std::vector<IndexEntry> overflow;
    while (current_.size() > 1 && EncodedEntriesSize(current_, leaf_, layout_) > layout_.EntryCapacity()) {
      overflow.insert(overflow.begin(), std::move(current_.back()));
      current_.pop_back();
    }
    const std::uint32_t page = sink_.Allocate();
    IndexPage out;
    out.leaf = leaf_;
    out.owner = owner_;
    out.previous = tree_pages_.empty() ? 0 : tree_pages_.back();
    out.next = (last && overflow.empty()) ? 0 : page + 1;
    out.entries = std::move(current_);
    if (!out.entries.empty()) {
      IndexEntry parent = out.entries.back();
      parent.child_page = page;
      parents_.push_back(std::move(parent));
    }
    sink_.Write(page, EncodeIndexPage(out, layout_));
    tree_pages_.push_back(page);
    tree_.pages.push_back(page);
    current_.clear();
    raw_total_ = 0;
    for (IndexEntry& e : overflow) Add(std::move(e));
    if (last && !current_.empty()) Close(true);
  }

  PageSink& sink_;
  const IndexPageLayout& layout_;
  bool leaf_;
  std::uint32_t owner_;
  IndexTree& tree_;
  std::vector<IndexEntry> current_;
  std::size_t raw_total_ = 0;
  std::size_t prefix_ = 0;
  std::vector<std::uint32_t> tree_pages_;
  std::vector<IndexEntry> parents_;
};

}  // namespace

IndexTree WriteIndexTree(PageSink& sink, const IndexEntryList& entries, std::uint32_t owner) {
  const IndexPageLayout layout = sink.version() == FormatVersion::Jet3 ? IndexPageLayout::Jet3() : IndexPageLayout::Jet4();
  IndexTree tree;
  LevelWriter leaves(sink, layout, true, owner, tree);
  for (std::size_t i = 0; i < entries.size(); ++i) leaves.Add(entries.At(i));
  std::vector<IndexEntry> level = leaves.Finish();
  if (leaves.page_count() == 1) {
    tree.root_page = tree.pages.back();
    return tree;
  }
  for (int depth = 0; depth < 64; ++depth) {
    LevelWriter nodes(sink, layout, false, owner, tree);
    for (IndexEntry& e : level) nodes.Add(std::move(e));
    level = nodes.Finish();
    if (nodes.page_count() == 1) {
      tree.root_page = tree.pages.back();
      return tree;
    }
  }
  throw std::logic_error("index tree did not converge");
}

}  // namespace jet::write
