#pragma once
// Sorts check entries (by row pointer, then order) in bounded memory: when
// the entries held outgrow the budget they are sorted and written as a run
// to a temporary file, and reading merges the runs with what is still held.
// The order read back does not depend on the budget. When no temporary file
// can be written the entries simply stay in memory.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "jet/check/check_entry.h"
#include "jet/check/entry_runs.h"
#include "jet/io/raw_file.h"

namespace jet {

class EntrySorter {
 public:
  explicit EntrySorter(std::size_t budget_bytes);
  ~EntrySorter();
  EntrySorter(EntrySorter&&) noexcept;
  EntrySorter& operator=(EntrySorter&&) noexcept;

  void Add(const CheckEntry& entry);
  // Ends adding; Next() then hands out every entry once, in order.
  void StartReading();
  bool Next(CheckEntry& out);

  std::size_t spilled_runs() const { return runs_.size(); }

 private:
  struct Merge;
  void Spill();

  std::size_t budget_;
  EntryRecords held_;
  io::RawFile spill_;
  std::uint64_t spill_size_ = 0;
  bool spill_possible_ = true;
  std::vector<EntryRun> runs_;
  std::unique_ptr<Merge> merge_;
};

}  // namespace jet
