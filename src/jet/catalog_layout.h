#pragma once
// The layout every Jet 3 and Jet 4 file gives MSysObjects (the same columns,
// numbers, fixed offsets and variable slots in both versions), for reading a
// catalog whose own definition on page 2 was destroyed: its rows are then
// found on the data pages that page 2 owns.

#include <cstdint>

#include "jet/format/table_definition.h"

namespace jet {

TableDefinition StandardCatalogDefinition(FormatVersion version, std::uint16_t code_page);

}  // namespace jet
