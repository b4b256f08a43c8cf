#include "jet/write/index_feeder.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <system_error>
#include <utility>

#include "base/error.h"
#include "jet/io/error_numbers.h"

namespace jet::write {
namespace {

constexpr std::size_t kBatchBytes = 256 * 1024;
// Records of a batch: a row's key columns, a key computed by the caller
// (to be watched and/or added), or "the watched index got an unvouched key".
constexpr std::uint8_t kRowRecord = 0, kKeyRecord = 1, kWatchBroken = 2;
constexpr std::uint8_t kWatch = 1, kAdd = 2;

// Appends to a batch through a cursor: the batch's bytes are sized ahead,
// so that each value is one copy and not a resize. The cursor is a local
// pointer, stored back when the writer goes: stores of bytes through the
// batch would otherwise have the position reloaded after each one.
class BatchWriter {
 public:
  explicit BatchWriter(std::vector<std::uint8_t>& batch, std::size_t& used, std::size_t most) : used_(used) {
    if (batch.size() < used_ + most) batch.resize(std::max(2 * batch.size(), used_ + most));
    begin_ = batch.data();
    at_ = begin_ + used_;
  }
  ~BatchWriter() { used_ = static_cast<std::size_t>(at_ - begin_); }
  BatchWriter(const BatchWriter&) = delete;
  BatchWriter& operator=(const BatchWriter&) = delete;

  template <typename T>
  void Put(T value) {
    std::memcpy(at_, &value, sizeof(T));
    at_ += sizeof(T);
  }
  void Bytes(std::span<const std::uint8_t> bytes) {
    if (!bytes.empty()) std::memcpy(at_, bytes.data(), bytes.size());
    at_ += bytes.size();
  }

 private:
  std::size_t& used_;
  std::uint8_t* begin_;
  std::uint8_t* at_;
};

template <typename T>
T Take(std::span<const std::uint8_t> in, std::size_t& at) {
  T value;
  std::memcpy(&value, in.data() + at, sizeof(T));
  at += sizeof(T);
  return value;
}

// Computes one index's key of a row into `key`; false when the index leaves
// the row out (all its key columns null in an "ignore nulls" index).
bool ComputeIndexKey(const TableDefinition& table, const RealIndexDefinition& index,
                     std::span<const KeyField> fields, const KeyDatabaseSettings& settings, RowKey& key) {
  key.key.clear();
  key.coverage = ComputeRowKey(table, index, fields, settings, key.key);
  // Only "ignore nulls" indexes and unvouched keys look at whether the key is all null.
  key.all_null = (index.IgnoresNulls() || !key.coverage.covered) && AllKeyColumnsNull(table, index, fields);
  return !(index.IgnoresNulls() && key.all_null);
}

void CheckKeyLength(std::size_t size) {
  if (size > IndexEntryList::kLongestKey)
    throw vondrel::Error(errors::kCorrupt, "an index key of " + std::to_string(size) + " bytes is too long");
}

}  // namespace

IndexFeeder::IndexFeeder(const TableDefinition& table, const KeyDatabaseSettings& settings,
                         std::vector<IndexEntryList>& lists, std::size_t memory_budget,
                         std::size_t caller_helps_at_queued)
    : table_(table),
      settings_(settings),
      lists_(lists),
      memory_budget_(memory_budget),
      caller_helps_at_queued_(caller_helps_at_queued),
      max_queued_(MaxQueued(memory_budget)) {
  std::vector<bool> used(table.columns.size(), false);
  for (const RealIndexDefinition& index : table.real_indexes) {
    for (const IndexKeyColumn& k : index.columns) {
      for (std::size_t i = 0; i < table.columns.size(); ++i)
        if (table.columns[i].number == k.column_number) used[i] = true;
    }
  }
  for (std::size_t i = 0; i < used.size(); ++i)
    if (used[i]) key_columns_.push_back(i);
}

std::size_t IndexFeeder::MaxQueued(std::size_t memory_budget) {
  return std::clamp<std::size_t>(memory_budget >> 20, kLeastMaxQueued, kMostMaxQueued);
}

IndexFeeder::~IndexFeeder() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  changed_.notify_all();
  thread_.join();
}

void IndexFeeder::StartThreadWhenWorthIt() {
  if (thread_.joinable() || ++rows_fed_ < kThreadWorthRows || table_.real_indexes.empty()) return;
  // Room for the whole budget in every list, whichever of them fills it:
  // only the address space is taken until they fill.
  for (IndexEntryList& list : lists_) list.Reserve(memory_budget_);
  try {
    thread_ = std::thread([this] { Work(); });
    batch_.resize(2 * kBatchBytes);
  } catch (const std::system_error&) {
    rows_fed_ = 0;  // no thread to be had: go on feeding directly
  }
}

