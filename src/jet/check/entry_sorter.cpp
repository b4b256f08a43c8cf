// External sort of check entries: runs spilled to one temporary file, then
// a k-way merge over the runs and the entries still in memory.

#include "jet/check/entry_sorter.h"

#include <algorithm>
#include <queue>

namespace jet {
namespace {

// Bytes an entry takes in memory beyond its place in the vector: its key
// and reason buffers and the allocator's bookkeeping for them.
std::size_t HeapBytes(const CheckEntry& e) {
  constexpr std::size_t kAllocation = 16;
  return e.key.capacity() + kAllocation + (e.reason.empty() ? 0 : e.reason.capacity() + kAllocation);
}

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

void EntrySorter::Add(CheckEntry entry) {
  held_bytes_ += HeapBytes(entry);
  held_.push_back(std::move(entry));
  // Counted by size, not capacity: the vector's room is kept after a spill,
  // and counting it would make every later entry a run of its own.
  if (spill_possible_ && held_bytes_ + held_.size() * sizeof(CheckEntry) > budget_) Spill();
}

void EntrySorter::Spill() {
  if (!spill_.is_open()) {
    spill_ = io::RawFile::CreateTemporary();
    if (!spill_.is_open()) {
      spill_possible_ = false;
      return;
    }
  }
  std::sort(held_.begin(), held_.end());
  EntryRun run;
  if (!WriteEntryRun(spill_, spill_size_, held_, run)) {
    spill_possible_ = false;  // what the file took of this run is ignored
    return;
  }
  spill_size_ = run.end;
  runs_.push_back(run);
  held_.clear();
  held_bytes_ = 0;
}

void EntrySorter::StartReading() {
  std::sort(held_.begin(), held_.end());
  merge_ = std::make_unique<Merge>();
  const std::size_t buffer = std::clamp(budget_ / (runs_.size() + 1), kSmallestReadBuffer, kLargestReadBuffer);
  merge_->readers.reserve(runs_.size());
  merge_->heads.resize(runs_.size() + 1);
  for (std::size_t r = 0; r < runs_.size(); ++r) {
    merge_->readers.emplace_back(spill_, runs_[r], buffer);
    if (merge_->readers[r].Next(merge_->heads[r])) merge_->queue.push(r);
  }
  if (!held_.empty()) {
    merge_->heads[runs_.size()] = std::move(held_[merge_->next_held++]);
    merge_->queue.push(runs_.size());
  }
}

bool EntrySorter::Next(CheckEntry& out) {
  Merge& merge = *merge_;
  if (merge.queue.empty()) return false;
  const std::size_t source = merge.queue.top();
  merge.queue.pop();
  out = std::move(merge.heads[source]);
  bool more = false;
  if (source < merge.readers.size()) {
    more = merge.readers[source].Next(merge.heads[source]);
  } else if (merge.next_held < held_.size()) {
    merge.heads[source] = std::move(held_[merge.next_held++]);
    more = true;
  }
  if (more) merge.queue.push(source);
  return true;
}

}  // namespace jet
