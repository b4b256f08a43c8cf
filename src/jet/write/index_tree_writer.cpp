#include "jet/write/index_tree_writer.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "jet/format/index_row_key.h"
#include "jet/write/index_builder.h"

namespace jet::write {
namespace {

IndexEntryStream StreamOf(IndexEntryList& entries) {
  return [&entries](IndexEntry& next) { return entries.Next(next); };
}

// Leaves of a list built apart, entry by entry, by whichever thread holds
// it: the helper starts, and hands the rest to the caller when the caller
// has nothing else left to do. The same builder takes the same entries in
// the same order either way, so the leaves are the same.
class LeafBuild {
 public:
  LeafBuild(IndexEntryList& entries, std::uint32_t owner, const IndexPageLayout& layout, std::size_t in_memory)
      : entries_(entries),
        builder_(
            owner, layout, [this] { return next_number_++; },
            [this, in_memory](std::uint32_t, std::vector<std::uint8_t> bytes) {
              apart_.pages.Append(std::move(bytes));
              if (apart_.pages.memory_bytes() >= in_memory) apart_.pages.Spill();
            }) {
    entries_.StartReading();
  }
  // Adds entries until the list ends (true) or `stop` is set (false).
  bool Continue(const std::atomic<bool>* stop = nullptr) {
    while (entries_.Next(builder_.Incoming())) {
      builder_.Commit();
      if (stop && stop->load(std::memory_order_relaxed)) return false;
    }
    return true;
  }
  LeavesApart Finish() {
    apart_.level = builder_.Finish();
    entries_.Clear();
    return std::move(apart_);
  }

 private:
  IndexEntryList& entries_;
  LeavesApart apart_;
  std::uint32_t next_number_ = 1;
  LeafLevelBuilder builder_;
};

// Places the leaves at the sink's next pages, as the builder would have
// numbered them there, and builds the node levels above them.
IndexTree WriteLeavesApart(PageSink& sink, LeavesApart apart, std::uint32_t owner) {
  const IndexPageLayout layout = IndexLayoutFor(sink.version());
  const auto count = static_cast<std::uint32_t>(apart.pages.size());
  const std::uint32_t first = sink.Allocate(count);
  IndexTree tree;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::vector<std::uint8_t> page = apart.pages.Take(i);
    SetIndexPageLinks(page, layout, i > 0 ? first + i - 1 : 0, i + 1 < count ? first + i + 1 : 0);
    sink.Write(first + i, page);
    tree.pages.push_back(first + i);
  }
  for (IndexChild& child : apart.level.children) child.page = first + child.page - 1;
  const BuiltIndexTree built = BuildNodeLevels(
      std::move(apart.level), owner, layout, [&sink] { return sink.Allocate(); },
      [&sink, &tree](std::uint32_t page, std::vector<std::uint8_t> bytes) {
        sink.Write(page, bytes);
        tree.pages.push_back(page);
      });
  tree.root_page = built.root_page;
  tree.distinct_keys = static_cast<std::uint32_t>(built.distinct_keys);
  tree.repeated_keys = built.repeated_keys;
  return tree;
}

// The helper's side of WriteIndexTrees: the lists it has taken, from the
// back, and what it made of them. A list kept whole in memory is sorted
// first; the caller, reaching it meanwhile, builds its tree as the entries
// come into place instead of waiting for the helper's leaves. A caller that
// reaches a list whose leaves the helper is building takes over the rest.
class TreeHelper {
 public:
  TreeHelper(std::vector<IndexEntryList>& lists, std::uint32_t owner, const IndexPageLayout& layout,
             std::size_t leaves_in_memory)
      : lists_(lists),
        leaves_in_memory_(leaves_in_memory),
        owner_(owner),
        layout_(layout),
        results_(lists.size()),
        in_place_(std::make_unique<std::atomic<std::size_t>[]>(lists.size())),
        handover_(std::make_unique<std::atomic<bool>[]>(lists.size())),
        sorting_(lists.size(), false),
        caller_reads_(lists.size(), false),
        unclaimed_end_(lists.size()) {
    thread_ = std::thread([this] { Work(); });
  }
  ~TreeHelper() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      // Leaves nobody will take are not built to the end.
      for (std::size_t r = 0; r < lists_.size(); ++r) handover_[r].store(true, std::memory_order_relaxed);
    }
    thread_.join();
  }

  // Claims list r for the caller unless the helper has it already.
  bool ClaimForCaller(std::size_t r) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (r >= unclaimed_end_) return false;
    unclaimed_begin_ = r + 1;
    return true;
  }
  // Lets the caller read list r while the helper sorts it; false when the
  // helper is not sorting it (any more).
  bool ReadWhileSorted(std::size_t r) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!sorting_[r]) return false;
    caller_reads_[r] = true;
    return true;
  }
  // Returns once at least n entries of list r are in place, with how many
  // are; rethrows how the sort failed.
  std::size_t WaitInPlace(std::size_t r, std::size_t n) {
    // A mutex and a condition variable rather than the atomic's own wait:
    // MinGW's std::atomic wait can miss a wake-up.
    std::unique_lock<std::mutex> lock(mutex_);
    std::size_t in_place;
    in_place_changed_.wait(lock, [&] { return (in_place = in_place_[r].load(std::memory_order_acquire)) >= n; });
    if (in_place == kSortFailed) std::rethrow_exception(results_[r].failure);
    return in_place;
  }
  // The helper's leaves of list r; rethrows how it failed. Leaves the
  // helper is still building are finished here, where the caller would
  // otherwise only wait.
  LeavesApart Take(std::size_t r) {
    std::unique_lock<std::mutex> lock(mutex_);
    handover_[r].store(true, std::memory_order_relaxed);
    done_.wait(lock, [&] { return results_[r].done || results_[r].handed_over; });
    if (results_[r].failure) std::rethrow_exception(results_[r].failure);
    if (results_[r].leaves) return std::move(*results_[r].leaves);
    std::unique_ptr<LeafBuild> build = std::move(results_[r].handed_over);
    lock.unlock();
    build->Continue();
    return build->Finish();
  }

 private:
  struct Result {
    bool done = false;
    std::optional<LeavesApart> leaves;
    std::unique_ptr<LeafBuild> handed_over;  // the rest is the caller's to build
    std::exception_ptr failure;
  };

  static constexpr std::size_t kSortFailed = std::numeric_limits<std::size_t>::max();

  void Work() {
    for (;;) {
      std::size_t r;
      bool sort_first;
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_ || unclaimed_end_ <= unclaimed_begin_) return;
        r = --unclaimed_end_;
        sort_first = lists_[r].ReadableWhileSorted();
        sorting_[r] = sort_first;
      }
      Result result;
      try {
        if (sort_first && SortFor(r)) continue;  // the caller has read it
        if (lists_[r].streamed()) {
          result.leaves = lists_[r].TakeLeaves();
        } else {
          auto build = std::make_unique<LeafBuild>(lists_[r], owner_, layout_, leaves_in_memory_);
          if (build->Continue(&handover_[r])) {
            result.leaves = build->Finish();
          } else {
            result.handed_over = std::move(build);
          }
        }
      } catch (...) {
        result.failure = std::current_exception();
      }
      result.done = result.handed_over == nullptr;
      const bool failed = result.failure != nullptr;
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        sorting_[r] = false;
        results_[r] = std::move(result);
      }
      if (failed) SetInPlace(r, kSortFailed);  // a caller waiting for entries in place learns of it
      done_.notify_all();
    }
  }

  void SetInPlace(std::size_t r, std::size_t entries) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      in_place_[r].store(entries, std::memory_order_release);
    }
    in_place_changed_.notify_all();
  }

  // Sorts list r, telling a caller that reads it meanwhile how far the
  // entries are in place; true when the caller has taken the list over.
  bool SortFor(std::size_t r) {
    lists_[r].SortForReading([this, r](std::size_t entries) { SetInPlace(r, entries); });
    const std::lock_guard<std::mutex> lock(mutex_);
    sorting_[r] = false;
    if (!caller_reads_[r]) return false;
    results_[r].done = true;
    return true;
  }

  std::vector<IndexEntryList>& lists_;
  std::size_t leaves_in_memory_;
  std::uint32_t owner_;
  IndexPageLayout layout_;
  std::mutex mutex_;
  std::condition_variable done_;
  std::condition_variable in_place_changed_;
  std::vector<Result> results_;
  std::unique_ptr<std::atomic<std::size_t>[]> in_place_;  // entries of each list in place, while sorted
  std::unique_ptr<std::atomic<bool>[]> handover_;          // the caller waits for the list's leaves
  std::vector<bool> sorting_;       // the helper is sorting the list
  std::vector<bool> caller_reads_;  // and the caller reads it meanwhile
  // Lists [unclaimed_begin_, unclaimed_end_) are still untaken.
  std::size_t unclaimed_begin_ = 0, unclaimed_end_;
  bool stopping_ = false;
  std::thread thread_;
};