void IndexFeeder::AddRow(std::span<const KeyField> fields, RowPointer row, std::uint64_t tag) {
  StartThreadWhenWorthIt();
  if (!thread_.joinable()) {
    FeedRow(fields, row, tag);
  } else if (caller_computes_keys_) {
    FeedRowAsKeys(fields, row, tag);
  } else {
    AppendFieldsRecord(fields, row, tag);
  }
  if (batch_used_ >= kBatchBytes) HandOver();
}

void IndexFeeder::Watch(std::size_t real_index) {
  WaitUntilIdle();
  watched_ = real_index;
  ascending_ = true;
  watched_previous_.clear();
}

void IndexFeeder::WatchKey(bool covered, std::span<const std::uint8_t> key) {
  if (!ascending_.load(std::memory_order_relaxed)) return;
  if (!covered || (!watched_previous_.empty() && CompareKeys(watched_previous_, key) >= 0)) {
    ascending_.store(false, std::memory_order_relaxed);
    return;
  }
  watched_previous_.assign(key.begin(), key.end());
}

void IndexFeeder::FeedRow(std::span<const KeyField> fields, RowPointer row, std::uint64_t tag) {
  for (std::size_t r = 0; r < table_.real_indexes.size(); ++r) {
    const bool included = ComputeIndexKey(table_, table_.real_indexes[r], fields, settings_, key_);
    if (r == watched_) WatchKey(key_.coverage.covered, key_.key);
    if (!included) continue;
    if (!key_.coverage.covered) {
      unvouched_.push_back({r, key_, row, tag});
      continue;
    }
    AddEntry(r, key_.key.data(), key_.key.size(), row);
  }
}

void IndexFeeder::FeedRowAsKeys(std::span<const KeyField> fields, RowPointer row, std::uint64_t tag) {
  for (std::size_t r = 0; r < table_.real_indexes.size(); ++r) {
    const bool included = ComputeIndexKey(table_, table_.real_indexes[r], fields, settings_, caller_key_);
    const bool covered = caller_key_.coverage.covered;
    if (!covered) {
      if (r == watched_) BatchWriter(batch_, batch_used_, 1).Put(kWatchBroken);
      if (included) caller_unvouched_.push_back({r, caller_key_, row, tag});
      continue;
    }
    const std::uint8_t flags = (r == watched_ ? kWatch : 0) | (included ? kAdd : 0);
    if (flags != 0) AppendKeyRecord(r, flags, caller_key_.key, row);
  }
}

void IndexFeeder::AppendKeyRecord(std::size_t list, std::uint8_t flags, const KeyBytes& key, RowPointer row) {
  CheckKeyLength(key.size());
  BatchWriter out(batch_, batch_used_, 1 + 2 + 1 + 2 + 4 + key.size());
  out.Put(kKeyRecord);
  out.Put(static_cast<std::uint16_t>(list));
  out.Put(flags);
  out.Put(static_cast<std::uint16_t>(key.size()));
  out.Put(row.ToRaw());
  out.Bytes(key);
}

void IndexFeeder::AppendFieldsRecord(std::span<const KeyField> fields, RowPointer row, std::uint64_t tag) {
  std::size_t most = 1 + 4 + 8;
  for (std::size_t position : key_columns_) most += 1 + 4 + fields[position].bytes.size();
  BatchWriter out(batch_, batch_used_, most);
  out.Put(kRowRecord);
  out.Put(row.ToRaw());
  out.Put(tag);
  for (std::size_t position : key_columns_) {
    const KeyField& field = fields[position];
    out.Put(static_cast<std::uint8_t>((field.is_null ? 1 : 0) | (field.bool_value ? 2 : 0)));
    out.Put(static_cast<std::uint32_t>(field.bytes.size()));
    out.Bytes(field.bytes);
  }
}

void IndexFeeder::AddEntry(std::size_t list, const std::uint8_t* key, std::size_t size, RowPointer row) {
  IndexEntryList& entries = lists_[list];
  const std::size_t before = entries.used_bytes();
  entries.Add(key, size, row);
  used_bytes_ += entries.used_bytes() - before;
  if (used_bytes_ <= memory_budget_) return;
  IndexEntryList* largest = &lists_.front();
  for (IndexEntryList& l : lists_)
    if (l.used_bytes() > largest->used_bytes()) largest = &l;
  const std::size_t spilled = largest->used_bytes();
  largest->Spill();
  used_bytes_ -= spilled - largest->used_bytes();  // unchanged when nothing could be spilled
}

