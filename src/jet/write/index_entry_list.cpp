#include "jet/write/index_entry_list.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "base/error.h"
#include "base/sort_by_head.h"
#include "jet/io/error_numbers.h"
#include "jet/io/write_failure.h"

namespace jet::write {
namespace {

constexpr std::size_t kRecordHeader = 8;            // key size, row (both 32-bit little-endian)
constexpr std::size_t kWriteChunk = 1 << 20;        // bytes gathered per write of a run
constexpr std::size_t kReadBuffer = 16 * 1024;      // per run while merging
// Sorted entries name their keys all over the key buffer: reading them in
// order, the key a few entries ahead is fetched into the cache early.
constexpr std::size_t kPrefetchDistance = 8;
// Entries sorted by a radix sort of their heads rather than by comparison.
constexpr std::size_t kRadixWorthEntries = 1 << 14;
// The radix sort's buckets, by the top bits in which heads differ: at most
// 2^kMostBucketBits of them, about kBucketEntries entries each (a bucket's
// sort has a fixed cost besides).
constexpr int kMostBucketBits = 11;
constexpr std::size_t kBucketEntries = 512;
static_assert(IndexEntryList::kLongestKey == kReadBuffer - kRecordHeader, "a record must fit a run's read buffer");

[[noreturn]] void FailSpill(const char* what) {
  io::ThrowWriteFailure(errno, std::string("cannot ") + what + " the temporary index file");
}

// A key (after the bytes every key shares) as one number that orders as the
// key does: its first 7 bytes, big-endian and zero padded, then its length
// up to 8. Keys of at most 7 bytes are thereby whole in their heads: equal
// heads mean equal keys, and such a key can be rebuilt from its head. Longer
// keys with equal heads are told apart by their remaining bytes.
constexpr std::size_t kHeadBytes = IndexEntryList::kHeadBytes;
std::uint64_t HeadOf(const std::uint8_t* key, std::size_t size) {
  std::uint64_t bytes = 0;
  if (size >= 8) {  // one load (every sort computes a head per entry)
    std::memcpy(&bytes, key, 8);
    if constexpr (std::endian::native == std::endian::little) bytes = __builtin_bswap64(bytes);
  } else {
    for (std::size_t i = 0; i < kHeadBytes; ++i) bytes = (bytes << 8) | (i < size ? key[i] : 0);
    bytes <<= 8;
  }
  return (bytes & ~std::uint64_t{0xFF}) | std::min<std::size_t>(size, kHeadBytes + 1);
}
bool WholeInHead(std::uint64_t head) { return IndexEntryList::WholeInHead(head); }

// Entries with equal heads: by the bytes after the head, then by row.
int CompareBeyondHeads(std::uint64_t head, const std::uint8_t* a, std::size_t a_size, std::uint32_t a_row,
                       const std::uint8_t* b, std::size_t b_size, std::uint32_t b_row);

void Put32(std::uint8_t* at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t Get32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
         (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

// Orders by key bytes (a shorter key that is a prefix of a longer one first), then by row.
int CompareKeyThenRow(const std::uint8_t* a, std::size_t a_size, std::uint32_t a_row, const std::uint8_t* b,
                      std::size_t b_size, std::uint32_t b_row) {
  const int c = std::memcmp(a, b, std::min(a_size, b_size));
  if (c != 0) return c;
  if (a_size != b_size) return a_size < b_size ? -1 : 1;
  if (a_row != b_row) return a_row < b_row ? -1 : 1;
  return 0;
}

int CompareBeyondHeads(std::uint64_t head, const std::uint8_t* a, std::size_t a_size, std::uint32_t a_row,
                       const std::uint8_t* b, std::size_t b_size, std::uint32_t b_row) {
  if (WholeInHead(head)) return a_row < b_row ? -1 : (a_row > b_row ? 1 : 0);
  return CompareKeyThenRow(a + kHeadBytes, a_size - kHeadBytes, a_row, b + kHeadBytes, b_size - kHeadBytes, b_row);
}

void SetRow(IndexEntry& out, std::uint32_t raw_row) {
  const RowPointer row = RowPointer::FromRaw(raw_row);
  out.data_page = row.page;
  out.row = row.row;
  out.child_page = 0;
}

void FillEntry(IndexEntry& out, const std::uint8_t* key, std::size_t size, std::uint32_t raw_row) {
  out.key.assign(key, key + size);
  SetRow(out, raw_row);
}

// A key whole in its head, rebuilt from the bytes every key shares and the head.
void FillEntryFromHead(IndexEntry& out, const std::vector<std::uint8_t>& prefix, std::uint64_t head,
                       std::uint32_t raw_row) {
  const std::size_t rest = head & 0xFF;
  out.key.resize(prefix.size() + 8);  // room for one 8-byte store
  std::uint8_t* at = out.key.data();
  if (!prefix.empty()) std::memcpy(at, prefix.data(), prefix.size());
  std::uint64_t bytes = head;
  if constexpr (std::endian::native == std::endian::little) bytes = __builtin_bswap64(bytes);
  std::memcpy(at + prefix.size(), &bytes, 8);
  out.key.resize(prefix.size() + rest);
  SetRow(out, raw_row);
}

}  // namespace

// Reads the records of one run in order through a small buffer.
class IndexEntryList::RunReader {
 public:
  RunReader(const io::RawFile& file, std::uint64_t begin, std::uint64_t end) : file_(&file), offset_(begin), end_(end) {
    buffer_.resize(kReadBuffer);
  }

  // Moves to the next record; false at the end of the run.
  bool Advance() {
    position_ += record_size_;
    record_size_ = 0;
    if (!Ensure(kRecordHeader)) return false;
    key_size_ = Get32(buffer_.data() + position_);
    row_ = Get32(buffer_.data() + position_ + 4);
    if (key_size_ > kLongestKey || !Ensure(kRecordHeader + key_size_)) FailSpill("read back");
    record_size_ = kRecordHeader + key_size_;
    return true;
  }
  const std::uint8_t* key() const { return buffer_.data() + position_ + kRecordHeader; }
  std::size_t key_size() const { return key_size_; }
  std::uint32_t row() const { return row_; }

 private:
  // True when `bytes` bytes from position_ are in the buffer (reading more
  // from the file as needed), false at a clean end of the run.
  bool Ensure(std::size_t bytes) {
    if (filled_ - position_ >= bytes) return true;
    std::memmove(buffer_.data(), buffer_.data() + position_, filled_ - position_);
    filled_ -= position_;
    position_ = 0;
    while (filled_ < bytes && offset_ < end_) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size() - filled_, end_ - offset_));
      const std::ptrdiff_t n = file_->ReadAt(offset_, buffer_.data() + filled_, want);
      if (n <= 0) FailSpill("read back");
      filled_ += static_cast<std::size_t>(n);
      offset_ += static_cast<std::uint64_t>(n);
    }
    if (filled_ >= bytes) return true;
    if (filled_ == 0) return false;
    FailSpill("read back");  // a record cut short
  }

