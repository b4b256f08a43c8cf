#include "jet/write/index_sorter.h"

#include <system_error>

namespace jet::write {

IndexSorter::IndexSorter(std::vector<IndexEntryList>& lists) : lists_(lists) {
  std::size_t entries = 0;
  for (const IndexEntryList& list : lists) entries += list.size();
  if (lists.size() < 2 || entries < kThreadWorthEntries) return;
  // The writer sorts list 0 itself; the thread takes the others in order.
  try {
    thread_ = std::jthread([this] {
      for (std::size_t r = 1; r < lists_.size(); ++r) {
        lists_[r].SortForReading();
        {
          const std::lock_guard<std::mutex> lock(mutex_);
          sorted_count_ = r + 1;
        }
        sorted_one_.notify_all();
      }
    });
  } catch (const std::system_error&) {
    // No thread to be had: WaitFor sorts each list itself.
  }
}

IndexSorter::~IndexSorter() {
  if (thread_.joinable()) thread_.join();
}

void IndexSorter::WaitFor(std::size_t r) {
  if (r == 0 || !thread_.joinable()) {
    lists_[r].SortForReading();
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  sorted_one_.wait(lock, [&] { return sorted_count_ > r; });
}

}  // namespace jet::write
