#pragma once
// Reading a table's indexes from an open database: the leaf entries of a
// real index in key order, with the problems met walking its pages.

#include <cstdint>
#include <vector>

#include "jet/format/index_row_key.h"
#include "jet/format/index_tree.h"
#include "jet/read/database.h"

namespace jet {

// Walks the B-tree of one real index. Never throws for damage in the index:
// what is wrong is listed in the result's problems.
IndexTreeWalk ReadIndexEntries(const Database& database, const TableDefinition& table,
                               const RealIndexDefinition& index);

// The same walk handing each leaf entry to `sink` rather than keeping it.
IndexTreeWalk ReadIndexEntries(const Database& database, const TableDefinition& table,
                               const RealIndexDefinition& index, const IndexEntrySink& sink);

// The same walk reading each page by an ordinary read into a buffer of its
// own (PageFile::CopyPage) rather than through the file's windows, so that it
// may run on one thread while another reads the same database.
IndexTreeWalk ReadIndexEntriesApart(const Database& database, const TableDefinition& table,
                                    const RealIndexDefinition& index, const IndexEntrySink& sink);

// The settings keys of this database defer to (collation, code page).
KeyDatabaseSettings KeySettingsOf(const Database& database);

// The key fields of a scanned row, in the order of table.columns.
void KeyFieldsOf(const Row& row, std::vector<KeyField>& out);

// The names of the logical indexes that use a real index, joined by ", "
// ("index 3" when none names it), for messages.
std::string RealIndexName(const TableDefinition& table, const RealIndexDefinition& index);

}  // namespace jet
