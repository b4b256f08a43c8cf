#pragma once
// Makes a table definition read from a damaged file consistent before it is
// written again, at the smallest cost: a column limit or variable-slot count
// below what the columns use is raised, and an index that names a missing
// column or real index is left out (indexes are rebuilt from the data, so
// only the index is lost, not the rows), and a text or binary column marked
// fixed over the bytes of another is read as variable again. A definition that cannot be made
// consistent (two columns with one number, a fixed area larger than a row)
// throws vondrel::Error 3049: the table is lost.

#include <string>
#include <vector>

#include "jet/format/table_definition.h"

namespace jet::compact {

// Returns what was changed, one sentence each; empty for a sound definition.
std::vector<std::string> RepairDefinition(TableDefinition& table);

}  // namespace jet::compact
