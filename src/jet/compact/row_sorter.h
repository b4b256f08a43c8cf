#pragma once
// Puts records (a key and an opaque payload, here a table's encoded rows)
// into key order with bounded memory: records gather in memory until half
// the budget is reached; that batch is then sorted and written to a
// temporary file as a run by a second thread, while the next batch gathers
// in the other half. The runs are merged at the end. Equal keys keep the
// order they were added in, so the result is that of a stable sort whatever
// the budget. Whether the records came in key order already is known without
// a merge.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <thread>
#include <vector>

#include "jet/io/raw_file.h"

namespace jet::compact {

inline constexpr std::size_t kDefaultRowSortMemory = std::size_t{16} << 20;

class RowSorter {
 public:
  using Bytes = std::span<const std::uint8_t>;
  // sequence: the record's number in the order added (from 0).
  using Visit = std::function<void(Bytes key, std::uint64_t sequence, Bytes payload)>;

  explicit RowSorter(std::size_t memory_budget = kDefaultRowSortMemory);
  ~RowSorter();  // waits for a run being written
  RowSorter(const RowSorter&) = delete;
  RowSorter& operator=(const RowSorter&) = delete;

  // Throws vondrel::Error when a run cannot be written to the temporary file
  // (here, or at the next call after the run's writing failed).
  void Add(Bytes key, Bytes payload);
  // The same with the payload written by `write` into the `payload_size`
  // bytes made for it, so that it is made where it is kept.
  void Add(Bytes key, std::size_t payload_size, const std::function<void(std::uint8_t*)>& write);
  std::uint64_t size() const { return count_; }
  bool spilled() const { return batches_spilled_ > 0; }
  // True when no record was added with a key below the one before it: the
  // key order is then the order added, and a merge would move nothing.
  bool in_added_order() const { return in_added_order_; }

  // Visits every record in key order. May be called more than once.
  void Merge(const Visit& visit);

 private:
  struct Entry {
    std::uint64_t head;  // the key's first 8 bytes, big-endian, zero padded: most comparisons end there
    std::size_t key_at, payload_at;
    std::uint32_t key_size, payload_size;
    std::uint64_t sequence;
  };
  // Bytes that grow without being zeroed first: each byte added is written
  // at once.
  class Arena {
   public:
    std::uint8_t* Extend(std::size_t size);  // `size` more bytes at the end; may move the arena
    void Reserve(std::size_t capacity);
    const std::uint8_t* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    void clear() { size_ = 0; }

   private:
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::size_t size_ = 0, capacity_ = 0;
  };
  // An entry's place in the sort: its head and where it is in the batch.
  struct SortItem {
    std::uint64_t head;
    std::size_t entry;
  };
  // Records gathered in memory: their keys and payloads, and where each lies.
  struct Batch {
    Arena arena;
    std::vector<Entry> entries;  // in the order added
    // After Sort(), unless the entries were in key order as added: the
    // entries in key order (the spare is the sort's room).
    std::vector<SortItem> order, spare;
    bool sorted = true;     // visiting in key order needs no more sorting
    bool by_order = false;  // the key order is in `order`

    // What a record costs besides its bytes, the sort's room included.
    static constexpr std::size_t kEntryBytes = sizeof(Entry) + 2 * sizeof(SortItem);
    std::size_t bytes() const { return arena.size() + entries.size() * kEntryBytes; }
    void Sort();
    // The i-th entry in key order (once sorted).
    const Entry& InKeyOrder(std::size_t i) const { return entries[by_order ? order[i].entry : i]; }
    void Clear();
  };
  // Where one run lies in the two temporary files.
  struct Run {
    std::uint64_t keys_begin, keys_end, payloads_begin, payloads_end;
  };
  class RunReader;
  // A temporary file written at its end through a buffer of its own.
  struct Spool {
    io::RawFile file;
    std::unique_ptr<std::uint8_t[]> buffer;  // while runs are written
    std::size_t buffered = 0;
    std::uint64_t size = 0;  // bytes written to the file and buffered

    void Put(const void* data, std::size_t length);
    void Flush();
  };

  void Added(std::size_t key_at, std::size_t key_size);
  void Spill();           // hands the gathered batch to the run writer
  void FinishWriting();   // waits for the run writer; rethrows its failure
  void WriteRun(Batch& batch);  // on the run writer's thread
  void MergeRuns(const Visit& visit);

  std::size_t batch_budget_;  // half the memory budget: one batch gathers while the other is written
  std::uint64_t count_ = 0;
  bool in_added_order_ = true;
  std::vector<std::uint8_t> last_spilled_key_;  // the last key added before the batch in memory
  Batch gathering_;
  Batch writing_;        // owned by the run writer while it runs
  std::thread writer_;
  std::exception_ptr writer_failure_;
  std::uint64_t batches_spilled_ = 0;
  Spool keys_;      // [u16 size][key][u64 sequence] per record
  Spool payloads_;  // [u32 size][payload] per record
  std::vector<Run> runs_;
};

}  // namespace jet::compact