// Writes the tree of a list whose reading has begun.
IndexTree WriteTreeOfReadList(PageSink& sink, IndexEntryList& entries, std::uint32_t owner) {
  IndexTree tree;
  const BuiltIndexTree built = BuildIndexTree(
      StreamOf(entries), owner, IndexLayoutFor(sink.version()), [&sink]() { return sink.Allocate(); },
      [&sink, &tree](std::uint32_t page, std::vector<std::uint8_t> bytes) {
        sink.Write(page, bytes);
        tree.pages.push_back(page);
      });
  entries.Clear();
  tree.root_page = built.root_page;
  tree.distinct_keys = static_cast<std::uint32_t>(built.distinct_keys);
  tree.repeated_keys = built.repeated_keys;
  return tree;
}

}  // namespace

IndexTree WriteIndexTree(PageSink& sink, IndexEntryList& entries, std::uint32_t owner) {
  if (entries.streamed()) return WriteLeavesApart(sink, entries.TakeLeaves(), owner);
  entries.StartReading();
  return WriteTreeOfReadList(sink, entries, owner);
}

std::vector<IndexTree> WriteIndexTrees(PageSink& sink, std::vector<IndexEntryList>& lists, std::uint32_t owner,
                                       std::size_t leaves_in_memory) {
  std::vector<IndexTree> trees;
  std::size_t entries = 0;
  for (const IndexEntryList& list : lists) entries += list.size();
  std::optional<TreeHelper> helper;
  if (lists.size() >= 2 && entries >= kIndexTreeThreadWorthEntries) {
    try {
      helper.emplace(lists, owner, IndexLayoutFor(sink.version()), leaves_in_memory);
    } catch (const std::system_error&) {
      // No thread to be had: the caller writes every tree.
    }
  }
  for (std::size_t r = 0; r < lists.size(); ++r) {
    if (!helper || helper->ClaimForCaller(r)) {
      trees.push_back(WriteIndexTree(sink, lists[r], owner));
    } else if (helper->ReadWhileSorted(r)) {
      // Built here, where it goes, as the helper puts the entries in place.
      lists[r].StartReadingWhileSorted([&helper, r](std::size_t n) { return helper->WaitInPlace(r, n); });
      trees.push_back(WriteTreeOfReadList(sink, lists[r], owner));
    } else {
      trees.push_back(WriteLeavesApart(sink, helper->Take(r), owner));
    }
  }
  return trees;
}

}  // namespace jet::write
