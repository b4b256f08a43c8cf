#pragma once
// mdbtools as an independent reader in tests: table lists and exported rows.

#include <filesystem>
#include <string>
#include <vector>

namespace vondrel::testing {

// Every table mdb-tables lists, system tables included.
std::vector<std::string> MdbTables(const std::filesystem::path& database);

// The data lines of `mdb-export -b hex` (header line dropped), sorted, so that
// two exports compare regardless of row order. `ok` is false when mdb-export failed.
std::vector<std::string> MdbExportSorted(const std::filesystem::path& database, const std::string& table, bool* ok = nullptr);

// The header line of mdb-export (column names).
std::string MdbExportHeader(const std::filesystem::path& database, const std::string& table);

}  // namespace vondrel::testing
