// External sort of check entries: runs spilled to one temporary file, then
// a k-way merge over the runs and the entries still in memory.

#include "jet/check/entry_sorter.h"

#include <algorithm>
#include <queue>
#include <utility>

namespace jet {
namespace {

constexpr std::size_t kSmallestReadBuffer = std::size_t{4} << 10;
constexpr std::size_t kLargestReadBuffer = std::size_t{256} << 10;

}  // namespace

// The merge's sources: each run, and the entries in memory (source `runs`).
struct EntrySorter::Merge {
  std::vector<EntryRunReader> readers;
  std::vector<CheckEntry> heads;  // the next entry of each source
  std::size_t next_held = 0;
  // Sources by their head, smallest first.
  struct Later {
    const std::vector<CheckEntry>* heads;
    bool operator()(std::size_t a, std::size_t b) const { return (*heads)[b] < (*heads)[a]; }
  };
  std::priority_queue<std::size_t, std::vector<std::size_t>, Later> queue{Later{&heads}};
};

EntrySorter::EntrySorter(std::size_t budget_bytes) : budget_(budget_bytes) {}
EntrySorter::~EntrySorter() = default;
EntrySorter::EntrySorter(EntrySorter&&) noexcept = default;
EntrySorter& EntrySorter::operator=(EntrySorter&&) noexcept = default;

void EntrySorter::Add(const CheckEntry& entry) {
  held_.Add(entry);
  if (spill_possible_ && held_.bytes() > budget_) Spill();
}

void EntrySorter::Spill() {
  if (!spill_.is_open()) {
    spill_ = io::RawFile::CreateTemporary();
    if (!spill_.is_open()) {
      spill_possible_ = false;
      return;
    }
  }
  held_.Sort();
  EntryRun run;
  if (!held_.WriteRun(spill_, spill_size_, run)) {
    spill_possible_ = false;  // what the file took of this run is ignored
    return;
  }
  spill_size_ = run.end;
  runs_.push_back(run);
  held_.Clear();
}

void EntrySorter::StartReading() {
  held_.Sort();
  merge_ = std::make_unique<Merge>();
  const std::size_t buffer = std::clamp(budget_ / (runs_.size() + 1), kSmallestReadBuffer, kLargestReadBuffer);
  merge_->readers.reserve(runs_.size());
  merge_->heads.resize(runs_.size() + 1);
  for (std::size_t r = 0; r < runs_.size(); ++r) {
    merge_->readers.emplace_back(spill_, runs_[r], buffer);
    if (merge_->readers[r].Next(merge_->heads[r])) merge_->queue.push(r);
  }
  if (held_.size() > 0) {
    held_.Read(merge_->next_held++, merge_->heads[runs_.size()]);
    merge_->queue.push(runs_.size());
  }
}

bool EntrySorter::Next(CheckEntry& out) {
  Merge& merge = *merge_;
  if (merge.queue.empty()) return false;
  const std::size_t source = merge.queue.top();
  merge.queue.pop();
  // Swapped, not copied: the head's buffers come back to be refilled.
  std::swap(out, merge.heads[source]);
  bool more = false;
  if (source < merge.readers.size()) {
    more = merge.readers[source].Next(merge.heads[source]);
  } else if (merge.next_held < held_.size()) {
    held_.Read(merge.next_held++, merge.heads[source]);
    more = true;
  }
  if (more) merge.queue.push(source);
  return true;
}

}  // namespace jet
