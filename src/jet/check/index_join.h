#pragma once
// Joins one index's stored entries with the keys its live rows should have,
// both sorted by row pointer, and turns what differs into findings. The
// findings come out as a walk in tree order would meet them: the tree's own
// problems, then each entry's (not a live row, more than one entry, the first
// differing keys), then the count of differing keys not listed, the live
// rows without an entry and the keys that cannot be verified.

#include <string>

#include "jet/check/entry_sorter.h"
#include "jet/check/index_check.h"
#include "jet/format/index_tree.h"

namespace jet {

// stored, expected: sorters already reading. ignores_nulls: rows whose key
// columns are all null need no entry. root_page: the page findings about
// the index as a whole name.
void JoinIndexEntries(const std::string& index_name, std::uint32_t root_page, bool ignores_nulls,
                      const std::vector<IndexTreeProblem>& tree_problems, EntrySorter& stored, EntrySorter& expected,
                      IndexCheckResult& result);

}  // namespace jet
