#pragma once
// Databases built with the project's writer for salvage runs: several tables
// over many data pages, indexes, and memo/OLE values inline, in one
// long-value row and in chains over several long-value pages, so that every
// page role the damage generator aims at is present.

#include <filesystem>
#include <vector>

#include "jet/format/format_constants.h"

namespace vondrel::testing {

// Writes one database at `path` (which must not exist); `orders` sets its size.
void BuildSalvageDatabase(const std::filesystem::path& path, jet::FormatVersion version, int orders);

// A Jet 3 and a Jet 4 database in `folder`; returns their paths.
std::vector<std::filesystem::path> BuildSalvageCorpus(const std::filesystem::path& folder, int orders = 600);

// People: Id (AutoNumber, primary key), Name (Text, unique index), Notes
// (Memo; every 10th row a long one on LVAL pages), about 600 rows on
// several data pages. Wide: 120 columns, so that its definition spans pages.
// `scrambled` stores the rows out of key order (compaction then sorts them).
void BuildPeopleDatabase(const std::filesystem::path& path, jet::FormatVersion version, int people = 600,
                         bool scrambled = false);

}  // namespace vondrel::testing
