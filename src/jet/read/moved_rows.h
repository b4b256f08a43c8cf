#pragma once
// Rows of a table whose move pointer was lost with a damaged page. A row that
// grew too large for its page is moved: its slot keeps a pointer to the new
// copy, and the copy's own slot is marked deleted so that page scans do not
// see it twice. When the pointer's page is destroyed or cut off, the copy
// looks like any deleted row. The table's own indexes still name the lost
// slot under the row's key, and that is what tells the copy from a deleted
// row, whose index entries went with it.

#include <vector>

#include "jet/read/database.h"

namespace jet {

// A copy found in a deleted slot, and the lost slot that the indexes name for it.
struct MovedRow {
  RowPointer at;    // where the copy lies (its slot is marked deleted)
  RowPointer lost;  // the slot whose pointer led to it, now unreadable
};

// The moved copies among the deleted slots of `pages` whose pointer was
// lost. A copy is taken only when all of this holds:
// - the table's pages met damage (a page or a slot that cannot be read);
// - no pointer that can still be read leads to it, deleted pointers included;
// - it decodes as a row of the table;
// - at least one index holds an entry with the copy's key naming a slot that
//   is lost, those entries name one and the same slot in every index, and
//   every index read without a fault that has a key for the copy holds such
//   an entry (a table with a single index whose tree is broken also has the
//   entries of that index's leaves read where they lie, when the global map
//   does not list them as free);
// - no other copy is taken for that slot.
// Never throws for damage: what cannot be read gives no copy.
std::vector<MovedRow> FindMovedRows(const Database& database, const TableDefinition& table,
                                    const SalvagePages& pages);

}  // namespace jet
