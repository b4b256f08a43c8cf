#pragma once
// Sorts the entry lists of a table's indexes ahead of the thread that writes
// their trees one after another: while index r's tree is written, a second
// thread sorts the lists after it. The sorted order is unique (no two entries
// are equal), so the file written does not depend on the timing.

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

#include "jet/write/index_entry_list.h"

namespace jet::write {

class IndexSorter {
 public:
  // Lists with fewer entries in all than this are sorted by WaitFor itself:
  // a thread would cost more than it saves.
  static constexpr std::size_t kThreadWorthEntries = 20000;

  explicit IndexSorter(std::vector<IndexEntryList>& lists);
  // Joins the sorting thread (also when the tree writing failed).
  ~IndexSorter();
  IndexSorter(const IndexSorter&) = delete;
  IndexSorter& operator=(const IndexSorter&) = delete;

  // Returns once list r is sorted; the caller may then read and clear it.
  void WaitFor(std::size_t r);

 private:
  std::vector<IndexEntryList>& lists_;
  std::mutex mutex_;
  std::condition_variable sorted_one_;
  std::size_t sorted_count_ = 0;  // lists [0, sorted_count_) are sorted
  std::jthread thread_;
};

}  // namespace jet::write
