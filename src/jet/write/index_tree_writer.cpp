#include "jet/write/index_tree_writer.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "jet/format/index_row_key.h"
#include "jet/write/index_builder.h"

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

IndexTree WriteIndexTree(PageSink& sink, IndexEntryList& entries, std::uint32_t owner) {
  std::vector<IndexEntry> all;
  all.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) all.push_back(entries.At(i));
  entries.Clear();  // the compact copy is no longer needed while the tree is built
  IndexTree tree;
  const BuiltIndexTree built = BuildIndexTree(
      all, owner, IndexLayoutFor(sink.version()), [&sink]() { return sink.Allocate(); },
      [&sink, &tree](std::uint32_t page, std::vector<std::uint8_t> bytes) {
        sink.Write(page, bytes);
        tree.pages.push_back(page);
      });
  tree.root_page = built.root_page;
  return tree;
}

}  // namespace jet::write
