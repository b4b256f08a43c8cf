#pragma once
// Reading a row whose table of variable-column offsets is inconsistent (an
// offset out of order or past the variable area, or a table that does not
// fit in the row), as a salvage does: one
// damaged entry is what a bit flip or a stray write leaves, so each entry in
// turn is taken for the damaged one, the others must then be in order, and it
// is given every value the row's own structure allows. A neighbour that is
// NULL pins it (NULL values take no bytes); the first entry is pinned by the
// end of the fixed area, the last by the end of the variable area; and every
// value must be well formed for its column: a memo or OLE header whose kind
// and length agree with its size, text and binary within their columns'
// lengths, Jet 4 text whole UTF-16 unless compressed. A damaged count of
// variable columns is the other case: each other count the table allows is
// tried, and gives a reading when the offsets it finds rise to the end of
// the variable area and every value is well formed. The row is read only
// when exactly one reading exists, so that no row is kept that was not
// written.
// Layout: docs/jet-format.md, section 5.2.

#include <vector>

#include "jet/format/row_decode.h"

namespace jet {

// True, with `fields` as DecodeRow gives them, when the row reads in exactly
// one way; false when it reads in none or in several. Never throws.
bool DecodeRowMendingOffsets(const io::ByteView& row, const TableDefinition& table, RowStructure& scratch,
                             std::vector<StoredField>& fields);

}  // namespace jet
