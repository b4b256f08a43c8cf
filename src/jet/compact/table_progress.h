#pragma once
// Counts the distinct data pages one table's copy reads (a table copied in
// key order may read its pages more than once) and reports them through
// CompactOptions::progress: at the start, every kProgressPageBatch pages, and
// when the table is written.

#include <string_view>
#include <vector>

#include "jet/compact/compactor.h"

namespace jet::compact {

class TableProgress {
 public:
  TableProgress(const std::function<void(const CompactProgress&)>& report, std::string_view table,
                std::uint32_t number, std::uint32_t count, std::uint64_t pages_total, std::uint32_t file_pages)
      : report_(report), seen_(file_pages, false) {
    progress_.table = table;
    progress_.table_number = number;
    progress_.table_count = count;
    progress_.pages_total = pages_total;
    report_(progress_);
  }

  void See(std::uint32_t page) {
    if (page >= seen_.size() || seen_[page]) return;
    seen_[page] = true;
    if (++progress_.pages_done % kProgressPageBatch == 0) report_(progress_);
  }

  void Finish() {
    progress_.table_done = true;
    report_(progress_);
  }

 private:
  const std::function<void(const CompactProgress&)>& report_;
  std::vector<bool> seen_;
  CompactProgress progress_;
};

}  // namespace jet::compact
