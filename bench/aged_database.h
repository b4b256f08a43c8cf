#pragma once
// Builds a Jet database that looks like one after years of use, through the
// engine's own page-level writing: rows of three tables inserted in random
// primary-key order with the tables' pages interleaved, a fifth of the rows
// left deleted on their pages, a fifth updated to a longer version and moved
// to another page behind an overflow pointer, memos of 0 to 8000 characters
// (the long ones in chains of long-value pages). The compaction benchmark and
// the tests that hold the readers against each other use it.

#include <cstdint>
#include <filesystem>

#include "jet/format/format_constants.h"

namespace vondrel::bench {

struct AgedOptions {
  jet::FormatVersion version = jet::FormatVersion::Jet4;
  int megabytes = 250;  // the file's size, roughly
  std::uint32_t seed = 2026;
};

// What was written, for checks against what readers see.
struct AgedFigures {
  std::uint64_t live_rows = 0;     // rows every reader must see
  std::uint64_t deleted_rows = 0;  // flagged deleted on their pages
  std::uint64_t moved_rows = 0;    // behind an overflow pointer
  std::uint64_t chained_memos = 0; // memos longer than one long-value page
};

AgedFigures BuildAgedDatabase(const std::filesystem::path& path, const AgedOptions& options);

}  // namespace vondrel::bench
