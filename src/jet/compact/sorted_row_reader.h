#pragma once
// Hands out a sorter's rows in key order, each with its long values read from
// the source, while a thread of its own merges the sorter's runs and reads
// the long values of the rows ahead: the thread that writes the rows does
// not wait on either. Rows travel in batches that own their bytes; at most a
// few batches exist at once, so memory stays bounded.
//
// What the reading thread meets is handed over with the row it belongs to,
// so that it is reported in the order a single thread would report it: a
// long value that cannot be read (when damage is to be reported), or the
// failure that ended the merge (after the rows before it).

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "jet/compact/row_record.h"
#include "jet/compact/row_sorter.h"
#include "jet/read/database.h"

namespace jet::compact {

// A long value that could not be read: the field is then empty and marked
// damaged.
struct LongValueDamage {
  std::uint16_t column = 0;  // position in the table's columns
  std::int32_t number = 0;
  std::string description;
};

struct SortedRow {
  RowPointer pointer;    // where the row's bytes were
  RowPointer listed_at;  // the slot indexes name
  std::span<const RowEvent> events;             // met when the row was read
  std::span<const LongValueDamage> long_value_damage;  // met reading its long values, in column order
  std::span<const StoredField> fields;          // long values assembled
};

class SortedRowReader {
 public:
  // Starts merging `sorter`. Long values are read only when
  // `read_long_values`; a long value that cannot be read is listed as damage
  // when `report_damage`, and otherwise ends the rows with its error. The
  // source's pages are read only by copy, which is safe beside the calling
  // thread; it must not read the sorter or the source's windows until this
  // reader is gone.
  SortedRowReader(RowSorter& sorter, const Database& source, const TableDefinition& table, bool read_long_values,
                  bool report_damage);
  ~SortedRowReader();  // stops the reading thread and waits for it
  SortedRowReader(const SortedRowReader&) = delete;
  SortedRowReader& operator=(const SortedRowReader&) = delete;

  // The next row, valid until the next call; nullptr after the last.
  // Rethrows what ended the merge once the rows before it are handed out.
  const SortedRow* Next();

  // What a batch of rows may take: enough rows that handing one over costs
  // little beside them. It counts the rows' fields and entries as well as
  // their bytes, since in a table of many short columns the fields outweigh
  // the bytes. A row larger than this travels in a batch of its own.
  static constexpr std::size_t kBatchBytes = std::size_t{1} << 20;
  // The most a batch handed over took so far.
  std::size_t largest_batch() const { return largest_batch_.load(); }

 private:
  struct Placed {
    RowPointer pointer, listed_at;
    std::size_t fields_at, field_count, events_at, event_count, damage_at, damage_count;
  };
  // Rows and everything they view. `bytes` never grows past the capacity
  // reserved for it while rows are placed, so the fields' views stay valid.
  struct Batch {
    std::vector<std::uint8_t> bytes;
    std::vector<StoredField> fields;
    std::vector<RowEvent> events;
    std::vector<LongValueDamage> damage;
    std::vector<Placed> rows;

    std::size_t size() const;  // what the batch's rows take, bounded by the batch size
    void Clear();
  };
  struct Stopped {};  // unwinds the merge when the reader is destroyed

  void Read();  // the reading thread
  void Place(std::span<const std::uint8_t> payload);
  std::unique_ptr<Batch> TakeEmptyBatch();  // on the reading thread
  void HandOver(std::unique_ptr<Batch> batch);

  RowSorter& sorter_;
  const Database& source_;
  const TableDefinition& table_;
  const bool read_long_values_;
  const bool report_damage_;

  // Used by the reading thread only.
  RowRecord record_;
  LongValueBuffers long_values_;
  std::vector<LongValueDamage> row_damage_;
  std::unique_ptr<Batch> filling_;

  // Used by the calling thread only.
  std::unique_ptr<Batch> reading_;
  std::size_t next_row_ = 0;
  SortedRow row_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<Batch>> full_;   // handed over, in order
  std::vector<std::unique_ptr<Batch>> empty_;  // to be filled again
  std::size_t batches_made_ = 0;
  std::atomic<std::size_t> largest_batch_ = 0;  // written by the reading thread
  bool stopping_ = false;
  bool ended_ = false;              // every batch is handed over
  std::exception_ptr end_failure_;  // what ended the merge, after the rows handed over
  std::thread thread_;              // started last, once the members it uses exist
};

}  // namespace jet::compact