  const io::RawFile* file_;
  std::uint64_t offset_, end_;
  std::vector<std::uint8_t> buffer_;
  std::size_t filled_ = 0, position_ = 0, record_size_ = 0;
  std::size_t key_size_ = 0;
  std::uint32_t row_ = 0;
};

// A k-way merge of the runs and of the entries still in memory (sorted): a
// binary heap of the sources by current record. As in the sort in memory,
// comparisons start after the bytes every key shares, with an 8-byte head.
struct IndexEntryList::Merge {
  explicit Merge(const IndexEntryList& list) : list(list) {}

  const IndexEntryList& list;
  std::vector<RunReader> readers;  // source i < readers.size(); source readers.size() is the memory
  std::vector<std::size_t> shared;  // per source: bytes all its keys begin with
  std::size_t memory_position = 0;
  std::size_t skip = 0;             // bytes every key of every source begins with
  std::vector<std::uint64_t> heads;  // per source: its current key's head after `skip`
  std::vector<std::size_t> heap;

  struct Head {
    const std::uint8_t* key;
    std::size_t size;
    std::uint32_t row;
  };
  Head HeadOf(std::size_t source) const {
    if (source < readers.size()) return {readers[source].key(), readers[source].key_size(), readers[source].row()};
    const Entry& e = list.entries_[memory_position];
    return {list.keys_.data() + e.key_offset, list.KeySize(e), e.row};
  }
  void TakeHead(std::size_t source) {
    if (source == readers.size() && skip == list.common_prefix_) {  // the sort's own head
      heads[source] = list.entries_[memory_position].head;
      return;
    }
    const Head h = HeadOf(source);
    heads[source] = jet::write::HeadOf(h.key + skip, h.size - skip);
  }
  bool Advance(std::size_t source, bool first) {
    bool more;
    if (source < readers.size()) {
      more = readers[source].Advance();
    } else {
      if (!first) ++memory_position;
      more = memory_position < list.entries_.size();
      list.PrefetchKey(memory_position + kPrefetchDistance);
    }
    if (more && !first) TakeHead(source);
    return more;
  }
  bool Before(std::size_t a, std::size_t b) const {  // true when source a's record comes first
    if (heads[a] != heads[b]) return heads[a] < heads[b];
    const Head x = HeadOf(a), y = HeadOf(b);
    return CompareBeyondHeads(heads[a], x.key + skip, x.size - skip, x.row, y.key + skip, y.size - skip, y.row) < 0;
  }
  void SiftDown(std::size_t i) {
    for (;;) {
      std::size_t best = i;
      const std::size_t l = 2 * i + 1, r = l + 1;
      if (l < heap.size() && Before(heap[l], heap[best])) best = l;
      if (r < heap.size() && Before(heap[r], heap[best])) best = r;
      if (best == i) return;
      std::swap(heap[i], heap[best]);
      i = best;
    }
  }
  void Build() {
    for (std::size_t i = 0; i <= readers.size(); ++i)
      if (Advance(i, true)) heap.push_back(i);
    // Every key of a sorted source lies between its first and last, so it
    // begins with what those share; across sources, with what the first
    // keys share.
    skip = heap.empty() ? 0 : shared[heap.front()];
    const Head first = heap.empty() ? Head{} : HeadOf(heap.front());
    for (std::size_t source : heap) {
      const Head h = HeadOf(source);
      std::size_t n = 0;
      const std::size_t limit = std::min({skip, shared[source], h.size, first.size});
      while (n < limit && h.key[n] == first.key[n]) ++n;
      skip = n;
    }
    heads.assign(readers.size() + 1, 0);
    for (std::size_t source : heap) TakeHead(source);
    for (std::size_t i = heap.size() / 2; i-- > 0;) SiftDown(i);
  }
  bool Next(IndexEntry& out) {
    if (heap.empty()) return false;
    const std::size_t top = heap.front();
    const Head head = HeadOf(top);
    FillEntry(out, head.key, head.size, head.row);
    if (!Advance(top, false)) {
      heap.front() = heap.back();
      heap.pop_back();
    }
    if (!heap.empty()) SiftDown(0);
    return true;
  }
};

