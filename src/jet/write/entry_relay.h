#pragma once
// Hands a list's entries, in order, from a thread that reads them to the
// thread that builds their tree, a batch at a time. Merging a spilled list
// and packing its entries onto leaves are each about half the work of its
// tree, so a thread that has nothing else left to do reads the rest of a
// list while its owner goes on packing leaves.
//
// The consumer takes every entry the producer read, in the order read, so
// the tree is the one the owner would have built reading the list itself.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <vector>

#include "jet/format/index_page.h"
#include "jet/write/index_entry_list.h"

namespace jet::write {

class EntryRelay {
 public:
  // For a list whose reading has begun.
  explicit EntryRelay(IndexEntryList& entries) : entries_(entries) {}
  // Gives up, and waits until the producer no longer touches the list.
  ~EntryRelay() { GiveUp(); }
  EntryRelay(const EntryRelay&) = delete;
  EntryRelay& operator=(const EntryRelay&) = delete;

  // The consumer hands the list over: from now on only the producer reads
  // it, until the consumer has taken the last entry or given up. Produce
  // must follow, once, on the producing thread.
  void Start();
  bool started() const { return started_; }

  // The producer's side: reads every remaining entry of the list into
  // batches, and returns at the end, when the consumer gives up, or after
  // a failure to read (which the consumer then rethrows).
  void Produce();

  // The consumer's side: the next entry, swapped into `out` (whose old
  // contents go back to be filled again); false after the last. Rethrows
  // the producer's failure.
  bool Next(IndexEntry& out);
  // The consumer stops taking entries; returns once the producer is done.
  void GiveUp();

 private:
  static constexpr std::size_t kBatchEntries = 512;
  static constexpr std::size_t kBatchesAhead = 4;
  struct Batch {
    std::vector<IndexEntry> entries;  // [0, size) were read; the rest are buffers to reuse
    std::size_t size = 0;
  };

  IndexEntryList& entries_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> full_;     // read, in order
  std::vector<Batch> empty_;   // taken, to be filled again
  bool ended_ = false;         // the producer read the last entry, or failed
  bool given_up_ = false;
  bool producer_done_ = true;  // no producer touches the list
  std::exception_ptr failure_;
  // The consumer's own.
  bool started_ = false;
  Batch taking_;           // the batch it takes entries from
  std::size_t taken_ = 0;  // entries of it taken
};

}  // namespace jet::write
