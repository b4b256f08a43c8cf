#pragma once
// Turns the rows of a table being written into its index entries: computes
// each row's key in every index and adds it to that index's list. Keys, and
// above all sorting and spilling the lists that outgrow their memory budget,
// are a third of copying a large table, so once a table has enough rows a
// second thread does this: the writer hands over batches of the rows' key
// columns and goes on with the next rows. Entries are added in the order the
// rows were given and lists spill at the same points as without the thread,
// so the lists (and the trees written from them) do not depend on timing.
//
// While the thread lags behind, the writer computes the keys of the next
// batch itself and hands over only the keys.
//
// A key the encoder cannot vouch for is not added: it is handed back by
// Finish, with the row's tag, for the writer to settle.
//
// One index may be watched: the feeder tells whether the keys it received
// came in strictly ascending order, each the encoder's own. Rows handed to
// the thread count once it has reached them; WaitUntilIdle makes the
// verdict final.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "jet/format/index_row_key.h"
#include "jet/format/table_definition.h"
#include "jet/write/cache_line.h"
#include "jet/write/index_entry_list.h"
#include "jet/write/row_keys.h"

namespace jet::write {

class alignas(kCacheLineBytes) IndexFeeder {
 public:
  // Rows fed directly before the thread is worth starting: a thread costs
  // tens of microseconds, a thousand rows' keys about a millisecond.
  static constexpr std::size_t kThreadWorthRows = 1000;
  static constexpr std::size_t kNoIndex = ~std::size_t{0};

  struct UnvouchedKey {
    std::size_t real_index;
    RowKey key;
    RowPointer row;
    std::uint64_t tag;
  };

  // The caller, which has its own rows to encode, computes keys only once
  // kCallerHelpsAtQueued batches wait for the thread, so the queue mostly
  // stays near that. Above it there is room for the batches that arrive
  // while the thread sorts and spills a list, so that the caller need not
  // wait meanwhile: MaxQueued(memory_budget) batches in all, beyond which
  // the caller waits. A spill takes time in proportion to the list, which
  // the budget bounds, so the room is a batch per MiB of budget (each takes
  // half a MiB), and never less than kLeastMaxQueued.
  static constexpr std::size_t kCallerHelpsAtQueued = 6;
  static constexpr std::size_t kLeastMaxQueued = 12;
  static constexpr std::size_t kMostMaxQueued = 64;
  static std::size_t MaxQueued(std::size_t memory_budget);

  // `table` and `lists` (one per real index) must outlive the feeder, which
  // spills the largest list whenever their entries take more than
  // `memory_budget` bytes.
  IndexFeeder(const TableDefinition& table, const KeyDatabaseSettings& settings, std::vector<IndexEntryList>& lists,
              std::size_t memory_budget, std::size_t caller_helps_at_queued = kCallerHelpsAtQueued);
  // Joins the thread (rows still queued are dropped: the table failed).
  ~IndexFeeder();
  IndexFeeder(const IndexFeeder&) = delete;
  IndexFeeder& operator=(const IndexFeeder&) = delete;

  // Feeds the row stored at `row` to every index. fields[i] belongs to
  // table.columns[i].
  void AddRow(std::span<const KeyField> fields, RowPointer row, std::uint64_t tag);

  // Watches index `real_index` from the next row on, forgetting the verdict so far.
  void Watch(std::size_t real_index);
  bool WatchedKeysAscending() const { return ascending_.load(std::memory_order_relaxed); }

  // Returns once every row fed so far is in the lists.
  void WaitUntilIdle();

  // Returns once every row fed so far is in the lists, with the keys that
  // were not added since the last call; rethrows what failed on the way (a
  // key too long for a list). Rows may still be fed afterwards.
  std::vector<UnvouchedKey> TakeUnvouched();
  // The same, and ends the thread: no rows are fed afterwards.
  std::vector<UnvouchedKey> Finish();

 private:
  // Computes the row's keys where the lists are filled (directly, or on the
  // thread): adds them, or keeps them as unvouched, and watches.
  void FeedRow(std::span<const KeyField> fields, RowPointer row, std::uint64_t tag);
  // Computes the row's keys here while the thread lags, and hands over keys.
  void FeedRowAsKeys(std::span<const KeyField> fields, RowPointer row, std::uint64_t tag);
  void AppendKeyRecord(std::size_t list, std::uint8_t flags, const KeyBytes& key, RowPointer row);
  void AppendFieldsRecord(std::span<const KeyField> fields, RowPointer row, std::uint64_t tag);
  void WatchKey(bool covered, std::span<const std::uint8_t> key);
  std::vector<UnvouchedKey> CollectUnvouched();
  void AddEntry(std::size_t list, const std::uint8_t* key, std::size_t size, RowPointer row);
  void FeedBatch(std::span<const std::uint8_t> records);
  void StartThreadWhenWorthIt();
  void HandOver();
  void Work();

  // The caller and the thread each write their own members many times a
  // row: each group below has cache lines of its own.

  // Set up front, then only read (the verdict changes at most once a watch).
  const TableDefinition& table_;
  KeyDatabaseSettings settings_;
  std::span<IndexEntryList> lists_;
  std::size_t memory_budget_;
  std::size_t caller_helps_at_queued_;
  std::size_t max_queued_;
  std::vector<std::size_t> key_columns_;  // positions in table.columns that some index reads
  std::atomic<bool> ascending_{true};     // the watched index's verdict

  // Used by the caller.
  alignas(kCacheLineBytes) std::size_t rows_fed_ = 0;
  std::vector<std::uint8_t> batch_;  // bytes [0, batch_used_) hold records
  std::size_t batch_used_ = 0;
  // While the thread lags behind, the caller computes keys itself.
  bool caller_computes_keys_ = false;
  RowKey caller_key_;
  std::vector<UnvouchedKey> caller_unvouched_;

  // Used by whichever thread adds to the lists.
  alignas(kCacheLineBytes) std::size_t used_bytes_ = 0;  // by the entries the lists hold in memory
  std::vector<KeyField> fields_;
  RowKey key_;
  std::vector<UnvouchedKey> unvouched_;
  // The watched index, followed where the lists are filled.
  std::size_t watched_ = kNoIndex;
  KeyBytes watched_previous_;

  // Shared, under mutex_.
  alignas(kCacheLineBytes) std::mutex mutex_;
  std::condition_variable changed_;
  struct Batch {
    std::vector<std::uint8_t> bytes;
    std::size_t used = 0;  // bytes [0, used) hold records
  };
  std::vector<Batch> queue_;  // handed over, in order
  std::vector<std::vector<std::uint8_t>> spare_;
  bool busy_ = false;
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::thread thread_;
};

}  // namespace jet::write