IndexEntryList::IndexEntryList() = default;
IndexEntryList::IndexEntryList(IndexEntryList&& other) noexcept
    : keys_(std::move(other.keys_)),
      entries_(std::move(other.entries_)),
      common_prefix_(other.common_prefix_),
      prefix_(std::move(other.prefix_)),
      sorted_(other.sorted_),
      spill_(std::move(other.spill_)),
      spill_size_(other.spill_size_),
      spill_possible_(other.spill_possible_),
      runs_(std::move(other.runs_)),
      spilled_entries_(other.spilled_entries_),
      merge_(std::move(other.merge_)),
      stream_(std::move(other.stream_)),
      streamed_entries_(std::exchange(other.streamed_entries_, 0)),
      read_position_(other.read_position_),
      readable_(other.readable_),
      wait_for_order_(std::move(other.wait_for_order_)) {}
IndexEntryList& IndexEntryList::operator=(IndexEntryList&& other) noexcept {
  if (this != &other) {
    Clear();
    keys_ = std::move(other.keys_);
    entries_ = std::move(other.entries_);
    read_position_ = other.read_position_;
    common_prefix_ = other.common_prefix_;
    prefix_ = std::move(other.prefix_);
    sorted_ = other.sorted_;
    spill_ = std::move(other.spill_);
    spill_size_ = other.spill_size_;
    spill_possible_ = other.spill_possible_;
    runs_ = std::move(other.runs_);
    spilled_entries_ = other.spilled_entries_;
    merge_ = std::move(other.merge_);
    stream_ = std::move(other.stream_);
    streamed_entries_ = std::exchange(other.streamed_entries_, 0);
    readable_ = other.readable_;
    wait_for_order_ = std::move(other.wait_for_order_);
  }
  return *this;
}
IndexEntryList::~IndexEntryList() { Clear(); }

void IndexEntryList::Reserve(std::size_t bytes) {
  // Either buffer may take nearly all of it: entries of short keys are
  // mostly entries, long keys mostly key bytes. Where the system will not
  // set the address space aside, the buffers simply grow as they fill.
  try {
    entries_.reserve(bytes / sizeof(Entry));
    keys_.reserve(bytes);
  } catch (const std::bad_alloc&) {
  }
}

