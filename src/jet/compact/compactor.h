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
};

// Throws vondrel::Error: 3204 when the destination exists, the reader's
// errors for an unreadable source, and 3049 when something cannot be carried
// over faithfully. On failure nothing is left under the destination name.
CompactStatistics CompactDatabase(const std::filesystem::path& source, const std::filesystem::path& destination,
                                  const CompactOptions& options = {});

}  // namespace jet::compact
