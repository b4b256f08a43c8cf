#pragma once
// What a salvage test reads back from a source or a salvaged output: rows by
// Id, MSysCompactError's rows, the checker's problems, where rows are stored;
// and a page zeroed in a file's bytes.

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "jet/read/database.h"

namespace vondrel::testing {

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

}  // namespace vondrel::testing