// Made by the list's owner, filled by the thread that adds the entries: on
// cache lines of its own.
struct alignas(kCacheLineBytes) IndexEntryList::Stream {
  Stream(std::uint32_t owner, const IndexPageLayout& layout)
      : layout(layout),
        builder(owner, layout, [this] { return ++numbered; },
                [this](std::uint32_t, std::vector<std::uint8_t> bytes) { pages.Append(std::move(bytes)); }) {}

  IndexPageLayout layout;
  std::uint32_t numbered = 0;
  LeafPages pages;
  LeafLevelBuilder builder;
};

void IndexEntryList::StreamLeaves(std::uint32_t owner, const IndexPageLayout& layout) {
  if (size() == 0) stream_ = std::make_unique<Stream>(owner, layout);
}

bool IndexEntryList::StreamNext(const std::uint8_t* key, std::size_t size, RowPointer row) {
  LeafLevelBuilder& builder = stream_->builder;
  IndexEntry& entry = builder.Incoming();
  entry.key.assign(key, key + size);
  entry.data_page = row.page;
  entry.row = row.row;
  // Checked here, so that the builder never throws: a key too long for a
  // page fails the tree later, as it does when not streamed.
  if (EntrySize(entry, true) > stream_->layout.EntryCapacity() || !builder.TryCommit()) return false;
  ++streamed_entries_;
  return true;
}

void IndexEntryList::Unstream() {
  const std::unique_ptr<Stream> stream = std::move(stream_);
  streamed_entries_ = 0;
  for (std::size_t i = 0; i < stream->pages.size(); ++i) {
    for (const IndexEntry& e : DecodeIndexPage(stream->pages.Take(i), stream->layout).entries)
      AddEntry(e.key.data(), e.key.size(), RowPointer{e.data_page, e.row});
  }
  for (const IndexEntry& e : stream->builder.Pending())
    AddEntry(e.key.data(), e.key.size(), RowPointer{e.data_page, e.row});
}

LeavesApart IndexEntryList::TakeLeaves() {
  if (!stream_) throw std::logic_error("the list holds no leaf pages");
  LeavesApart leaves;
  leaves.level = stream_->builder.Finish();
  leaves.pages = std::move(stream_->pages);
  stream_.reset();
  streamed_entries_ = 0;
  return leaves;
}

void IndexEntryList::Add(const std::uint8_t* key, std::size_t size, RowPointer row) {
  if (stream_) {
    if (StreamNext(key, size, row)) return;
    Unstream();
  }
  AddEntry(key, size, row);
}

void IndexEntryList::AddEntry(const std::uint8_t* key, std::size_t size, RowPointer row) {
  if (size > kLongestKey)
    throw vondrel::Error(errors::kCorrupt, "an index key of " + std::to_string(size) + " bytes is too long");
  const std::size_t offset = keys_.size() + kKeySizeBytes;
  if (offset + size > UINT32_MAX)
    throw vondrel::Error(errors::kCorrupt, "an index has more keys than can be sorted in memory");
  entries_.push_back({0, static_cast<std::uint32_t>(offset), row.ToRaw()});
  sorted_ = false;
  keys_.push_back(static_cast<std::uint8_t>(size));
  keys_.push_back(static_cast<std::uint8_t>(size >> 8));
  keys_.insert(keys_.end(), key, key + size);
}

bool IndexEntryList::LessBeyondHeads(const Entry& a, const Entry& b) const {
  const std::size_t skip = common_prefix_;  // every key has these bytes in common
  return CompareBeyondHeads(a.head, keys_.data() + a.key_offset + skip, KeySize(a) - skip, a.row,
                            keys_.data() + b.key_offset + skip, KeySize(b) - skip, b.row) < 0;
}

void IndexEntryList::SortForReading(const InPlace& in_place) { SortInMemory(in_place); }

