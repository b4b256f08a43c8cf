#pragma once
// Compaction: reads every object of a database and writes a fresh file from
// scratch with the same version, collation, code page and header settings,
// every live row (in primary-key order where there is one), long values and
// usage maps rebuilt, indexes rebuilt from the data, and no free pages.

#include <cstdint>
#include <filesystem>
#include <string>

namespace jet::compact {

struct CompactOptions {
  // Nothing to choose yet; kept so that callers need not change when options come.
};

struct CompactStatistics {
  std::uint32_t tables = 0;
  std::uint64_t rows = 0;
  std::uint32_t source_pages = 0;
  std::uint32_t destination_pages = 0;
  // Salvage of a damaged source; all zero for a sound one.
  std::uint64_t rows_dropped = 0;     // rows that could not be decoded or indexed soundly
  std::uint64_t values_emptied = 0;   // memo/OLE values that could not be assembled
  std::uint32_t tables_lost = 0;      // tables whose definition could not be read
  std::uint32_t errors_recorded = 0;  // rows written to MSysCompactError
  bool header_rebuilt = false;        // page 0 was unusable and was inferred

  bool Salvaged() const {
    return rows_dropped || values_emptied || tables_lost || errors_recorded || header_rebuilt;
  }
};

// Throws vondrel::Error: 3204 when the destination exists, the reader's
// errors for an unreadable source, and 3049 when something cannot be carried
// over faithfully. On failure nothing is left under the destination name.
CompactStatistics CompactDatabase(const std::filesystem::path& source, const std::filesystem::path& destination,
                                  const CompactOptions& options = {});

}  // namespace jet::compact
