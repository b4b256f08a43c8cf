#pragma once
// The entries of one index while its table is written, kept compactly (all
// keys in one buffer), and the index's B-tree written from them.

#include <cstdint>
#include <vector>

#include "jet/format/index_page.h"
#include "jet/format/table_definition.h"
#include "jet/write/page_sink.h"

namespace jet::write {

// Index entries kept compactly: all keys in one buffer.
class IndexEntryList {
 public:
  void Add(const KeyBytes& key, RowPointer row);
  std::size_t size() const { return entries_.size(); }
  // Orders by key bytes, then by row (rows were added in page order).
  void Sort();
  std::size_t DistinctKeys() const;  // after Sort
  IndexEntry At(std::size_t i) const;
  std::size_t KeySize(std::size_t i) const { return entries_[i].key_size; }
  void Clear();

 private:
  struct Entry {
    std::uint64_t key_offset;
    std::uint32_t key_size;
    std::uint32_t row;  // RowPointer raw
  };
  std::vector<std::uint8_t> keys_;
  std::vector<Entry> entries_;
  bool SameKey(const Entry& a, const Entry& b) const;
};

struct IndexTree {
  std::uint32_t root_page = 0;
  std::vector<std::uint32_t> pages;  // every page of the tree
};

// Sorts nothing: entries must be sorted, and are consumed. Writes the tree's
// pages, allocated from the sink as the builder asks for them, and returns the root.
IndexTree WriteIndexTree(PageSink& sink, IndexEntryList& entries, std::uint32_t owner_tdef_page);

}  // namespace jet::write
