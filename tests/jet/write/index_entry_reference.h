// An index entry as the tests expect it, ordered as the index orders entries
// (key bytes, then row pointer), and a reader that drains an entry list.
#pragma once

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

inline std::vector<Reference> ReadAll(IndexEntryList& list) {
  list.StartReading();
  std::vector<Reference> out;
  IndexEntry entry;
  while (list.Next(entry)) out.push_back({entry.key, RowPointer{entry.data_page, entry.row}});
  return out;
}

}  // namespace jet::write
