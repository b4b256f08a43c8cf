#pragma once
// Databases built for the salvage tests, the damage they receive, and what
// a test reads back from a source or a salvaged output.

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "jet/compact/compactor.h"
#include "jet/database.h"

namespace salvage_test {

// People: Id (AutoNumber, primary key), Name (Text, unique index), Notes
// (Memo; every 10th row a long one on LVAL pages), about 600 rows on
// several data pages. Wide: 120 columns, so that its definition spans pages.
// `scrambled` stores the rows out of key order (compaction then sorts them).
void BuildSource(const std::filesystem::path& path, jet::FormatVersion version, int people = 600, bool scrambled = false);

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// One row per line: the field bytes as hex, NULL as "-", by the row's first field.
using RowsById = std::map<std::int32_t, std::string>;
RowsById ReadRows(const jet::Database& db, const std::string& table);

// The rows of MSysCompactError as "code|description|table", empty when there is none.
std::vector<std::string> CompactErrors(const jet::Database& db);

// Problems `vondrel-jet check` would report.
std::vector<std::string> CheckProblems(const jet::Database& db);

// Data pages of a table (by its definition page).
std::vector<std::uint32_t> DataPagesOf(const jet::Database& db, const std::string& table);
// The Id (first column) of every row stored on a page.
std::set<std::int32_t> IdsOnPages(const jet::Database& db, const std::string& table,
                                  const std::set<std::uint32_t>& pages);

void ZeroPage(std::vector<std::uint8_t>& bytes, std::size_t page_size, std::uint32_t page);

}  // namespace salvage_test
