#pragma once
// The progress of a compaction on standard error, for a person watching a
// terminal: one line rewritten in place,
//   "compacting table 3 of 12, Orders: 1024 of 5000 pages".
// Shown only when standard error is a terminal, and only once the work has
// run longer than the delay (one second unless VONDREL_PROGRESS_DELAY_MS says
// otherwise), so that a small file shows nothing; redrawn at most ten times a
// second; erased when the work ends, before the result is printed.

#include <chrono>
#include <optional>
#include <ostream>

#include "commands.h"
#include "jet/compact/compactor.h"

namespace vondrel::jet_tool {

class ProgressMeter {
 public:
  ProgressMeter(std::ostream& err, const ToolSettings& settings);
  ~ProgressMeter() { Clear(); }
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;

  // Options whose progress reports come here; without a terminal, none.
  jet::compact::CompactOptions Options();
  void Report(const jet::compact::CompactProgress& progress);
  // Erases the line, if one is shown.
  void Clear();

 private:
  using Clock = std::chrono::steady_clock;

  std::ostream& err_;
  const bool enabled_;
  const Clock::time_point show_from_;
  std::optional<Clock::time_point> last_drawn_;
  bool shown_ = false;
};

}  // namespace vondrel::jet_tool
