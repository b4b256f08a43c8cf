#pragma once
// Catalog rows whose names disagree with the catalog's own index on
// (ParentId, Name). A bit flip inside a name leaves a row that decodes
// soundly, so the object would come out under a damaged name unnoticed; the
// index still holds the key of the name as it was.

#include <string>
#include <vector>

#include "jet/read/database.h"

namespace jet::compact {

struct SuspectCatalogRow {
  RowPointer at;     // the catalog row's slot
  std::string name;  // the name as stored now
};

// Empty when the catalog's definition was rebuilt, when it has no index on
// the names, or when that index's tree is itself damaged (its keys then say
// nothing about the rows). Keys our encoder cannot vouch for are passed over.
std::vector<SuspectCatalogRow> CatalogRowsDisagreeingWithIndex(const Database& db);

}  // namespace jet::compact
