#pragma once
// The checks every salvaged output must pass, shared by the salvage tests:
// the compaction ran to an end in bounded time, a refusal carries a number
// and leaves nothing behind, and an output opens, passes our checker, holds
// every row that must survive, records its losses in MSysCompactError, and
// reads whole with mdbtools and mdb-reader.

#include <filesystem>
#include <string>

#include "support/damage.h"
#include "support/salvage_expectations.h"
#include "support/salvage_run.h"

namespace vondrel::testing {

// Sanitizer builds run several times slower; time limits and copy counts scale by this.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr int kSlowdown = 4;
#else
inline constexpr int kSlowdown = 1;
#endif
inline constexpr int kSecondsPerCompaction = 30 * kSlowdown;

struct SalvageVerdict {
  CompactionRun run;
  SalvageComparison comparison;  // when compacted
  bool compacted() const { return run.kind == CompactionRun::Compacted; }
};

// Figures over several copies, printed by the tests for the record.
struct SalvageTally {
  int copies = 0, compacted = 0, refused = 0, with_error_table = 0;
  std::uint64_t rows_required = 0, rows_found = 0, rows_from_damaged_pages = 0;
  void Add(const SalvageVerdict& verdict);
  std::string Summary() const;
};

// Compacts `copy` (written into `folder`) and checks the outcome against
// `original` with GoogleTest expectations; `label` names the copy in failures.
// With `oracles`, mdbtools and mdb-reader must read the whole output too.
SalvageVerdict ExpectSoundSalvage(const DamagedCopy& copy, const OriginalContent& original,
                                  const std::filesystem::path& folder, const std::string& label, bool oracles);

// mdb-tables lists what we list; mdb-export and `vondrel-jet export` print
// the same rows of every table; mdb-reader's dump equals `vondrel-jet dump`.
void ExpectOraclesReadAll(const std::filesystem::path& database);

// True when mdbtools, node with mdb-reader and vondrel-jet are all here.
bool OraclesAvailable();

}  // namespace vondrel::testing
