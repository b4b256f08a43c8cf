#pragma once
// Makes a table definition read from a damaged file consistent before it is
// written again, at the smallest cost: a column limit or variable-slot count
// below what the columns use is raised, an index that names a missing column
// or real index is left out (indexes are rebuilt from the data, so only the
// index is lost, not the rows), a text or binary column marked fixed over the
// bytes of another is read as variable again, and variable columns that
// share a slot, or name more slots than a row holds, are written to slots
// arranged afresh. A definition that cannot be made consistent (two columns
// with one number, a fixed area larger than a row) throws vondrel::Error
// 3049: the table is lost.

#include <string>
#include <vector>

#include "jet/format/table_definition.h"

namespace jet::compact {

// Returns what was changed, one sentence each; empty for a sound definition.
// Variable columns that share a slot are reported here but keep reading it:
// which of them owned the slot cannot be told.
std::vector<std::string> RepairDefinition(TableDefinition& table);

// For the definition to write: each variable column that shares a slot with
// a column before it moves to a new slot past the others, so that every value
// read keeps a place of its own in the rows written; and when that makes more
// slots than a row holds (255), the variable columns are given slots 0, 1, …
// in the order of the slots they named. RepairDefinition has made sure the
// slots fit in 16 bits.
void ArrangeSlotsForWriting(TableDefinition& table);

}  // namespace jet::compact
