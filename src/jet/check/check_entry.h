#pragma once
// One side of an index comparison: a stored leaf entry, or the key a live
// row should have. Both sides are sorted by row pointer, then by where they
// were met (tree order or scan order), and joined on the row pointer.

#include <cstdint>
#include <string>

#include "jet/format/index_key.h"
#include "jet/format/table_definition.h"

namespace jet {

struct CheckEntry {
  RowPointer row;
  std::uint64_t order = 0;  // place in tree order (stored) or scan order (expected)
  std::uint32_t page = 0;   // the leaf page of a stored entry
  bool covered = true;      // expected: the computed key can be vouched for
  bool all_null = false;    // expected: every key column is null
  KeyBytes key;
  std::string reason;  // expected: why the key cannot be vouched for

  friend bool operator<(const CheckEntry& a, const CheckEntry& b) {
    if (a.row != b.row) return a.row < b.row;
    return a.order < b.order;
  }
};

}  // namespace jet
