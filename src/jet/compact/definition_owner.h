#pragma once
// Whether a table definition sits on the page its catalog row names. Two
// swapped definition pages each decode soundly, so one table would be read
// with the other's columns; what lies outside the definition tells: the
// owner field of its index root pages and of the data pages its map names
// (the page the definition was written on), and its table type (engine
// system tables, and only they, are stored as system tables).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jet/read/database.h"

namespace jet::compact {

struct DefinitionRead {
  std::string name;         // as the catalog names the table
  std::uint32_t page = 0;   // the definition page the catalog names
  std::uint32_t flags = 0;  // the catalog row's Flags
  std::optional<TableDefinition> definition;  // empty when it could not be read
};

// What matching found, one entry per table concerned.
struct DefinitionMismatch {
  std::size_t table = 0;  // into the reads
  std::size_t other = 0;  // the table whose page holds this table's definition (exchanged only)
  bool exchanged = false; // else the definition belongs to no table here and was dropped
};

// Exchanges the definitions of two tables whose pages were swapped (each
// definition's evidence names only the other's page, and the evidence is
// strong enough: the table types, or an index root and a second page), and
// drops a definition of the wrong table type whose pages all name one other
// page. A definition taken over gets the tdef_page of the table it now
// describes.
std::vector<DefinitionMismatch> MatchDefinitionsToPages(const Database& db, std::vector<DefinitionRead>& reads);

}  // namespace jet::compact