void IndexFeeder::FeedBatch(std::span<const std::uint8_t> batch) {
  // Sized here, on the thread that fills it, and so away from the caller's memory.
  if (fields_.size() != table_.columns.size()) fields_.resize(table_.columns.size());
  for (std::size_t at = 0; at < batch.size();) {
    const auto kind = Take<std::uint8_t>(batch, at);
    if (kind == kWatchBroken) {
      WatchKey(false, {});
      continue;
    }
    if (kind == kKeyRecord) {
      const auto list = Take<std::uint16_t>(batch, at);
      const auto flags = Take<std::uint8_t>(batch, at);
      const auto size = Take<std::uint16_t>(batch, at);
      const auto row = RowPointer::FromRaw(Take<std::uint32_t>(batch, at));
      if (flags & kWatch) WatchKey(true, std::span<const std::uint8_t>(batch.data() + at, size));
      if (flags & kAdd) AddEntry(list, batch.data() + at, size, row);
      at += size;
      continue;
    }
    const auto row = RowPointer::FromRaw(Take<std::uint32_t>(batch, at));
    const auto tag = Take<std::uint64_t>(batch, at);
    for (std::size_t position : key_columns_) {
      const auto flags = Take<std::uint8_t>(batch, at);
      const auto size = Take<std::uint32_t>(batch, at);
      fields_[position] = {(flags & 1) != 0, (flags & 2) != 0, std::span<const std::uint8_t>(batch.data() + at, size)};
      at += size;
    }
    FeedRow(fields_, row, tag);
  }
}

void IndexFeeder::HandOver() {
  if (batch_used_ == 0) return;
  Batch full{std::move(batch_), std::exchange(batch_used_, 0)};
  std::vector<std::uint8_t> next;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    // A thread that has fallen behind takes keys computed here next, until it
    // catches up: the two share the work as they have time.
    caller_computes_keys_ = queue_.size() >= caller_helps_at_queued_;
    changed_.wait(lock, [&] { return queue_.size() < max_queued_ || failure_; });
    if (failure_) std::rethrow_exception(failure_);
    queue_.push_back(std::move(full));
    if (!spare_.empty()) {
      next = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  changed_.notify_all();
  // Only a fresh buffer is sized (and zeroed); a spare one keeps its size.
  if (next.size() < 2 * kBatchBytes) next.resize(2 * kBatchBytes);
  batch_ = std::move(next);
}

void IndexFeeder::WaitUntilIdle() {
  if (!thread_.joinable()) return;
  HandOver();
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return (queue_.empty() && !busy_) || failure_; });
  if (failure_) std::rethrow_exception(failure_);
}

std::vector<IndexFeeder::UnvouchedKey> IndexFeeder::CollectUnvouched() {
  std::vector<UnvouchedKey> out = std::exchange(unvouched_, {});
  out.insert(out.end(), std::make_move_iterator(caller_unvouched_.begin()),
             std::make_move_iterator(caller_unvouched_.end()));
  caller_unvouched_.clear();
  // Which thread found a key depends on timing; the order handed back does not.
  std::sort(out.begin(), out.end(), [](const UnvouchedKey& a, const UnvouchedKey& b) {
    return a.row.ToRaw() != b.row.ToRaw() ? a.row.ToRaw() < b.row.ToRaw() : a.real_index < b.real_index;
  });
  return out;
}

std::vector<IndexFeeder::UnvouchedKey> IndexFeeder::TakeUnvouched() {
  WaitUntilIdle();  // the thread touches nothing now
  return CollectUnvouched();
}

std::vector<IndexFeeder::UnvouchedKey> IndexFeeder::Finish() {
  WaitUntilIdle();
  if (thread_.joinable()) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  return CollectUnvouched();
}

void IndexFeeder::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return !queue_.empty() || stopping_; });
    if (queue_.empty()) return;
    Batch batch = std::move(queue_.front());
    queue_.erase(queue_.begin());
    busy_ = true;
    lock.unlock();
    try {
      FeedBatch({batch.bytes.data(), batch.used});
    } catch (...) {
      lock.lock();
      failure_ = std::current_exception();
      busy_ = false;
      changed_.notify_all();
      return;
    }
    lock.lock();
    busy_ = false;
    spare_.push_back(std::move(batch.bytes));
    changed_.notify_all();
  }
}

}  // namespace jet::write
