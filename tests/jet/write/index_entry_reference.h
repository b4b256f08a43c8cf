// An index entry as the tests expect it, ordered as the index orders entries
// (key bytes, then row pointer), entries to add, and a reader that drains an
// entry list.
#pragma once

#include <random>
#include <vector>

#include "jet/write/index_entry_list.h"

namespace jet::write {

struct Reference {
  KeyBytes key;
  RowPointer row;
  friend bool operator<(const Reference& a, const Reference& b) {
    return a.key != b.key ? a.key < b.key : a.row < b.row;
  }
  friend bool operator==(const Reference& a, const Reference& b) { return a.key == b.key && a.row == b.row; }
};

// Keys that share long prefixes, are prefixes of one another, repeat, and
// arrive out of order, on rows in page order.
inline std::vector<Reference> MakeEntries(std::size_t count, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<Reference> out;
  for (std::size_t i = 0; i < count; ++i) {
    KeyBytes key = {0x7F, 'P', 'r', 'o', 'd', 'u', 'c', 't', ' ', 'x'};
    const std::size_t extra = rng() % 14;
    for (std::size_t k = 0; k < extra; ++k) key.push_back(static_cast<std::uint8_t>(rng() % 4));
    if (rng() % 50 == 0) key.resize(rng() % 3);
    out.push_back({key, RowPointer{static_cast<std::uint32_t>(100 + i / 40), static_cast<std::uint8_t>(i % 40)}});
  }
  return out;
}

inline std::vector<Reference> ReadAll(IndexEntryList& list) {
  list.StartReading();
  std::vector<Reference> out;
  IndexEntry entry;
  while (list.Next(entry)) out.push_back({entry.key, RowPointer{entry.data_page, entry.row}});
  return out;
}

}  // namespace jet::write
