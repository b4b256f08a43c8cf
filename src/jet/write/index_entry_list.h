#pragma once
// The entries of one index while its table is written. Keys are kept
// compactly (all in one buffer); when the table's entries outgrow their
// memory budget, the owner asks the list to Spill(): the entries in memory
// are sorted and written as one run to a temporary file, and at the end the
// runs and what is still in memory are merged. The merged order is the same
// as a sort in memory (by key bytes, then row), so output does not depend on
// the budget.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "jet/format/index_page.h"
#include "jet/io/raw_file.h"
#include "jet/format/table_definition.h"
#include "jet/write/cache_line.h"
#include "jet/write/index_builder.h"

namespace jet::write {

// On cache lines of its own: two threads work on two lists of a table at once.
class alignas(kCacheLineBytes) IndexEntryList {
 public:
  IndexEntryList();
  ~IndexEntryList();
  IndexEntryList(IndexEntryList&&) noexcept;
  IndexEntryList& operator=(IndexEntryList&&) noexcept;

  // Keys longer than this cannot be added (Add throws vondrel::Error).
  static constexpr std::size_t kLongestKey = 16 * 1024 - 8;

  // How entries are kept: each key is preceded by its size (kKeySizeBytes,
  // little-endian), and its head holds kHeadBytes of it past the common
  // prefix, then its length up to kHeadBytes + 1, so that a key of at most
  // kHeadBytes there is whole in its head.
  static constexpr std::size_t kKeySizeBytes = 2;
  static constexpr std::size_t kHeadBytes = 7;
  static bool WholeInHead(std::uint64_t head) { return (head & 0xFF) <= kHeadBytes; }

  void Add(const KeyBytes& key, RowPointer row) { Add(key.data(), key.size(), row); }
  void Add(const std::uint8_t* key, std::size_t size, RowPointer row);
  // Every entry added, spilled or streamed or not.
  std::size_t size() const { return spilled_entries_ + entries_.size() + streamed_entries_; }
  // Bytes the entries and streamed leaf pages in memory take (keys and
  // bookkeeping); memory_bytes also counts the room the entries' buffers keep
  // (a spill keeps it for the next run).
  std::size_t used_bytes() const { return keys_.size() + entries_.size() * sizeof(Entry) + streamed_bytes(); }
  std::size_t memory_bytes() const {
    return keys_.capacity() + entries_.capacity() * sizeof(Entry) + streamed_bytes();
  }
  std::size_t spilled_runs() const { return runs_.size(); }

  // From now on, entries that arrive in order (by key, then row) go straight
  // onto leaf pages (`owner`: the table's definition page), held in memory
  // until a Spill() moves them to a temporary file:
  // an index that follows the order the rows are written in (a primary key,
  // mostly) is neither kept entry by entry nor sorted. The first entry out of order
  // turns the pages back into entries, and the list goes on as usual.
  void StreamLeaves(std::uint32_t owner, const IndexPageLayout& layout);
  // Every entry so far is on the leaf pages.
  bool streamed() const { return stream_ != nullptr; }
  // Ends adding to a streamed list: its leaves, to be numbered where the tree goes.
  LeavesApart TakeLeaves();

  // Sets room aside for entries taking up to `bytes` in all, so that a list
  // filling up is not copied to ever larger buffers (which would hold the
  // old and the new buffer at once). The room is only address space until
  // entries fill it.
  void Reserve(std::size_t bytes);

  // Sorts the entries in memory and writes them as a run to a temporary file;
  // the buffers' pages are given back, their room set aside again for the
  // entries that follow. A streamed list moves its finished leaf pages to a
  // temporary file instead. When no temporary
  // file can be written the entries stay in memory (and later calls do
  // nothing).
  void Spill();

  // Ends adding; afterwards Next() hands out every entry once, ordered by key
  // bytes, then row.
  void StartReading();

  // A list kept whole in memory (nothing spilled or streamed, not empty)
  // may be read on one thread while another sorts it. The sorting thread
  // calls SortForReading, which tells `in_place` each time more entries from
  // the start stand in their final order. The reader, once the sort has
  // begun, calls StartReadingWhileSorted and reads with Next(); `wait(n)`
  // must return once at least n entries are in place (and how many are).
  // The sorting thread touches the list no more once all are.
  using InPlace = std::function<void(std::size_t entries)>;
  bool ReadableWhileSorted() const { return !stream_ && runs_.empty() && !entries_.empty(); }
  void SortForReading(const InPlace& in_place);
  void StartReadingWhileSorted(std::function<std::size_t(std::size_t entries)> wait);
  bool Next(IndexEntry& out);
  // Frees everything.
  void Clear();

 private:
  // 16 bytes, so that sorting moves little. Each key in keys_ is preceded by
  // its size (2 bytes).
  struct Entry {
    std::uint64_t head;  // the key after the common prefix as a number (see HeadOf): most comparisons end here
    std::uint32_t key_offset;
    std::uint32_t row;  // RowPointer raw; raw order is pointer order
  };
  class RunReader;
  struct Merge;
  struct Stream;

  // Bytes of the streamed leaf pages held in memory.
  std::size_t streamed_bytes() const;
  void AddEntry(const std::uint8_t* key, std::size_t size, RowPointer row);
  bool StreamNext(const std::uint8_t* key, std::size_t size, RowPointer row);
  void Unstream();
  void SortInMemory(const InPlace& in_place = {});
  void SortByHeads(const InPlace& in_place);
  // Puts runs of equal heads in [first, last) right.
  void SortEqualHeads(Entry* first, Entry* last);
  bool NextInMemory(IndexEntry& out);
  void PrefetchKey(std::size_t position) const;
  bool Less(const Entry& a, const Entry& b) const {
    if (a.head != b.head) return a.head < b.head;
    if (WholeInHead(a.head)) return a.row < b.row;  // the whole keys are in their heads, and equal
    return LessBeyondHeads(a, b);
  }
  bool LessBeyondHeads(const Entry& a, const Entry& b) const;
  std::size_t KeySize(const Entry& e) const {
    return keys_[e.key_offset - kKeySizeBytes] | (std::size_t{keys_[e.key_offset - kKeySizeBytes + 1]} << 8);
  }

  std::vector<std::uint8_t> keys_;
  std::vector<Entry> entries_;
  std::size_t common_prefix_ = 0;  // bytes every key in memory shares, as of the last sort
  std::vector<std::uint8_t> prefix_;  // those bytes
  bool sorted_ = false;            // nothing added since the last sort
  // Spilled runs, back to back in one temporary file.
  io::RawFile spill_;
  std::uint64_t spill_size_ = 0;
  bool spill_possible_ = true;
  struct Run {
    std::uint64_t begin, end;  // in the file
    std::size_t shared;        // bytes every key of the run begins with
  };
  std::vector<Run> runs_;
  std::size_t spilled_entries_ = 0;
  std::unique_ptr<Merge> merge_;
  std::unique_ptr<Stream> stream_;
  std::size_t streamed_entries_ = 0;

  // The reader's place, away from what a sorting thread writes.
  alignas(kCacheLineBytes) std::size_t read_position_ = 0;
  std::size_t readable_ = 0;  // entries [0, readable_) are in place
  std::function<std::size_t(std::size_t)> wait_for_order_;
};

}  // namespace jet::write