void IndexEntryList::SortInMemory(const InPlace& in_place) {
  if (sorted_) {
    if (in_place) in_place(entries_.size());
    return;
  }
  sorted_ = true;
  // Entries mostly arrive in key order (keys that follow the primary key or
  // the insertion order): check before sorting. Entries are distinct (no row
  // is added twice), so an unstable sort gives the one possible order.
  // Keys of one index often begin alike (a common word, a high zero byte):
  // the heads are taken after what all keys share, so that they decide.
  common_prefix_ = 0;
  prefix_.clear();
  if (!entries_.empty()) {
    const std::uint8_t* first = keys_.data() + entries_.front().key_offset;
    std::size_t common = KeySize(entries_.front());
    for (const Entry& e : entries_) {
      const std::uint8_t* key = keys_.data() + e.key_offset;
      std::size_t n = 0;
      const std::size_t limit = std::min<std::size_t>(common, KeySize(e));
      while (n < limit && key[n] == first[n]) ++n;
      common = n;
      if (common == 0) break;
    }
    common_prefix_ = common;
    prefix_.assign(first, first + common);
  }
  for (Entry& e : entries_) e.head = HeadOf(keys_.data() + e.key_offset + common_prefix_, KeySize(e) - common_prefix_);
  const auto less = [this](const Entry& a, const Entry& b) { return Less(a, b); };
  if (!std::is_sorted(entries_.begin(), entries_.end(), less)) {
    if (entries_.size() >= kRadixWorthEntries) {
      SortByHeads(in_place);  // tells in_place itself, bucket by bucket
      return;
    }
    std::sort(entries_.begin(), entries_.end(), less);
  }
  if (in_place) in_place(entries_.size());
}

void IndexEntryList::SortEqualHeads(Entry* first, Entry* last) {
  // A stable sort by heads leaves entries of equal heads in the order they
  // were added, which is row order for the rows of a table written in
  // order; keys longer than their heads, and entries added out of row
  // order, are put right.
  const auto less = [this](const Entry& a, const Entry& b) { return Less(a, b); };
  for (Entry* run = first; run != last;) {
    Entry* run_end = run + 1;
    while (run_end != last && run_end->head == run->head) ++run_end;
    if (run_end - run > 1 && !std::is_sorted(run, run_end, less)) std::sort(run, run_end, less);
    run = run_end;
  }
}

void IndexEntryList::SortByHeads(const InPlace& in_place) {
  // A stable radix sort of the heads. The top bits in which heads differ
  // spread the entries over buckets small enough to stay in the cache, and
  // each bucket is sorted on its own; a sort of the whole list a byte at a
  // time would sweep all of it through memory once per byte.
  const std::size_t n = entries_.size();
  const std::uint64_t first = entries_.front().head;
  std::uint64_t differing = 0;
  for (const Entry& e : entries_) differing |= e.head ^ first;
  if (differing == 0) {
    SortEqualHeads(entries_.data(), entries_.data() + n);
    if (in_place) in_place(n);
    return;
  }
  const int width = std::bit_width(differing);  // heads agree in every bit from here up
  const int bucket_bits = std::clamp(static_cast<int>(std::bit_width(n / kBucketEntries)), 1, kMostBucketBits);
  const int shift = std::max(0, width - bucket_bits);
  const std::size_t buckets = std::size_t{1} << (width - shift);
  const auto bucket_of = [shift, buckets](const Entry& e) { return (e.head >> shift) & (buckets - 1); };
  std::vector<std::size_t> start(buckets + 1, 0);
  for (const Entry& e : entries_) ++start[bucket_of(e) + 1];
  for (std::size_t b = 0; b < buckets; ++b) start[b + 1] += start[b];
  std::unique_ptr<Entry[]> scratch(new Entry[n]);
  {
    std::vector<std::size_t> next(start.begin(), start.end() - 1);
    for (const Entry& e : entries_) scratch[next[bucket_of(e)]++] = e;
  }
  // A bucket is sorted where it lies in scratch, its place in entries_ lending
  // the room a pass needs, and then copied back.
  for (std::size_t b = 0; b < buckets; ++b) {
    const std::size_t begin = start[b], size = start[b + 1] - begin;
    if (size == 0) continue;
    vondrel::StableSortByHead(scratch.get() + begin, entries_.data() + begin, size, shift);
    std::memcpy(entries_.data() + begin, scratch.get() + begin, size * sizeof(Entry));
    SortEqualHeads(entries_.data() + begin, entries_.data() + begin + size);  // equal heads share a bucket
    if (in_place) in_place(begin + size);  // the last bucket's call is the last touch of the list
  }
}

std::size_t IndexEntryList::streamed_bytes() const { return stream_ ? stream_->pages.memory_bytes() : 0; }

