#pragma once
// Runs one compaction in a child process with a time limit, so that a crash
// or a hang of the engine is observed and counted instead of ending the
// caller.

#include <filesystem>
#include <string>

#include "jet/compact/compactor.h"

namespace vondrel::testing {

struct CompactionRun {
  enum Kind {
    Compacted,   // returned normally
    Refused,     // threw vondrel::Error: `number`, `description`
    Unnumbered,  // threw another exception (a defect): `description`
    Crashed,     // died by a signal or exited without a result: `description`
    TimedOut,    // killed at the time limit
  } kind = Crashed;
  int number = 0;
  std::string description;
  double milliseconds = 0;
  long peak_kb = 0;  // the child's peak resident memory
  jet::compact::CompactStatistics statistics;  // when compacted

  bool Survived() const { return kind == Compacted || kind == Refused; }
  std::string Summary() const;
};

// jet::compact::CompactDatabase(source, destination) in a forked child.
CompactionRun CompactInChild(const std::filesystem::path& source, const std::filesystem::path& destination,
                             int seconds);

}  // namespace vondrel::testing
