#pragma once
// Compaction: reads every object of a database and writes a fresh file from
// scratch with the same version, collation, code page and header settings,
// every live row (in primary-key order where there is one), long values and
// usage maps rebuilt, indexes rebuilt from the data, and no free pages.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace jet::compact {

// Where a compaction stands: the table being copied and how many of its data
// pages have been read. Reported when a table starts, after every
// kProgressPageBatch of its pages, and once its rows and indexes are written.
// A pass that starts over (damage found) reports its tables again from the first.
struct CompactProgress {
  std::string_view table;
  std::uint32_t table_number = 0;  // 1-based
  std::uint32_t table_count = 0;
  std::uint64_t pages_done = 0;    // distinct data pages of the table read so far
  std::uint64_t pages_total = 0;   // the table's data pages
  bool table_done = false;
};

// Pages between two reports: a few hundred reports a second at full speed,
// which costs the compaction nothing measurable.
inline constexpr std::uint64_t kProgressPageBatch = 256;

struct CompactOptions {
  // Called on the compacting thread with every report; empty for none.
  std::function<void(const CompactProgress&)> progress;
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