void IndexEntryList::Spill() {
  if (stream_) {
    stream_->pages.Spill();
    return;
  }
  if (entries_.empty() || !spill_possible_) return;
  if (!spill_.is_open()) {
    spill_ = io::RawFile::CreateTemporary();
    if (!spill_.is_open()) {
      // No room for temporary files: keep the entries in memory, which costs
      // memory but not the result.
      spill_possible_ = false;
      return;
    }
  }
  SortInMemory();
  const std::uint64_t begin = spill_size_;
  std::vector<std::uint8_t> chunk(kWriteChunk + kReadBuffer);
  std::size_t used = 0;
  bool failed = false;
  auto flush = [&] {
    if (failed) return false;
    if (!spill_.WriteAt(spill_size_, chunk.data(), used)) {
      failed = true;
      return false;
    }
    spill_size_ += used;
    used = 0;
    return true;
  };
  const Entry* entries = entries_.data();
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    // Sorted entries read their keys all over the buffer: fetch ahead.
    if (i + kPrefetchDistance < entries_.size())
      __builtin_prefetch(keys_.data() + entries[i + kPrefetchDistance].key_offset - kKeySizeBytes);
    const Entry& e = entries[i];
    const std::size_t size = KeySize(e);
    Put32(chunk.data() + used, static_cast<std::uint32_t>(size));
    Put32(chunk.data() + used + 4, e.row);
    std::memcpy(chunk.data() + used + kRecordHeader, keys_.data() + e.key_offset, size);
    used += kRecordHeader + size;
    if (used >= kWriteChunk && !flush()) break;
  }
  if (!flush()) {
    // The disk is full: this run is abandoned and the entries stay in memory.
    spill_size_ = begin;
    spill_possible_ = false;
    return;
  }
  runs_.push_back({begin, spill_size_, common_prefix_});
  spilled_entries_ += entries_.size();
  // The buffers' pages go back to the system, so that a list's memory is
  // what it holds now rather than the most it ever held: the owner's budget
  // counts what the lists hold. The same room is set aside again, so that
  // the next run does not grow the buffers by copying them.
  const std::size_t keys_room = keys_.capacity(), entries_room = entries_.capacity();
  std::vector<std::uint8_t>().swap(keys_);
  std::vector<Entry>().swap(entries_);
  try {
    keys_.reserve(keys_room);
    entries_.reserve(entries_room);
  } catch (const std::bad_alloc&) {
  }
}

void IndexEntryList::StartReading() {
  if (stream_) Unstream();  // read entry by entry after all
  read_position_ = 0;
  SortInMemory();
  readable_ = entries_.size();
  wait_for_order_ = nullptr;
  if (runs_.empty()) return;
  // What is still in memory joins the merge as one more source.
  merge_ = std::make_unique<Merge>(*this);
  merge_->readers.reserve(runs_.size());
  for (const Run& run : runs_) {
    merge_->readers.emplace_back(spill_, run.begin, run.end);
    merge_->shared.push_back(run.shared);
  }
  merge_->shared.push_back(common_prefix_);  // the entries in memory
  merge_->Build();
}

// Always inlined: as a call of its own, GCC finds it free of side effects
// and drops it.
[[gnu::always_inline]] inline void IndexEntryList::PrefetchKey(std::size_t position) const {
  if (position < readable_ && !WholeInHead(entries_[position].head))
    __builtin_prefetch(keys_.data() + entries_[position].key_offset - kKeySizeBytes);
}

void IndexEntryList::StartReadingWhileSorted(std::function<std::size_t(std::size_t)> wait) {
  read_position_ = 0;
  readable_ = 0;
  wait_for_order_ = std::move(wait);
}

bool IndexEntryList::NextInMemory(IndexEntry& out) {
  if (read_position_ >= entries_.size()) return false;
  if (read_position_ >= readable_) readable_ = wait_for_order_(read_position_ + 1);
  PrefetchKey(read_position_ + kPrefetchDistance);
  const Entry& e = entries_[read_position_++];
  if (WholeInHead(e.head)) {
    FillEntryFromHead(out, prefix_, e.head, e.row);  // the key's own bytes need not be fetched
  } else {
    FillEntry(out, keys_.data() + e.key_offset, KeySize(e), e.row);
  }
  return true;
}

bool IndexEntryList::Next(IndexEntry& out) { return merge_ ? merge_->Next(out) : NextInMemory(out); }

void IndexEntryList::Clear() {
  merge_.reset();
  stream_.reset();
  streamed_entries_ = 0;
  keys_.clear();
  keys_.shrink_to_fit();
  entries_.clear();
  entries_.shrink_to_fit();
  runs_.clear();
  sorted_ = false;
  spilled_entries_ = 0;
  spill_size_ = 0;
  read_position_ = 0;
  readable_ = 0;
  wait_for_order_ = nullptr;
  spill_.Close();
}

}  // namespace jet::write
